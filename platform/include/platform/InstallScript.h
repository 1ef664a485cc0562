#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QProcess;

// An update package's install script: "install.sh" at the top of the unpacked
// package, run as "./install.sh" with the package folder as its working
// folder. The install-progress viewer and the application's software update
// both run it and read its ending alike.
namespace platform {

inline constexpr char kInstallScriptName[] = "install.sh";

// Makes the folder's install.sh rwxr-xr-x and sets `process` up, through the
// command runner, to run it. False (nothing set) when the runner refuses it:
// missing, or outside the instrument root.
bool prepareInstallScript(QProcess& process, const QString& packageFolder);

// Whether a run of the script worked: it started and ended by itself with exit
// code 0. A failed start, a crash or kill, or any other code is a failure.
bool installScriptSucceeded(bool started, const QProcess& process);

// The outcome of runInstallScript().
struct InstallScriptRun
{
    bool succeeded = false;
    QString errorString;  // why not
    QByteArray output;    // both channels, as they came
};

// Runs the package folder's script to its end, in a process group of its own.
// Once `timeLimitMs` has passed, or `stop` (asked between short waits) says
// so, the script and everything it started are ended (TERM, then KILL after
// kEndGraceMs): a failure.
inline constexpr int kEndGraceMs = 3000;
InstallScriptRun runInstallScript(const QString& packageFolder, int timeLimitMs,
                                  const std::function<bool()>& stop = {});

}  // namespace platform
