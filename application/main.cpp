// KOVA3.app: the instrument application. Shows the start-up splash, builds
// the home screen (which runs the start-up chain once the microcontroller
// answers) and runs the event loop. Power-off and restart end the process
// inside the splash (codes 1 and 2); every end of the loop returns 4.
#include "AwakeEventFilter/AwakeEventFilter.h"
#include "HomeDlg/HomeDlg.h"
#include "InitDlg/InitDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "Network/NetworkManager.h"
#include "velimbio/Log.h"
#include "platform/Log.h"

#include <QApplication>
#include <QCursor>

namespace {

constexpr int kExitEventLoopEnded = 4;

}  // namespace

int main(int argc, char** argv)
{
    auto* app = new QApplication(argc, argv);
    VelimBio::setLogHandler([](const std::string& line) { KLOG << QString::fromStdString(line); });
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));

    // For the whole run, never deleted; the home screen starts it last.
    theApp.m_pNetworkManager = new NetworkManager;

    auto* filter = new AwakeEventFilter;
    app->installEventFilter(filter);

    theApp.m_pInitDlg = new InitDlg(StartupState);
    theApp.m_pInitDlg->show();

    theApp.m_pHomeDlg = new HomeDlg;
    QObject::connect(filter, &AwakeEventFilter::signal_ReportActivity, theApp.m_pHomeDlg,
                     &HomeDlg::on_POWER_OFF_TIMER);
    QObject::connect(filter, &AwakeEventFilter::signal_PowerOffActivity, theApp.m_pHomeDlg,
                     &HomeDlg::slot_POWER_OFF_KEY_forOld);

    QApplication::exec();

    QObject::disconnect(filter, &AwakeEventFilter::signal_ReportActivity, theApp.m_pHomeDlg,
                        &HomeDlg::on_POWER_OFF_TIMER);
    QObject::disconnect(filter, &AwakeEventFilter::signal_PowerOffActivity, theApp.m_pHomeDlg,
                        &HomeDlg::slot_POWER_OFF_KEY_forOld);
    app->removeEventFilter(filter);
    delete filter;
    delete app;
    return kExitEventLoopEnded;
}
