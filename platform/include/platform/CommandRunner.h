#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

namespace platform {

// The outcome of one external command.
struct CommandResult
{
    bool started = false;   // the program was found, allowed and started
    bool timedOut = false;  // killed after the time-out
    bool crashed = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const { return started && !timedOut && !crashed && exitCode == 0; }
};

// The outcome of a detached start: the child is never watched afterwards.
struct DetachedStart
{
    bool started = false;
    qint64 pid = 0;       // the child's process id when started
    QString errorString;  // why it did not start
};

// Every child process of the system starts here: argument lists only, never a
// shell string built from data. Under a root other than "/" a bare program
// name is looked up in the root's bin folders first; the commands that change
// the machine (power, mounts, network, clock, logs) are never taken from the
// host, so no test or demo can power off or reconfigure the machine it runs on.
class CommandRunner
{
public:
    static constexpr int kDefaultTimeoutMs = 30000;

    // The executable that `program` names, or an empty string when it cannot
    // be found or may not be run from the host. A relative path with a slash
    // ("./install.sh") is taken from `workingDirectory` (empty: the current
    // folder), never from the PATH; under a root other than "/" only when that
    // folder and the program lie inside the root.
    static QString resolveProgram(const QString& program, const QString& workingDirectory = QString());

    // True for the commands that are never taken from the host PATH.
    static bool changesMachine(const QString& program);

    // Runs to completion or time-out (then the child is killed).
    static CommandResult run(const QString& program, const QStringList& arguments,
                             int timeoutMs = kDefaultTimeoutMs,
                             const QString& workingDirectory = QString());

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
