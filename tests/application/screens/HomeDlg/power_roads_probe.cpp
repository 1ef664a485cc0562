// Takes one road out of the program with the real power roads, the real
// splash and an event loop that ends as KOVA3.app's main does (returning 4):
//   power_roads_probe confirm   the power button, answered OK
//   power_roads_probe idle      the idle power-off
//   power_roads_probe launcher  leaving for the launcher, with a USB monitor
#include "MediaMonitor/MediaMonitor.h"
#include "HomeDlg/PowerControl.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kLoopEnded = 4;
constexpr int kUsage = 64;

}  // namespace

int main(int argc, char** argv)
{
    QLoggingCategory::setFilterRules(QStringLiteral("kova.debug=false"));
    QApplication app(argc, argv);
    const QString road = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    QDialog home;
    home.resize(800, 480);
    QPushButton powerButton(&home);
    powerButton.setCheckable(true);
    QLabel overlay(&home);
    overlay.hide();

    PowerControl::Home hooks;
    hooks.dialog = &home;
    hooks.powerButton = &powerButton;
    hooks.backLabel = &overlay;
    hooks.iniPath = QString::fromLatin1(kova::kMainIni);
    hooks.setButtonsEnabled = [&](bool enable) {
        powerButton.setEnabled(enable);
        overlay.setVisible(!enable);
    };
    PowerControl power(hooks);
    home.show();

    if (road == QLatin1String("confirm")) {
        QTimer::singleShot(0, [&power] {
            QTimer::singleShot(0, [&power] {
                power.confirmationBox().findChild<QPushButton*>(QStringLiteral("BUTTON_OK"))->click();
            });
            power.on_BUTTON_POWER_clicked(false);
        });
    } else if (road == QLatin1String("idle")) {
        theApp.m_bAutoShutdown = true;
        theApp.m_nAutoShutdownTime = 0;
        QTimer::singleShot(0, [&power] {
            power.on_POWER_OFF_TIMER(false);
            power.on_POWER_OFF_TIMER(false);
        });
    } else if (road == QLatin1String("launcher")) {
        theApp.m_pMediaMonitor = new MediaMonitor;
        QTimer::singleShot(0, [&power] { power.slotProgramExit(true); });
    } else {
        return kUsage;
    }
    QApplication::exec();
    return kLoopEnded;
}
