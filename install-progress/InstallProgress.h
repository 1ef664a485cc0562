#pragma once

#include <QString>

#include <memory>

class BaseUI;
class QProcess;

// The viewer's start-up, between the application object and the event loop.

// True when DISPLAY is set and not empty: the window; otherwise text.
bool hasDisplay();

// The window or the text front end for `process`.
std::unique_ptr<BaseUI> createFrontEnd(bool window, QProcess* process);

// Makes "install.sh" in `packageFolder` 0755 and starts it as "./install.sh"
// with that working folder, read-only, through the command runner. A script
// the runner refuses (missing, or outside the instrument root) never starts:
// `frontEnd` is told it is not running, as after a failed start.
void startInstallScript(QProcess& process, BaseUI& frontEnd, const QString& packageFolder);
