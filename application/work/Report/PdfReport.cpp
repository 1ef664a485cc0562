#include "Report/PdfReport.h"

#include "File_IO/PartFile.h"
#include "File_IO/copy.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRawFont>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <hpdf.h>
#include <vector>

namespace {

const QString kStickMount = QStringLiteral("/mnt");
const QString kStickTemp = QStringLiteral("/opt/KOVA3/usb_temp.pdf");
const QString kLogo = QStringLiteral("/opt/KOVA3/conf/Logo/icon_default.png");
const QString kFont = QStringLiteral("/opt/KOVA3/fonts/Arial.ttf");
const QString kPage1 = QStringLiteral(":/Count/After_count/save_print/report_1.jpg");
const QString kPage2 = QStringLiteral(":/Count/After_count/save_print/report_2.jpg");
const QString kOnePage = QStringLiteral(":/Count/After_count/save_print/KOVA-II_report_bg1.jpg");

constexpr float kPageWidth = 2480.0f;
constexpr float kPageHeight = 3508.0f;

// A row of the two-page body columns, 86 units apart from y 2447.
float bodyRow(int row)
{
    return 2447.0f - 86.0f * float(row);
}

// The one-page layout, in points: its columns' first row and row step.
constexpr float kOnePageTop = 612.0f;
constexpr float kOnePageStep = 16.0f;
float onePageRow(int row)
{
    return kOnePageTop - kOnePageStep * float(row);
}

struct Rgb
{
    float r, g, b;
};
const Rgb kBlack{0.0f, 0.0f, 0.0f};
const Rgb kSignOff{0.372f, 0.549f, 1.0f};
const Rgb kGrey{0.118f, 0.118f, 0.118f};
const Rgb kWhite{1.0f, 1.0f, 1.0f};

// One line of a text column; `micrometre`: μm follows the text.
struct Line
{
    QString text;
    bool micrometre = false;
};

// The libharu document of one report. The first libharu error is kept and
// building stops there, so one failure gives one notice and never a crash
// on a half-made object.
class Builder
{
public:
    Builder(const ReportContent& content, const QString& fileName) : m_content(content), m_fileName(fileName)
    {
        m_doc = HPDF_New(WhenHaruGotError, &m_errors);
    }
    ~Builder()
    {
        if (m_doc)
            HPDF_Free(m_doc);
    }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    bool build();
    bool buildOnePage();
    // Writes the document into the part file (not yet put in place).
    bool save(PartFile& file);
    bool failed() const { return m_errors.failed(); }
    // The first failure; empty while nothing failed.
    const QString& errorString() const { return m_errors.errorString(); }

private:
    bool fail(const QString& what) { return m_errors.fail(what); }
    bool startDocument(const QString& notCreated);

    HPDF_Page newPage(const QString& background);
    HPDF_Image rawImage(const QImage& image);
    bool loadFonts();
    void drawImage(const QImage& image, float x, float y, float w, float h);

    struct Placed
    {
        float x, y;
        QString text;
    };
    void text(float x, float y, const QString& s);
    // One text block of texts in one font and colour.
    void textBlock(HPDF_Font font, float size, const Rgb& colour, std::initializer_list<Placed> texts);
    void setFont(HPDF_Font font, float size, const Rgb& colour);
    // The body font of the layout: Helvetica of m_bodySize.
    void bodyFont();
    void showMicrometre();
    // Lines at x from the row rowY(0) down; the row after the last.
    int lines(float x, float (*rowY)(int), const std::vector<Line>& texts);
    std::vector<Line> protocolLines() const;
    // The result lines with the layout's viability and cell number texts.
    std::vector<Line> resultLines(const char* viability, const char* totalNumber) const;
    void headerAndFooter();
    void body();
    void settingColumn();
    void protocolColumn();
    void gatingRow(float y);
    void resultColumn();
    void fieldPictures();
    void histograms();
    void onePageTexts();
    void onePagePictures();

