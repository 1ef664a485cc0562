#pragma once

#include "platform/CommandRunner.h"

#include <QString>
#include <QStringList>

// Runs a host tool that a test itself needs (a PDF or TIFF inspector, the X
// server's probe) from the host PATH. The instrument's runner takes only a few
// harmless tools from the host under a test root; the tests' own tools are no
// part of the instrument, so they come from here instead.
platform::CommandResult runHostTool(const QString& program, const QStringList& arguments, int timeoutMs = 60000);
