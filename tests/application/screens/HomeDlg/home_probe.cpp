// home_probe: runs the program-ending roads of the application in a process
// of their own, since they end it, under the instrument root of KOVA3_ROOT.
//
//   home_probe splash STATE [close]  shows InitDlg(STATE) as the power-off and
//                                    restart roads do, with a settings change
//                                    still pending in the toolkit's cache;
//                                    with "close", Escape, reject() and close()
//                                    reach it after 200 ms
//   home_probe camera accept|close   a camera that never opens; message 49 is
//                                    printed ("message: <text>") and then
//                                    accepted or closed
//   home_probe poweroff              the idle power-off of a home screen whose
//                                    microcontroller never answered
// An exit code of 0 means the road came back, which it never should.
#include "HomeDlg/HomeDlg.h"
#include "HomeDlg/PowerControl.h"
#include "InitDlg/InitDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "Network/NetworkManager.h"
#include "platform/Root.h"
#include "platform/SimulatedVideo.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace {

void answerMessageBox(bool accept)
{
    QTimer* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, accept] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        const QLabel* text = box->findChild<QLabel*>(QStringLiteral("LABEL_MESSAGE"));
        std::printf("message: %s\n", text ? qPrintable(text->text()) : "?");
        std::fflush(stdout);
        accept ? box->accept() : box->reject();
    });
    poll->start(10);
}

}  // namespace

int main(int argc, char** argv)
{
    QLoggingCategory::setFilterRules(QStringLiteral("kova.debug=false"));
    QApplication app(argc, argv);
    theApp.m_pNetworkManager = new NetworkManager;  // as the program's start-up makes it
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args[0] == QLatin1String("splash")) {
        // Left alive on purpose: a change only the toolkit's cache holds.
        auto* pending = new QSettings(platform::rootPath(QString::fromLatin1(kova::kMainIni)), QSettings::IniFormat);
        pending->setValue(QStringLiteral("Probe/pending"), QStringLiteral("written"));
        InitDlg splash(static_cast<InitState>(args[1].toInt()));
        if (args.value(2) == QLatin1String("close")) {
            QTimer::singleShot(200, &splash, [&splash] {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&splash, &escape);
                splash.reject();
                splash.close();
            });
        }
        splash.exec();
        return 0;
    }
    if (args.size() == 2 && args[0] == QLatin1String("camera")) {
        platform::SimulatedVideo::Faults faults;
        faults.openFailure = true;
        platform::SimulatedVideo::setFaults(faults);
        HomeDlg::seams().cameraRetryPauseMs = 0;
        HomeDlg home;  // no microcontroller here: nothing of the start-up runs
        answerMessageBox(args[1] == QLatin1String("accept"));
        home.openCamera();
        return 0;
    }
    if (args.size() == 1 && args[0] == QLatin1String("poweroff")) {
        HomeDlg home;  // no microcontroller: the settings are never read
        home.powerControl()->do_auto_powerOff();
        return 0;
    }
    std::fprintf(stderr, "usage: home_probe splash STATE [close] | camera accept|close | poweroff\n");
    return 3;
}
