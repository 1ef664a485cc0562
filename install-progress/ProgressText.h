#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <functional>

class QProcess;

// What both front ends make of the install script's output.

// A progress line holds "=== <task> ===" anywhere; the capture is greedy.
extern const QRegularExpression kTaskLine;

// "mm:ss": minutes and seconds, each at least two digits ("100:00" after 6000 s).
QString formatElapsed(unsigned int seconds);

// The most a line of the script's output may hold: a script that prints
// without a line end must not fill the memory.
constexpr int kMaxScriptLineBytes = 64 * 1024;

// While a complete line waits on standard output: all waiting standard-error
// text goes to `onError` when there is any, otherwise one line of standard
// output, decoded as UTF-8 with its line end, to `onLine`. Text without a line
// end stays unread, and so does standard error while no line waits, until
// either holds kMaxScriptLineBytes: then that much is taken as a line. Once
// the script has `ended`, no line comes any more: what standard error still
// holds, most often the reason of a failure, goes to `onError` as well.
void readScriptOutput(QProcess& process, const std::function<void(const QByteArray&)>& onError,
                      const std::function<void(const QString&)>& onLine, bool ended = false);
