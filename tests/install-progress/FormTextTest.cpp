// The install-progress window on the 800 × 480 screen, with the fonts
// scripts/setup installs: no label shows a text wider or, wrapped, taller
// than its box, at work after an hour or after a failure, whatever its reason.
#include "ProgressView.h"

#include "ClippedText.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProcess>

#include <functional>

namespace {

// A script's standard error as a failed one leaves it.
QByteArray reason(int lines)
{
    QByteArray text;
    for (int line = 1; line <= lines; ++line)
        text += "install.sh: line " + QByteArray::number(line)
                + ": cp: cannot stat '/opt/KOVA3/bin/KOVA3_1_0_3': No such file or directory\n";
    return text;
}

// The view of a script that wrote `error` and failed.
void failWith(ProgressView& view, QProcess& script, const QByteArray& error)
{
    script.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("cat >&2; exit 1")});
    ASSERT_TRUE(script.waitForStarted());
    script.write(error);
    script.closeWriteChannel();
    ASSERT_TRUE(script.waitForFinished());
    view.showEnd(false);
}

TEST(ProgressViewText, NoTextWiderThanItsBox)
{
    const QByteArray oneLong = "install.sh: " + QByteArray("the programs could not be replaced ").repeated(100) + "END\n";
    const struct
    {
        const char* state;
        std::function<void(ProgressView&, QProcess&)> bringAbout;
        const char* lastShown;  // the end of the reason, shown
    } states[] = {
        {"starting", [](ProgressView&, QProcess&) {}, ""},
        {"an hour on", [](ProgressView& view, QProcess&) { view.slotOnReadyRead(59 * 60 + 59); }, ""},
        {"failed", [](ProgressView& view, QProcess&) { view.showEnd(false); }, ""},
        {"failed with a two-line reason", [](ProgressView& view, QProcess& script) { failWith(view, script, reason(2)); },
         "line 2: cp: cannot stat"},
        {"failed with a long reason", [](ProgressView& view, QProcess& script) { failWith(view, script, reason(40)); },
         "line 40: cp: cannot stat"},
        {"failed with one long line",
         [&](ProgressView& view, QProcess& script) { failWith(view, script, reason(3) + oneLong); }, "replaced END"},
    };
    for (const auto& s : states) {
        QProcess script;
        ProgressView view(nullptr, &script);
        s.bringAbout(view, script);
        const QList<ClippedText> clipped = renderedClippedTexts(&view);
        EXPECT_TRUE(clipped.isEmpty()) << s.state << ":\n" << describe(clipped);
        const QString task = view.findChild<QLabel*>(QStringLiteral("currentTask"))->text();
        EXPECT_TRUE(task.contains(QLatin1String(s.lastShown))) << s.state << ": " << task.toStdString();
    }
}

}  // namespace
