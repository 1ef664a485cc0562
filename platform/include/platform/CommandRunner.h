#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;

namespace platform {

// The outcome of one external command.
struct CommandResult
{
    bool started = false;   // the program was found, allowed and started
    bool timedOut = false;  // killed after the time-out
    bool crashed = false;
    bool stopped = false;   // killed because its reader wanted no more of its output
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const { return started && !timedOut && !crashed && !stopped && exitCode == 0; }
};

// Takes a program's standard output piece by piece as it comes; false when
// it wants no more.
using OutputReader = std::function<bool(const QByteArray& piece)>;

// The outcome of a detached start: the child is never watched afterwards.
struct DetachedStart
{
    bool started = false;
    qint64 pid = 0;       // the child's process id when started
    QString errorString;  // why it did not start
};

// Every child process of the system starts here: argument lists only, never a
// shell string built from data. Under a root other than "/" nothing resolves
// outside the root except a short list of harmless host tools (awk, tar, sync,
// pidof, ...): every other program, above all those that change the machine
// (power, mounts, network, clock, logs, under any alias), needs a stand-in
// under the root, so no test or demo can power off or reconfigure the machine
// it runs on.
class CommandRunner
{
public:
    static constexpr int kDefaultTimeoutMs = 30000;

    // The executable that `program` names, or an empty string when it cannot
    // be found or may not be run. On the real instrument a name is taken as it
    // is (a relative path with a slash from `workingDirectory`). Under a root:
    //  - an absolute path is cleaned and mapped under the root;
    //  - a bare name is looked up in the root's /bin, /sbin, /usr/bin and
    //    /usr/sbin, then, for the harmless host tools only, in the host PATH;
    //  - a relative path with a slash ("./install.sh") is taken from
    //    `workingDirectory` (empty: the current folder), never from the PATH,
    //    and only when that folder lies inside the root;
    // and a program under the root must stay inside it once its links are
    // followed.
    static QString resolveProgram(const QString& program, const QString& workingDirectory = QString());

    // Runs to completion or time-out (then the child is killed).
    static CommandResult run(const QString& program, const QStringList& arguments,
                             int timeoutMs = kDefaultTimeoutMs,
                             const QString& workingDirectory = QString());

    // Like run(), but hands standard output to `reader` as it comes instead
    // of keeping it, so a program may print without end: standardOutput stays
    // empty, and standardError keeps its last kErrorTailBytes. When the reader
    // wants no more, the program is killed and the result is `stopped`.
    static constexpr int kErrorTailBytes = 16 * 1024;
    static CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs,
                             const OutputReader& reader);

    // Runs `process`, as prepare() set it up, to completion or time-out.
    static CommandResult runPrepared(QProcess& process, int timeoutMs = kDefaultTimeoutMs);

    // Sets up `process` for an asynchronous start with the resolved program;
    // false (and nothing set) when the program cannot be resolved.
    static bool prepare(QProcess& process, const QString& program, const QStringList& arguments,
                        const QString& workingDirectory = QString());

    // Starts the program on its own, resolved and refused as for run() (and
    // refused when the working folder is missing); the caller is not told
    // when or how it ends. Its standard channels are the caller's own.
    static DetachedStart startDetached(const QString& program, const QStringList& arguments,
                                       const QString& workingDirectory = QString());
};

}  // namespace platform