    const ReportContent& m_content;
    const QString m_fileName;
    HPDF_Doc m_doc = nullptr;
    HPDF_Page m_page = nullptr;
    HPDF_Font m_helvetica = nullptr;
    HPDF_Font m_helveticaBold = nullptr;
    HPDF_Font m_symbol = nullptr;
    HPDF_Font m_signs = nullptr;
    float m_bodySize = 32;   // Helvetica of the columns
    float m_symbolSize = 35; // the Symbol μ beside it
    QImage m_logo;
    PdfErrors m_errors;
};

HPDF_Image Builder::rawImage(const QImage& source)
{
    if (source.isNull()) {
        fail("missing image");
        return nullptr;
    }
    return PdfReport::rawImage(m_doc, source);
}

void Builder::drawImage(const QImage& image, float x, float y, float w, float h)
{
    if (failed())
        return;
    HPDF_Image handle = rawImage(image);
    if (!failed())
        HPDF_Page_DrawImage(m_page, handle, x, y, w, h);
}

HPDF_Page Builder::newPage(const QString& background)
{
    const QImage image(background);
    if (image.isNull() || m_logo.isNull()) {
        fail("missing image");
        return nullptr;
    }
    m_page = PdfReport::preparePage(m_doc, kPageWidth, kPageHeight, image, m_logo);
    return failed() ? nullptr : m_page;
}

bool Builder::loadFonts()
{
    m_helvetica = HPDF_GetFont(m_doc, "Helvetica", nullptr);
    m_helveticaBold = HPDF_GetFont(m_doc, "Helvetica-Bold", nullptr);
    m_symbol = HPDF_GetFont(m_doc, "Symbol", nullptr);
    const QString fontPath = platform::rootPath(kFont);
    // libharu reads a damaged font file past its end; only a file that parses
    // as a font with the gating signs reaches it.
    QFile file(fontPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail("font file missing");
    const QRawFont check(file.readAll(), 12);
    if (!check.isValid() || !check.supportsCharacter(QChar(0x2264)))
        return fail("font file unusable");
    const QByteArray fontFile = QFile::encodeName(fontPath);
    const char* name = HPDF_LoadTTFontFromFile(m_doc, fontFile.constData(), HPDF_TRUE);
    if (failed() || !name)
        return fail("font file not loaded");
    KLOG << "HPDF_LoadTTFontFromFile :" << name;
    // The font is fetched by the name the file declares, whatever its file name.
    m_signs = HPDF_GetFont(m_doc, name, "KOI8-R");
    return !failed();
}

void Builder::setFont(HPDF_Font font, float size, const Rgb& colour)
{
    HPDF_Page_SetFontAndSize(m_page, font, size);
    HPDF_Page_SetRGBFill(m_page, colour.r, colour.g, colour.b);
}

void Builder::bodyFont()
{
    HPDF_Page_SetFontAndSize(m_page, m_helvetica, m_bodySize);
}

void Builder::text(float x, float y, const QString& s)
{
    pdfText(m_page, x, y, s, false);
}

void Builder::textBlock(HPDF_Font font, float size, const Rgb& colour, std::initializer_list<Placed> texts)
{
    HPDF_Page_BeginText(m_page);
    setFont(font, size, colour);
    for (const Placed& t : texts)
        text(t.x, t.y, t.text);
    HPDF_Page_EndText(m_page);
}

// μ from the Symbol font, then "m", at the running text position.
void Builder::showMicrometre()
{
    HPDF_Page_SetFontAndSize(m_page, m_symbol, m_symbolSize);
    setmuText(m_page);
    bodyFont();
    HPDF_Page_ShowText(m_page, "m");
}

int Builder::lines(float x, float (*rowY)(int), const std::vector<Line>& texts)
{
    int row = 0;
    for (const Line& line : texts) {
        text(x, rowY(row++), line.text);
        if (line.micrometre)
            showMicrometre();
    }
    return row;
}

void Builder::headerAndFooter()
{
    const ReportContent& c = m_content;
    HPDF_Page_BeginText(m_page);
    setFont(m_helvetica, 34, kBlack);
    const QString lines[] = {
        QStringLiteral("Instrument name : %1").arg(c.serialNumber),
        QStringLiteral("Date : %1").arg(c.date),
        QStringLiteral("Security : Off"),
        QStringLiteral("User : anonymous"),
        QStringLiteral("File name : %1.pdf").arg(m_fileName),
        QStringLiteral("Reanalysis : %1%2")
            .arg(c.finalName.isEmpty() ? QStringLiteral("No, original data") : QStringLiteral("Yes, from "),
                 c.finalName),
        QStringLiteral("Counting mode : Bright field cell counting"),
        QStringLiteral("                           %1")
            .arg(c.countingMode == 0 ? QStringLiteral("Total cell counting")
                                     : QStringLiteral("Cell counting & Viability")),
    };
    for (int i = 0; i < 8; ++i)
        text(135, 3117.0f - 53.0f * float(i), lines[i]);
    HPDF_Page_EndText(m_page);

    textBlock(m_helvetica, 36, kSignOff,
              {{1420, 3150, QStringLiteral("Creator")},
               {1420, 2988, QStringLiteral("Reviewer")},
               {1420, 2826, QStringLiteral("Approver")}});
    textBlock(m_helvetica, 28, kGrey,
              {{92, 212, QStringLiteral("Serial number : ") + c.serialNumber},
               {92, 159, QStringLiteral("Software version : ") + c.softwareVersion}});
    textBlock(m_helvetica, 28, kGrey,
              {{742, 212, QStringLiteral("Last calibration : %1 ").arg(c.lastCalibration)},
               {742, 159, QStringLiteral("Calibration value : %1 ").arg(c.calibrationValue)}});
}

void Builder::settingColumn()
{
    const ReportContent& c = m_content;
    HPDF_Page_BeginText(m_page);
    text(139, bodyRow(0), QStringLiteral("Slide type : ") + PdfReport::slideTypeText(c.slideType));
    text(139, bodyRow(1),
         QStringLiteral("Autofocused counting : %1").arg(c.autofocusedCounting ? QStringLiteral("On")
                                                                                : QStringLiteral("Off")));
    text(139, bodyRow(2),
         QStringLiteral("Autofocus offset : %1").arg(PdfReport::shownAutofocusOffset(c.autofocusOffset)));
    HPDF_Page_EndText(m_page);
}

void Builder::gatingRow(float y)
{
    const ReportProtocol& p = m_content.protocol;
    if (p.gateMin < 0 && p.gateMax < 0) {
        text(917, y, QStringLiteral("Size gating : "));
        return;
    }
    // Fixed positions: the signs do not move with the width of the minimum.
    text(917, y, QStringLiteral("Size gating : %1 ").arg(p.gateMin));
    HPDF_Page_SetFontAndSize(m_page, m_signs, 35);
    HPDF_Page_TextOut(m_page, 1152, y, "\x98");
    bodyFont();
    HPDF_Page_TextOut(m_page, 1187, y, "x");
    HPDF_Page_SetFontAndSize(m_page, m_signs, 35);
    HPDF_Page_TextOut(m_page, 1219, y, "<");
    bodyFont();
    text(1252, y, QStringLiteral("%1 ").arg(p.gateMax));
    showMicrometre();
}

std::vector<Line> Builder::protocolLines() const
{
    const ReportProtocol& p = m_content.protocol;
    std::vector<Line> texts = {
        {QStringLiteral("Protocol name : %1").arg(p.name)},
        {QStringLiteral("Min. search size : %1 ").arg(p.minSearchSize), true},
        {QStringLiteral("Max. search size : %1 ").arg(p.maxSearchSize), true},
        {QStringLiteral("Cell detection sensitivity : %1").arg(p.cellDetectionSensitivity)},
    };
    if (m_content.countingMode != 0)
        texts.push_back({QStringLiteral("Live cell sensitivity : %1").arg(p.liveCellSensitivity)});
    texts.push_back({QStringLiteral("Noise reduction : %1").arg(p.noiseReduction)});
    texts.push_back({QStringLiteral("Dilution factor : %1").arg(p.dilutionFactor)});
    return texts;
}

void Builder::protocolColumn()
{
    HPDF_Page_BeginText(m_page);
    gatingRow(bodyRow(lines(917, bodyRow, protocolLines())));
    HPDF_Page_EndText(m_page);
}

std::vector<Line> Builder::resultLines(const char* viability, const char* totalNumber) const
{
    const TCountImageInfo& r = m_content.result;
    const float size = std::isfinite(r.average_cell_size) ? r.average_cell_size : 0.0f;
    const Line sizeLine{QStringLiteral("Average cell size : %1 ").arg(double(size), 0, 'f', 1), true};
    const Line totalNumberLine{QString::fromLatin1(totalNumber).arg(r.total_cell)};
    const auto concentration = [](const char* what, float mantissa, int exponent) {
        return Line{QStringLiteral("%1 cell concentration : %2 cells/mL")
                        .arg(QLatin1String(what), PdfReport::concentrationText(mantissa, exponent))};
    };

    if (m_content.countingMode == 0)
        return {concentration("Total", r.total, r.total_exp), sizeLine, totalNumberLine};
    return {concentration("Total", r.total, r.total_exp),
            concentration("Live", r.live, r.live_exp),
            concentration("Dead", r.dead, r.dead_exp),
            {QString::fromLatin1(viability).arg(double(r.viability), 0, 'f', 1)},
            sizeLine,
            totalNumberLine,
            {QStringLiteral("Live cell number : %1").arg(r.live_cell)},
            {QStringLiteral("Dead cell number : %1").arg(r.dead_cell)}};
}

void Builder::resultColumn()
{
    HPDF_Page_BeginText(m_page);
    lines(1691, bodyRow, resultLines("Viability : %1%", "Total cell number : %1"));
    HPDF_Page_EndText(m_page);
}

void Builder::body()
{
    textBlock(m_helveticaBold, 40, kGrey,
              {{139, 2546, QStringLiteral("Instrument setting")},
               {917, 2546, QStringLiteral("Protocol")},
               {1691, 2546, QStringLiteral("Cell counting results")}});

    setFont(m_helvetica, m_bodySize, kGrey);
    settingColumn();
    protocolColumn();
    resultColumn();
}

void Builder::fieldPictures()
{
    const QImage& field = m_content.fieldImage;
    QImage zoomed = m_content.zoomedImage.convertToFormat(QImage::Format_RGB888);
    if (field.isNull() || zoomed.isNull()) {
        fail("field picture missing");
        return;
    }
    {
        QPainter painter(&zoomed);
        painter.setPen(QPen(QColor(255, 0, 0), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawRect(QRect(0, 0, 250, 200));
        painter.drawRect(QRect(62, 50, 125, 100));
    }
    const auto fit = [](const QImage& image) {
        return image.scaled(1124, 899, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    drawImage(fit(field), 92, 500, 1124, 899);
    drawImage(fit(zoomed), 1262, 500, 1124, 899);
}

void Builder::histograms()
{
    using namespace ReportImages;
    const TCountImageInfo& r = m_content.result;
    const std::vector<int> total(r.total_histogram.begin(), r.total_histogram.end());
    const std::vector<int> live(r.live_histogram.begin(), r.live_histogram.end());
    const std::vector<int> dead(r.dead_histogram.begin(), r.dead_histogram.end());
    const std::vector<int> cluster(r.cluster_histogram.begin(), r.cluster_histogram.end());
    HistogramScale scale;
    scale.gateMin = m_content.protocol.gateMin;
    scale.gateMax = m_content.protocol.gateMax;
    scale.dilution = float(m_content.protocol.dilutionFactor);
    scale.concentration = m_content.concentration;

    QImage image;
    const auto place = [&](float x, float y) {
        drawImage(image, x, y, kWidth, kHeight);
        QCoreApplication::processEvents();
    };
    const QColor orange(255, 127, 0);
    if (m_content.countingMode == 0) {
        gen_histogram_OnlyTotal(image, total, CellNumber, orange, scale);
        place(92, 1951);
        gen_histogram_OnlyTotal(image, total, Concentration, orange, scale);
        place(92, 1108);
    } else if (m_content.countingMode == 1) {
        const CellNumberOrConcentraion kinds[] = {CellNumber, Concentration};
        const float rows[] = {1951, 1108};
        for (int i = 0; i < 2; ++i) {
            gen_histogram_Total(image, total, live, dead, kinds[i], scale);
            place(92, rows[i]);
            gen_histogram_Other(image, live, kinds[i], Qt::green, scale);
            place(876, rows[i]);
            gen_histogram_Other(image, dead, kinds[i], Qt::red, scale);
            place(1660, rows[i]);
        }
    }
    genClusterImage(image, cluster);
    place(92, 350);
}

bool Builder::startDocument(const QString& notCreated)
{
    if (!m_doc)
        return fail(notCreated);
    HPDF_SetCompressionMode(m_doc, HPDF_COMP_ALL);
    HPDF_SetPageMode(m_doc, HPDF_PAGE_MODE_USE_OUTLINE);
    return !failed();
}

bool Builder::build()
{
    if (!startDocument(QStringLiteral("document not created")))
        return false;
    m_logo = PdfReport::logo();
    if (!newPage(kPage1) || !loadFonts())
        return false;
    headerAndFooter();
    body();
    fieldPictures();
    if (failed() || !newPage(kPage2))
        return false;
    histograms();
    if (failed())
        return false;
    headerAndFooter();
    return !failed();
}

void Builder::onePageTexts()
{
    const ReportContent& c = m_content;
    textBlock(m_helvetica, 12, kBlack, {{36, 770, m_fileName}});
    textBlock(m_helvetica, 10, kBlack, {{36, 752, c.date}});
    textBlock(m_helvetica, 11, kSignOff,
              {{342, 755, QStringLiteral("Creator")},
               {342, 717, QStringLiteral("Reviewer")},
               {342, 678, QStringLiteral("Approver")}});

    HPDF_Page_BeginText(m_page);
    setFont(m_helvetica, m_bodySize, kGrey);
    lines(36, onePageRow, resultLines("Viability : %1 %", "Toatl cell number : %1"));
    const float gating = onePageRow(lines(323, onePageRow, protocolLines()));
    const ReportProtocol& p = c.protocol;
    if (p.gateMin < 0 && p.gateMax < 0) {
        text(323, gating, QStringLiteral("Size gating : "));
    } else {
        text(323, gating, QStringLiteral("Size gating : %1 ").arg(p.gateMin));
        HPDF_Page_SetFontAndSize(m_page, m_symbol, m_symbolSize);
        HPDF_Page_ShowText(m_page, "\xA3");  // ≤ in the Symbol font
        bodyFont();
        HPDF_Page_ShowText(m_page, QStringLiteral(" x < %1 ").arg(p.gateMax).toUtf8().constData());
        showMicrometre();
    }
    HPDF_Page_EndText(m_page);

    textBlock(m_helvetica, 12, kWhite, {{36, 446, QStringLiteral("Cell Images")}});
    textBlock(m_helvetica, 9, kGrey,
              {{36, 62, QStringLiteral("Serial number : %1").arg(c.serialNumber)},
               {36, 48, QStringLiteral("Software version : %1").arg(c.softwareVersion)}});
}

// The analysed field at 640 × 480 and its centre enlarged, framed in red.
void Builder::onePagePictures()
{
    const QImage& field = m_content.fieldImage;
    if (field.isNull() || m_content.zoomedImage.isNull()) {
        fail("field picture missing");
        return;
    }
    const auto small = [](const QImage& image) {
        return image.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB888);
    };
    QImage crop = small(m_content.zoomedImage);
    {
        QPainter painter(&crop);
        painter.setPen(QPen(QColor(255, 0, 0), 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.drawRect(QRect(2, 2, 636, 476));
    }
    drawImage(small(field), 26, 230, 262, 190);
    drawImage(crop, 306, 230, 262, 190);
}

bool Builder::buildOnePage()
{
    if (!startDocument(QStringLiteral("Cannot create pdf")))
        return false;
    m_bodySize = 10;
    m_symbolSize = 10;
    m_page = HPDF_AddPage(m_doc);
    if (failed())
        return false;
    HPDF_Page_SetSize(m_page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_PORTRAIT);
    drawImage(QImage(kOnePage), 0, 0, HPDF_Page_GetWidth(m_page), HPDF_Page_GetHeight(m_page));
    m_helvetica = HPDF_GetFont(m_doc, "Helvetica", nullptr);
    m_symbol = HPDF_GetFont(m_doc, "Symbol", nullptr);
    if (failed())
        return false;
    onePageTexts();
    onePagePictures();
    return !failed();
}

bool Builder::save(PartFile& file)
{
    if (failed() || HPDF_SaveToStream(m_doc) != HPDF_OK)
        return fail("not saved");
    // Read exactly what the stream holds: reading past its end is an error to libharu.
    std::vector<HPDF_BYTE> chunk(64 * 1024);
    for (HPDF_UINT32 left = HPDF_GetStreamSize(m_doc); left > 0;) {
        HPDF_UINT32 size = std::min<HPDF_UINT32>(left, HPDF_UINT32(chunk.size()));
        if (HPDF_ReadFromStream(m_doc, chunk.data(), &size) != HPDF_OK || size == 0)
            return fail("not saved");
        if (!file.write(reinterpret_cast<const char*>(chunk.data()), size))
            return fail(QStringLiteral("not saved: ") + file.errorString());
        left -= size;
    }
    return !failed();
}

}  // namespace

bool PdfErrors::fail(const QString& what)
{
    KLOG << "report:" << what;
    if (!m_failed)
        m_error = what;
    m_failed = true;
    return false;
}

void WhenHaruGotError(HPDF_STATUS error_no, HPDF_STATUS detail_no, void* user_data)
{
    const QString what =
        QStringLiteral("libharu error %1 detail %2").arg(QString::number(error_no, 16)).arg(detail_no);
    if (user_data)
        static_cast<PdfErrors*>(user_data)->fail(what);
    else
        KLOG << "report:" << what;
}

void pdfText(HPDF_Page page, float x, float y, const char* text)
{
    HPDF_Page_MoveTextPos(page, x, y);
    HPDF_Page_TextOut(page, x, y, text);
}

void pdfText(HPDF_Page page, float x, float y, QString text, bool convertMu)
{
    QByteArray bytes = text.toUtf8();
    if (convertMu)
        bytes.replace("\xCE\xBC", "\xEC\x20");
    pdfText(page, x, y, bytes.constData());
}

void setmuText(HPDF_Page page)
{
    HPDF_Page_ShowText(page, "m");
}

// The page backgrounds live in the static library's resources, which the
// linker keeps only when something names them.
static void initReportResources()
{
    Q_INIT_RESOURCE(ReportResources);
}

PdfReport::PdfReport() : m_stickCheck([] { return true; })
{
    initReportResources();
}

QString PdfReport::reportPath(const QString& folder, const QString& fileName)
{
    return QStringLiteral("%1/%2/%3.pdf").arg(folder, fileName, fileName);
}

QString PdfReport::concentrationText(float mantissa, int exponent)
{
    return QStringLiteral("%1 x 10e%2").arg(double(mantissa), 0, 'f', 2).arg(exponent);
}

QString PdfReport::slideTypeText(int slideType)
{
    switch (slideType) {
    case 9: return QStringLiteral("Reusable slide");
    case 10: return QStringLiteral("Validation slide");
    default: return QStringLiteral("2 channel slide");
    }
}

int PdfReport::shownAutofocusOffset(int offset)
{
    return offset == 0 || offset == 1 ? offset : 2;
}

QImage PdfReport::logo()
{
    QImage logo(platform::rootPath(kLogo));
    if (logo.hasAlphaChannel()) {
        // Transparent parts of the logo stand on white paper.
        QImage flat(logo.size(), QImage::Format_RGB888);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, logo);
        logo = flat;
    }
    return logo;
}

HPDF_Image PdfReport::rawImage(HPDF_Doc doc, const QImage& source)
{
    if (source.isNull())
        return nullptr;
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    // libharu wants rows without padding; most images have none, and are
    // handed over as they are.
    const int rowBytes = image.width() * 3;
    QByteArray packed;
    const uchar* data = image.constBits();
    if (image.bytesPerLine() != rowBytes) {
        packed.resize(rowBytes * image.height());
        for (int y = 0; y < image.height(); ++y)
            memcpy(packed.data() + y * rowBytes, image.constScanLine(y), size_t(rowBytes));
        data = reinterpret_cast<const uchar*>(packed.constData());
    }
    return HPDF_LoadRawImageFromMem(doc, data, HPDF_UINT(image.width()), HPDF_UINT(image.height()),
                                    HPDF_CS_DEVICE_RGB, 8);
}

HPDF_Page PdfReport::preparePage(HPDF_Doc doc, float width, float height, const QImage& background,
                                 const QImage& logo)
{
    HPDF_Page page = HPDF_AddPage(doc);
    if (!page)
        return nullptr;
    HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_PORTRAIT);
    HPDF_Page_Concat(page, 0.24f, 0, 0, 0.24f, 0, 0);
    if (HPDF_Image image = rawImage(doc, background))
        HPDF_Page_DrawImage(page, image, 0, 0, width, height);
    if (HPDF_Image image = rawImage(doc, logo))
        HPDF_Page_DrawImage(page, image, 2227, 48, 160, 160);
    return page;
}

bool PdfReport::write(const ReportContent& content, const QString& folder, const QString& fileName, Layout layout)
{
    KLOG_ENTER;
    const QString logicalPath = reportPath(folder, fileName);
    KLOG_VALUE("path", logicalPath);
    const QString target = platform::rootPath(logicalPath);
    const bool toStick = layout == Layout::TwoPages && folder == kStickMount;
    m_errorString.clear();
    if (toStick && !m_stickCheck()) {
        m_errorString = QStringLiteral("no USB stick");
        KLOG << "report:" << m_errorString;
        return false;
    }

    Builder builder(content, fileName);
    bool written = layout == Layout::TwoPages ? builder.build() : builder.buildOnePage();
    if (written && toStick) {
        const QString temp = platform::rootPath(kStickTemp);
        PartFile file(temp);
        written = builder.save(file) && file.commit();
        if (written && !m_stickCheck()) {
            m_errorString = QStringLiteral("USB stick removed");
            KLOG << "report:" << m_errorString;
            written = false;
        }
        if (written && ::copy(kStickTemp.toUtf8().constData(), logicalPath.toUtf8().constData()) != 0) {
            m_errorString = QStringLiteral("not copied to the USB stick");
            written = false;
        }
        KLOG_VALUE("copied", written ? "true" : "false");
        QFile::remove(temp);
    } else if (written) {
        PartFile file(target);
        written = builder.save(file);
        if (written && !file.commit()) {
            m_errorString = QStringLiteral("cannot replace the report");
            written = false;
        }
    }
    if (!written && m_errorString.isEmpty())
        m_errorString = builder.errorString();
    if (!written && m_errorNotice)
        m_errorNotice();
    return written;
}
