#pragma once

#include "Report/ReportImages.h"
#include "KovaCore/TCountImageInfo.h"

#include <QImage>
#include <QString>
#include <functional>

// The counted protocol as the report prints it.
struct ReportProtocol
{
    QString name;
    int minSearchSize = 0;
    int maxSearchSize = 0;
    int cellDetectionSensitivity = 0;
    int liveCellSensitivity = 0;  // printed in viability mode only
    int noiseReduction = 0;
    int dilutionFactor = 1;
    int gateMin = -1;             // both bounds negative: no size gating
    int gateMax = -1;
};

// Everything one report prints. The save job fills it from the application
// object: the protocol is the total protocol in counting mode 0 and the
// viability protocol otherwise.
struct ReportContent
{
    QString serialNumber;
    QString softwareVersion;
    QString date;
    QString finalName;      // source of a re-analysis; empty for a first analysis
    int countingMode = 0;   // 0 total count, 1 count and viability
    int slideType = 2;      // 9 reusable, 10 validation, else 2 channel
    bool autofocusedCounting = false;
    int autofocusOffset = 0;
    ReportProtocol protocol;
    TCountImageInfo result;
    QString lastCalibration;
    QString calibrationValue;
    // The two field pictures, 2592 × 1944 RGB888: the analysed image (or the
    // scale-bar image) and its 4× enlargement about the centre.
    QImage fieldImage;
    QImage zoomedImage;
    ReportImages::ConcentrationFn concentration;
};

// Writes the two-page A4 report "<folder>/<name>/<name>.pdf" with libharu.
// A report for the USB stick ("/mnt") is built in a temporary file of the
// installation and copied to the stick. An existing report of that name is
// replaced; nothing half-written is ever left under the report's name.
class PdfReport
{
public:
    using StickCheck = std::function<bool()>;
    using ErrorNotice = std::function<void()>;

    PdfReport();

    // Asked before and after the temporary save of a stick report.
    void setStickCheck(StickCheck check) { m_stickCheck = std::move(check); }
    // The caller's notice, called once when building or saving fails (not
    // when there is no stick to begin with); the report itself shows nothing.
    void setErrorNotice(ErrorNotice notice) { m_errorNotice = std::move(notice); }

    // True when the report was written; else errorString() says why.
    bool write(const ReportContent& content, const QString& folder, const QString& fileName);
    // Why the last write failed; empty after a success.
    const QString& errorString() const { return m_errorString; }

    // The logical path of the report ("%1/%2/%3.pdf").
    static QString reportPath(const QString& folder, const QString& fileName);

    // Texts the report shares with the per-result CSV file and the image
    // metadata. A concentration: mantissa to two decimals, " x 10e", exponent.
    static QString concentrationText(float mantissa, int exponent);
    // "Reusable slide" (9), "Validation slide" (10), else "2 channel slide".
    static QString slideTypeText(int slideType);
    // The autofocus offset as printed: 0 and 1 as they are, anything else 2.
    static int shownAutofocusOffset(int offset);

private:
    StickCheck m_stickCheck;
    ErrorNotice m_errorNotice;
    QString m_errorString;
};
