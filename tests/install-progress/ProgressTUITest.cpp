#include "ProgressTUI.h"

#include "ProgressTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Piece
{
    ScriptedChild::Channel channel;
    QByteArray text;
    unsigned int seconds;  // on the front end's clock when the piece arrives
};

// The text output, byte for byte, of a script that writes these pieces and
// then ends with code 0.
QByteArray textOutput(const std::vector<Piece>& pieces)
{
    TempRoot root;
    ScriptedChild child(root);
    CapturedOutput out;
    qint64 now = 0;
    ProgressTUI tui(nullptr, &child.process, [&] { return now; }, out.file());
    EXPECT_TRUE(child.start());
    for (const Piece& piece : pieces) {
        now = piece.seconds * 1000 + 999;  // whole seconds, truncated
        EXPECT_TRUE(child.write(piece.channel, piece.text)) << piece.text.toStdString();
    }
    EXPECT_TRUE(child.end());
    EXPECT_EQ(tui.exitCode(), 0);
    return out.text();
}

TEST(ProgressTUI, WritesTheTimeAndTheTasksExactly)
{
    using C = ScriptedChild::Channel;
    const struct {
        const char* what;
        std::vector<Piece> pieces;
        QByteArray expected;
    } cases[] = {
        {"a task line", {{C::Out, "=== Copying files ===\n", 7}}, "Elapsed time: 00:07  Copying files \n"},
        {"every \"=\" goes", {{C::Out, "=== a=b ===\n", 0}}, "Elapsed time: 00:00  ab \n"},
        {"the marker anywhere, greedy", {{C::Out, "step: === a === b === done\n", 1}},
         "Elapsed time: 00:01 step:  a  b  done\n"},
        {"an unmarked line is dropped", {{C::Out, "copied 12 files\n", 2}}, "Elapsed time: 00:02 "},
        {"several lines in one piece", {{C::Out, "=== One ===\nnoise\n=== Two ===\n", 3}},
         "Elapsed time: 00:03  One \n Two \n"},
        {"standard error waits for a line, then comes raw",
         {{C::Err, "warning: <x> & y\n", 1}, {C::Out, "=== Copying ===\n", 2}},
         "Elapsed time: 00:01 Elapsed time: 00:02 warning: <x> & y\n Copying \n"},
        {"a line in two pieces, once its end came",
         {{C::Out, "=== Copying ", 3}, {C::Out, "files ===\n", 4}},
         "Elapsed time: 00:03 Elapsed time: 00:04  Copying files \n"},
        {"UTF-8 kept", {{C::Out, "=== Kopiere Dateien \xE2\x80\xA6 ===\n", 5}},
         "Elapsed time: 00:05  Kopiere Dateien \xE2\x80\xA6 \n"},
        {"minutes without limit", {{C::Out, "=== Last ===\n", 6000}}, "Elapsed time: 100:00  Last \n"},
        {"minutes and seconds", {{C::Out, "=== Later ===\n", 61}}, "Elapsed time: 01:01  Later \n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textOutput(c.pieces), c.expected + "Installation complete") << c.what;
}

}  // namespace
