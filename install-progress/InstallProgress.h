#pragma once

#include <QString>

#include <memory>

class BaseUI;
class QProcess;

namespace platform {
class InstallScriptProcess;
}

// The viewer's start-up, between the application object and the event loop.

// True when DISPLAY is set and not empty: the window; otherwise text.
bool hasDisplay();

// The window or the text front end for `process`.
std::unique_ptr<BaseUI> createFrontEnd(bool window, QProcess* process);

// Makes "install.sh" in `packageFolder` 0755 and starts it as "./install.sh"
// with that working folder, read-only, through the command runner; the
// process ends once the script and all it started have ended. A script the
// runner refuses (missing, or outside the instrument root) never starts:
// `frontEnd` is told it is not running, as after a failed start.
void startInstallScript(platform::InstallScriptProcess& process, BaseUI& frontEnd, const QString& packageFolder);
