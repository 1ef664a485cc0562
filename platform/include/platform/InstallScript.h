#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <functional>

// An update package's install script: "install.sh" at the top of the unpacked
// package, run as "./install.sh" with the package folder as its working
// folder. The install-progress viewer and the application's software update
// both run it and read its ending alike.
namespace platform {

inline constexpr char kInstallScriptName[] = "install.sh";

// The process that runs an install script. What the script starts may outlive
// it (a child in the background, one in a session of its own) and go on
// changing the installation after the verdict, so the script does not run as
// this process itself: the process is a small supervisor, the leader of a
// session of its own, that adopts every orphaned descendant (a child
// subreaper), runs the script as its child and, once the script has ended,
// ends whatever of it is left (TERM, then KILL after kEndGraceMs) before it
// ends itself with the script's exit code, or by the signal that ended the
// script. So the process's end, with its exit status and code, is the
// script's, and nothing of the script runs any more by then. A TERM to the
// process ends the script and its descendants the same way.
//
// The supervisor may itself be ended from outside its care (the script kills
// it): then what it adopted passes up to this program, which is a child
// subreaper too from the start until the end of the process. As the process
// is seen to end, before anything connected later hears of it, every child
// of this program in a session other than its own (no descendant of the
// script can join this program's session) is ended the same way, and with it
// whatever it leaves (given up, and logged, should some outlast
// kRemnantsLimitMs). One such process runs at a time in a program, which
// starts no daemon of its own meanwhile.
class InstallScriptProcess : public QProcess
{
public:
    explicit InstallScriptProcess(QObject* parent = nullptr);
    // Kills the supervisor if it still runs and ends what it leaves.
    ~InstallScriptProcess() override;

protected:
    void setupChildProcess() override;

private:
    int m_wasSubreaper = 0;  // this program's subreaper setting before the start
};

inline constexpr int kEndGraceMs = 3000;
inline constexpr int kRemnantsLimitMs = 4 * kEndGraceMs;

// Makes the folder's install.sh rwxr-xr-x and sets `process` up, through the
// command runner, to run it. False (nothing set) when the runner refuses it:
// missing, or outside the instrument root.
bool prepareInstallScript(InstallScriptProcess& process, const QString& packageFolder);

// Whether a run of the script worked: it started and ended by itself with exit
// code 0. A failed start, a crash or kill, or any other code is a failure.
bool installScriptSucceeded(bool started, const QProcess& process);

// How much of the script's output a run keeps: the end, where the reason of a
// failure stands. A script may print without end.
inline constexpr int kOutputTailBytes = 64 * 1024;

// The outcome of runInstallScript().
struct InstallScriptRun
{
    bool succeeded = false;
    QString errorString;     // why not
    QByteArray output;       // the last kOutputTailBytes of both channels, as they came
    qint64 outputBytes = 0;  // all the script printed
};

// Runs the package folder's script to its end, reading its output as it
// comes. Once `timeLimitMs` has passed, or `stop` (asked between short waits)
// says so, the script and everything it started are ended: a failure.
InstallScriptRun runInstallScript(const QString& packageFolder, int timeLimitMs,
                                  const std::function<bool()>& stop = {});

}  // namespace platform
