#include "InstrumentAppTest.h"

#include <QTest>

#include <signal.h>

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

bool InstrumentAppTest::confirmPowerSwitch(QProcess& instrument, int dialogs)
{
    if (::kill(pid_t(instrument.processId()), SIGUSR1) != 0)
        return false;
    if (!waitForOutput(*app, "on_BUTTON_POWER_clicked", kLongTimeoutMs)) {
        ADD_FAILURE() << "no question: " << output(*app).toStdString();
        return false;
    }
    return waitForWindowCount(kDialog, dialogs + 1) && touch(kMessageOk);
}

QPoint InstrumentAppTest::letterKey(QChar letter)
{
    // Three rows of keys 77 pixels apart, each row starting further in.
    const char* const rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int starts[] = {18, 57, 95};
    for (int row = 0; row < 3; ++row) {
        const int index = QString::fromLatin1(rows[row]).indexOf(letter.toUpper());
        if (index >= 0)
            return {starts[row] + 77 * index + 35, 251 + 63 * row};
    }
    return {};
}

bool InstrumentAppTest::typeOnKeys(const QString& letters)
{
    for (const QChar c : letters) {
        const QPoint key = letterKey(c);
        const bool capital = c.isUpper();
        if (key.isNull() || (capital && !touch(kShiftKey)) || !touch(key) || (capital && !touch(kShiftKey)))
            return false;
    }
    return true;
}

bool InstrumentAppTest::countOnce()
{
    const int before = int(output(*app).count("Finish Count ALL"));
    if (!touch(kHomeCount) || !waitForWindow(QStringLiteral("Count")) || !touch(kCountKey))
        return false;
    return QTest::qWaitFor([&] { return output(*app).count("Finish Count ALL") > before; }, kLongTimeoutMs);
}

bool InstrumentAppTest::saveAndClose()
{
    const int before = int(output(*app).count("save run"));
    return touch(kEnterKey) && QTest::qWaitFor([&] { return output(*app).count("save run") > before; }, kTimeoutMs)
           && waitForWindowCount(kDialog, 2) && touch(kMessageOnlyOk) && waitForWindowCount(kDialog, 1);
}

bool InstrumentAppTest::saveCountAs(const QString& name)
{
    return touchThenDialogs(kSavePrintKey, 1) && typeOnKeys(name) && saveAndClose()
           && touchThenDialogs(kSaveBack, 0);
}
