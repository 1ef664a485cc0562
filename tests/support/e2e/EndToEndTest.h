#pragma once

#include "TempRoot.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

// The base of the end-to-end tests: a fresh instrument root, a private X
// server standing for the instrument's 800 × 480 touch screen, the virtual
// instrument (kova-instrument) in that root, and any program under test on
// that screen, driven as a user would (xdotool) and looked at through
// screenshots. Every program started here is ended with the test, the last
// started first. The helpers return false rather than assert, so the test
// says what it expected; a program's output tells why it did not happen.
class EndToEndTest : public ::testing::Test
{
protected:
    static constexpr int kTimeoutMs = 30000;

    EndToEndTest() = default;
    ~EndToEndTest() override;

    // --- programs

    // Starts the virtual instrument in the root with its `options` (such as
    // "--silent") and waits until it is ready; null when it is not.
    QProcess* startInstrument(const QStringList& options = {});
    // Starts `program` on the private screen with the root as KOVA3_ROOT: the
    // test's own environment without QT_QPA_PLATFORM (so Qt takes the X
    // server), then `environment` ("NAME=value" each) over it; in
    // `workingDirectory` when one is given. Null (a test failure added) when
    // it cannot start.
    QProcess* startProgram(const QString& program, const QStringList& arguments = {},
                           const QStringList& environment = {}, const QString& workingDirectory = QString());
    // Installs a built program in the root at `logicalPath` (e.g.
    // "/opt/KOVA3/bin/KOVA3.app"), as a copy: the runner takes no program
    // whose link leads out of the root.
    bool installProgram(const QString& program, const QString& logicalPath);
    // Everything the program wrote so far, standard output and error as they came.
    QByteArray output(QProcess& program);
    // Waits until the program has written `text`; false when it ended or the
    // time ran out first.
    bool waitForOutput(QProcess& program, const QByteArray& text, int timeoutMs = kTimeoutMs);
    // Ends a program: TERM, then KILL when it has not ended within five seconds.
    static void terminate(QProcess& program);
    // Lets a running program's address space grow by no more than `roomBytes`
    // past what it has mapped now (RLIMIT_AS), so a program that does not keep
    // its memory bounded fails as when memory runs out; what it starts from
    // then on inherits the limit. False when it could not be set.
    static bool limitAddressSpace(const QProcess& program, qint64 roomBytes);

    // --- hands on the screen

    // Runs xdotool on the private screen; true when it succeeded, with its
    // standard output in `output`.
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr);
    // A touch (press and release) at a point of the screen.
    bool touch(int x, int y);
    // Types text into the window with the keyboard focus.
    bool type(const QString& text);
    // Presses keys by their X names, e.g. "Escape", "Return", "ctrl+a".
    bool key(const QString& keys);
    // Gives a window (an id from windows()) the keyboard focus, then presses
    // keys. The result is no guide when the keys end the program: the window
    // may be gone before xdotool ends.
    bool keyToWindow(const QString& window, const QString& keys);

    // --- eyes on the screen

    // The visible top-level windows (X window ids) with exactly this title,
    // or of this program.
    QStringList windows(const QString& title);
    QStringList windowsOf(const QProcess& program);
    bool waitForWindow(const QString& title, int timeoutMs = kTimeoutMs);
    bool waitForNoWindow(const QString& title, int timeoutMs = kTimeoutMs);
    bool waitForWindowOf(const QProcess& program, int timeoutMs = kTimeoutMs);
    // A window's position on the screen and its size; empty when it is not shown.
    QRect windowGeometry(const QString& window);
    // Writes the screen, or a region of it, to an image file (the format by
    // its extension, e.g. ".png").
    bool screenshot(const QString& file, const QRect& region = QRect());
    // Writes one window (an id from windows()) to an image file.
    bool windowScreenshot(const QString& window, const QString& file);
    // A file in the folder kept after the run for this test (the build's
    // "test-artefacts/<suite>.<test>/"), made when missing: where a test puts
    // what is to be looked at later, such as screenshots.
    QString artefact(const QString& name) const;

    TempRoot root;
    XvfbServer x;

private:
    bool run(const QString& tool, const QStringList& arguments, QByteArray* output = nullptr);
    QStringList search(const QStringList& criteria);

    std::vector<std::unique_ptr<QProcess>> m_programs;
    std::map<const QProcess*, QByteArray> m_output;  // read so far, by program
};
