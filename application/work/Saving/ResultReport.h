#pragma once

#include <QString>

#include <string>

// What the review screen shows of a saved result, field by field as its
// per-result CSV file holds it (the saving code's format): the counting mode
// line, the results and the protocol. Missing keys stay empty.
struct ResultReport
{
    QString countMode;  // "Total cell counting" or "Cell counting & Viability"
    QString totalConcentration;
    QString liveConcentration;
    QString deadConcentration;
    QString viability;    // "85.0%"
    QString averageSize;  // "12.3 um"
    QString totalNumber;
    QString liveNumber;
    QString deadNumber;
    QString protocolName;
    QString minSearchSize;  // "7 um"
    QString maxSearchSize;
    QString cellDetectionSensitivity;
    QString liveCellSensitivity;
    QString noiseReduction;
    QString dilutionFactor;
    QString sizeGating;  // "7 ≤ x < 20 um"
};

// Reads the per-result CSV file at `path` (logical), read-only and as the
// UTF-8 it is written in, its first MiB only. -1 when the file does not
// exist, else 0.
int get_result_from_csv(std::string path, ResultReport& report);

// The digits in front of the first " um" of `text` ("12 um" gives "12"); ""
// when there are none.
QString extractNumberFromString(QString text);
