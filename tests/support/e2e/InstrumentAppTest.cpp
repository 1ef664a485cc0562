#include "InstrumentAppTest.h"

#include <QTest>

namespace {

const QString kDialog = QStringLiteral("Dialog");

}  // namespace

bool InstrumentAppTest::startApp()
{
    app = startProgram(QStringLiteral(KOVA3_APP), {}, {QStringLiteral("QT_LOGGING_RULES=kova.debug=true")});
    return app != nullptr;
}

bool InstrumentAppTest::waitForHomeScreen()
{
    if (!waitForWindow(QStringLiteral("KOVA3"))) {
        ADD_FAILURE() << "no home screen: " << output(*app).toStdString();
        return false;
    }
    return waitForNoWindow(kDialog);
}

bool InstrumentAppTest::waitForWindowCount(const QString& title, int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return windows(title).size() == count; }, timeoutMs);
}

bool InstrumentAppTest::touchThenDialogs(const QPoint& point, int count)
{
    return touch(point) && waitForWindowCount(kDialog, count);
}

bool InstrumentAppTest::powerOffFromHome()
{
    if (!waitForNoWindow(kDialog) || !touchThenDialogs(kHomePowerButton, 1) || !touch(kMessageOk))
        return false;
    return app->waitForFinished(kTimeoutMs) && app->exitStatus() == QProcess::NormalExit && app->exitCode() == 1;
}
