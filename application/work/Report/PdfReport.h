#pragma once

#include "Report/ReportImages.h"
#include "KovaCore/TCountImageInfo.h"

#include <QImage>
#include <QString>
#include <functional>
#include <hpdf.h>

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

// The first libharu error of one document: WhenHaruGotError keeps it when
// the document was made with a PdfErrors as its user data.
class PdfErrors
{
public:
    // Keeps `what` unless an error came before; always false.
    bool fail(const QString& what);
    bool failed() const { return m_failed; }
    // The first error; empty while nothing failed.
    const QString& errorString() const { return m_error; }

private:
    bool m_failed = false;
    QString m_error;
};

// libharu's error handler (HPDF_New's): the error goes to the PdfErrors that
// `user_data` points to (logged only with none). The report stops building at
// the first error, so one failure gives its caller one notice.
void WhenHaruGotError(HPDF_STATUS error_no, HPDF_STATUS detail_no, void* user_data);

// Text at (x, y) of the page: the text position is moved there and the text
// shown, so the position ends behind it. Between HPDF_Page_BeginText and
// HPDF_Page_EndText.
void pdfText(HPDF_Page page, float x, float y, const char* text);
// As above, the text in UTF-8; with `convertMu` each μ becomes the code page
// 1253 μ and a blank (bytes EC 20), for a font in that encoding.
void pdfText(HPDF_Page page, float x, float y, QString text, bool convertMu);
// "m" at the running text position, which the Symbol font draws as μ.
void setmuText(HPDF_Page page);

// Writes the A4 report "<folder>/<name>/<name>.pdf" with libharu: two pages,
// or the older layout of one. A two-page report for the USB stick ("/mnt") is
// built in a temporary file of the installation and copied to the stick. An
// existing report of that name is replaced; nothing half-written is ever
// left under the report's name.
class PdfReport
{
public:
    using StickCheck = std::function<bool()>;
    using ErrorNotice = std::function<void()>;

    enum class Layout {
        TwoPages,  // results and pictures, then histograms; page units of 1/300 inch
        OnePage,   // results and two small pictures, in points; no stick handling
    };

    PdfReport();

    // Asked before and after the temporary save of a stick report.
    void setStickCheck(StickCheck check) { m_stickCheck = std::move(check); }
    // The caller's notice, called once when building or saving fails (not
    // when there is no stick to begin with); the report itself shows nothing.
    void setErrorNotice(ErrorNotice notice) { m_errorNotice = std::move(notice); }

    // True when the report was written; else errorString() says why.
    bool write(const ReportContent& content, const QString& folder, const QString& fileName,
               Layout layout = Layout::TwoPages);
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

    // The installation's logo, white where it is transparent; null when missing.
    static QImage logo();
    // libharu's raw RGB image of `image`; null, with nothing handed to
    // libharu, for a null image.
    static HPDF_Image rawImage(HPDF_Doc doc, const QImage& image);
    // A new A4 portrait page scaled 0.24 (one unit 1/300 inch: 2480 × 3508
    // fill it), with `background` drawn at (0, 0) over width × height and
    // `logo` at (2227, 48), 160 × 160. A null picture is left out. Errors go
    // to the document's handler.
    static HPDF_Page preparePage(HPDF_Doc doc, float width, float height, const QImage& background,
                                 const QImage& logo);

private:
    StickCheck m_stickCheck;
    ErrorNotice m_errorNotice;
    QString m_errorString;
};
