#pragma once

#include "KovaCore/TCountImageInfo.h"

#include <QDateTime>
#include <QString>

#include <string>

// How a count reads: the texts of the Result page and the row it adds to the
// previous-counts table.
namespace ResultTexts {

struct Texts
{
    QString totalConcentration;  // "2.50x10e6 cells/mL"
    QString liveConcentration;
    QString deadConcentration;
    QString viability;    // "87.5 %"
    QString averageSize;  // "12.3 um"
    QString totalCells;   // "120 cells"
    QString liveCells;
    QString deadCells;
    QString dilution;     // "2"
};

// A concentration's mantissa with two decimals and its power of ten.
QString concentration(float mantissa, int exponent);
Texts fromResult(const TCountImageInfo& result, int dilutionFactor);

// The previous-counts row of a count (no line end): user, a blank file name,
// the date and time, the total concentration and number, in a counting mode
// other than 0 the live and dead ones and the viability, the average size,
// and the protocol's name when it has one. Fields are joined by commas as
// they are: protocol names cannot hold one.
std::string previousCountRow(int countingMode, const TCountImageInfo& result, const QString& protocol,
                             const QDateTime& when);

}  // namespace ResultTexts
