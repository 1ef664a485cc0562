#include "ProgressText.h"

#include "ProgressTestSupport.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>

namespace {

// What readScriptOutput hands over while a script writes, read at each of
// the process's reports as the front ends read it.
struct Reader
{
    explicit Reader(QProcess& process)
    {
        const auto read = [&] {
            readScriptOutput(
                process, [&](const QByteArray& text) { errors += text; },
                [&](const QString& line) {
                    lines += line.toUtf8();
                    longestLine = std::max(longestLine, line.size());
                });
            mostLeftWaiting = std::max(mostLeftWaiting, process.bytesAvailable());
        };
        QObject::connect(&process, &QProcess::readyReadStandardOutput, read);
        QObject::connect(&process, &QProcess::readyReadStandardError, read);
    }

    QByteArray lines;
    QByteArray errors;
    int longestLine = 0;
    qint64 mostLeftWaiting = 0;
};

}  // namespace

// A script that prints without a line end, on either channel, is read in
// pieces of the longest line: nothing of it is lost, and the memory it
// takes stays bounded.
TEST(ProgressText, OutputWithoutALineEndIsTakenInPiecesOfTheLongestLine)
{
    TempRoot root;
    ScriptedChild child(root);
    Reader reader(child.process);
    ASSERT_TRUE(child.start());
    const QByteArray endless(4 * kMaxScriptLineBytes + 10, 'x');

    child.write(ScriptedChild::Err, endless);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.errors.size() >= 4 * kMaxScriptLineBytes; }, 10000));
    EXPECT_TRUE(reader.lines.isEmpty());

    child.write(ScriptedChild::Out, endless + "\n=== Done ===\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.lines.endsWith("=== Done ===\n"); }, 10000));
    EXPECT_EQ(reader.lines, endless + "\n=== Done ===\n");
    EXPECT_EQ(reader.errors, endless) << "the rest of standard error came with the first line";
    EXPECT_LE(reader.longestLine, kMaxScriptLineBytes);
    EXPECT_LT(reader.mostLeftWaiting, kMaxScriptLineBytes);
}
