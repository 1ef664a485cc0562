#pragma once

#include <QDateTime>
#include <QString>

// The plain-text count report that the label printer prints: the instrument,
// the result's file name, the instrument setting, the counted protocol and
// the last count's results, all read from theApp. A total count leaves out
// the live cell sensitivity and every live, dead and viability line.
namespace CountReport {

// The report, one line feed after each line. `fileName` is the name in the
// save dialog ("NoTitle" when empty), `now` the date printed.
QString text(const QString& fileName, const QDateTime& now);

// The report as the label takes it: two empty lines first, and a space
// after every hyphen (the label font runs a hyphen into the next character).
QString labelText(const QString& report);

}  // namespace CountReport
