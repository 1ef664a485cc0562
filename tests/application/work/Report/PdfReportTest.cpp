#include "ReportFixture.h"

#include "FullDisk.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

class PdfReportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim::installReportResources(root.root()));
        report.setErrorNotice([this] { ++notices; });
        report.setStickCheck([this] { return stickAnswers.isEmpty() || stickAnswers.takeFirst(); });
    }

    // Writes into "<folder>/<name>/" (the save job makes that folder).
    bool write(const ReportContent& content, const QString& folder = "/KOVA/anonymous/TOTAL_CELL_COUNTING",
               const QString& name = "result_01", PdfReport::Layout layout = PdfReport::Layout::TwoPages)
    {
        QDir().mkpath(root.path(folder + "/" + name));
        return report.write(content, folder, name, layout);
    }
    QString written(const QString& folder = "/KOVA/anonymous/TOTAL_CELL_COUNTING", const QString& name = "result_01")
    {
        return root.path(PdfReport::reportPath(folder, name));
    }

    TempRoot root;
    PdfReport report;
    int notices = 0;
    QList<bool> stickAnswers;
};

// A page's text with blanks squeezed, for comparisons independent of the
// layout's spacing; poppler reads Symbol's μ as the micro sign.
QString squeezed(QString text)
{
    return text.replace(QChar(0x00B5), QChar(0x03BC)).simplified();
}

int imagesOnPage(const QString& pdf, int page)
{
    int n = 0;
    for (const QString& line : poppler("pdfimages", {"-list", "-f", QString::number(page), "-l",
                                                     QString::number(page), pdf}).split('\n').mid(2))
        n += line.trimmed().isEmpty() ? 0 : 1;
    return n;
}

// Words of a page with their boxes in points, y down from the top edge.
struct Word
{
    QString text;
    QRectF box;
};

std::vector<Word> wordsOnPage(const QString& pdf, int page)
{
    const QString xhtml = poppler("pdftotext", {"-bbox", "-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    std::vector<Word> words;
    for (auto m = word.globalMatch(xhtml); m.hasNext();) {
        const QRegularExpressionMatch w = m.next();
        words.push_back({w.captured(5), QRectF(QPointF(w.captured(1).toDouble(), w.captured(2).toDouble()),
                                               QPointF(w.captured(3).toDouble(), w.captured(4).toDouble()))});
    }
    return words;
}

// A word starting at x (report units, 1/300 inch) whose box holds the baseline y
// (report units from the bottom edge).
bool standsAt(const std::vector<Word>& words, const QString& text, float x, float y)
{
    const double left = x * 0.24, baseline = 841.89 - y * 0.24;
    return std::any_of(words.begin(), words.end(), [&](const Word& w) {
        return w.text == text && std::abs(w.box.left() - left) < 1.5 && w.box.top() <= baseline
            && baseline <= w.box.bottom();
    });
}

}  // namespace

TEST_F(PdfReportTest, TotalCountReportHasItsTextsAndPictures)
{
    ASSERT_TRUE(write(sampleContent(0)));
    EXPECT_EQ(notices, 0);
    EXPECT_TRUE(report.errorString().isEmpty());
    const QString pdf = written();
    ASSERT_EQ(pageCount(pdf), 2);
    const QString page1 = squeezed(pageText(pdf, 1));
    for (const char* expected : {"Instrument name : KV3-0042", "Date : 2026-12-10 09:41:07", "Security : Off",
                                 "User : anonymous", "File name : result_01.pdf", "Reanalysis : No, original data",
                                 "Counting mode : Bright field cell counting", "Total cell counting", "Creator",
                                 "Reviewer", "Approver", "Instrument setting", "Protocol", "Cell counting results",
                                 "Slide type : Reusable slide", "Autofocused counting : On", "Autofocus offset : 1",
                                 "Protocol name : Yeast", "Min. search size : 5 μm", "Max. search size : 60 μm",
                                 "Cell detection sensitivity : 7", "Noise reduction : 3", "Dilution factor : 2",
                                 "Size gating : 10 ≤ x < 40 μm",
                                 "Total cell concentration : 2.35 x 10e6 cells/mL", "Average cell size : 12.3 μm",
                                 "Total cell number : 431", "Serial number : KV3-0042", "Software version : 3.1.7",
                                 "Last calibration : 2026-11-02", "Calibration value : 0x3A"})
        EXPECT_TRUE(page1.contains(QString::fromUtf8(expected))) << expected << "\n" << page1.toStdString();
    for (const char* absent : {"Live cell", "Viability"})
        EXPECT_FALSE(page1.contains(absent)) << absent;

    const QString page2 = squeezed(pageText(pdf, 2));
    for (const char* expected : {"Instrument name : KV3-0042", "File name : result_01.pdf", "Approver",
                                 "Serial number : KV3-0042", "Calibration value : 0x3A"})
        EXPECT_TRUE(page2.contains(expected)) << expected;
    EXPECT_FALSE(page2.contains("Cell counting results"));
    // Background and logo on each page; two field pictures on page 1; two
    // histograms and the cluster chart on page 2.
    EXPECT_EQ(imagesOnPage(pdf, 1), 4);
    EXPECT_EQ(imagesOnPage(pdf, 2), 5);
}

TEST_F(PdfReportTest, TextsStandAtTheirPlaces)
{
    ASSERT_TRUE(write(sampleContent(0)));
    const struct { int page; const char* word; float x, y; } anchors[] = {
        {1, "Instrument", 135, 3117}, {1, "Date", 135, 3064}, {1, "Security", 135, 3011}, {1, "User", 135, 2958},
        {1, "File", 135, 2905}, {1, "Reanalysis", 135, 2852}, {1, "Counting", 135, 2799},
        {1, "Creator", 1420, 3150}, {1, "Reviewer", 1420, 2988}, {1, "Approver", 1420, 2826},
        {1, "Instrument", 139, 2546}, {1, "Protocol", 917, 2546}, {1, "Cell", 1691, 2546},
        {1, "Slide", 139, 2447}, {1, "Autofocused", 139, 2361}, {1, "Autofocus", 139, 2275},
        {1, "Protocol", 917, 2447}, {1, "Min.", 917, 2361}, {1, "Noise", 917, 2103}, {1, "Dilution", 917, 2017},
        {1, "Size", 917, 1931}, {1, "x", 1187, 1931},
        {1, "Total", 1691, 2447}, {1, "Average", 1691, 2361}, {1, "Total", 1691, 2275},
        {1, "Serial", 92, 212}, {1, "Software", 92, 159}, {1, "Last", 742, 212}, {1, "Calibration", 742, 159},
        {2, "Instrument", 135, 3117}, {2, "Approver", 1420, 2826}, {2, "Serial", 92, 212}, {2, "Calibration", 742, 159},
    };
    const std::vector<Word> pages[] = {wordsOnPage(written(), 1), wordsOnPage(written(), 2)};
    ASSERT_FALSE(pages[0].empty());
    for (const auto& a : anchors)
        EXPECT_TRUE(standsAt(pages[a.page - 1], a.word, a.x, a.y)) << "page " << a.page << " " << a.word << " at "
                                                                   << a.x << ", " << a.y;
}

TEST_F(PdfReportTest, ViabilityReportHasEightRowsAndSixHistograms)
{
    ReportContent c = sampleContent(1);
    c.finalName = "result_00";
    c.autofocusOffset = 5;
    c.result.average_cell_size = std::nanf("");
    ASSERT_TRUE(write(c));
    const QString pdf = written();
    const QString page1 = squeezed(pageText(pdf, 1));
    for (const char* expected : {"Reanalysis : Yes, from result_00", "Cell counting & Viability",
                                 "Autofocus offset : 2", "Live cell sensitivity : 4", "Noise reduction : 3",
                                 "Dilution factor : 2", "Live cell concentration : 1.99 x 10e6 cells/mL",
                                 "Dead cell concentration : 3.50 x 10e5 cells/mL", "Viability : 84.9%",
                                 "Average cell size : 0.0 μm", "Live cell number : 366", "Dead cell number : 65"})
        EXPECT_TRUE(page1.contains(QString::fromUtf8(expected))) << expected << "\n" << page1.toStdString();
    EXPECT_EQ(imagesOnPage(pdf, 2), 9);
}

TEST_F(PdfReportTest, GatingRowWithoutGateAndOtherModes)
{
    ReportContent c = sampleContent(0);
    c.protocol.gateMin = -1;
    c.protocol.gateMax = -1;
    c.slideType = 4;
    ASSERT_TRUE(write(c));
    const QString page1 = pageText(written(), 1);
    EXPECT_TRUE(QRegExp("Size gating :\\s*\\n").indexIn(page1) >= 0) << page1.toStdString();
    EXPECT_TRUE(page1.contains("Slide type : 2 channel slide"));

    c.countingMode = 7;  // any other mode: viability rows, cluster chart alone
    ASSERT_TRUE(write(c, "/KOVA/anonymous/OTHER"));
    const QString pdf = written("/KOVA/anonymous/OTHER");
    EXPECT_TRUE(pageText(pdf, 1).contains("Live cell sensitivity"));
    EXPECT_EQ(imagesOnPage(pdf, 2), 3);
}

TEST_F(PdfReportTest, StickReportGoesThroughTheTemporaryFileAndReplacesAnOldOne)
{
    root.writeFile("/mnt/result_01/result_01.pdf", "an older report");
    stickAnswers = {true, true};
    ASSERT_TRUE(write(sampleContent(0), "/mnt"));
    const QString pdf = written("/mnt");
    EXPECT_EQ(pageCount(pdf), 2) << "the old report was replaced";
    EXPECT_FALSE(QFile::exists(root.path("/opt/KOVA3/usb_temp.pdf")));
    EXPECT_FALSE(QFile::exists(pdf + ".part"));
    EXPECT_TRUE(stickAnswers.isEmpty()) << "asked before and after the temporary save";
    EXPECT_EQ(notices, 0);
}

// Links planted on the stick at the report's name and at its part file's,
// leading out of it: the report is a file of its own on the stick.
TEST_F(PdfReportTest, StickReportIsNeverWrittenThroughALink)
{
    root.writeFile("/mnt/result_01/.keep", "");
    for (const char* name : {"result_01.pdf", "result_01.pdf.part"})
        ASSERT_TRUE(QFile::link(root.path("/outside/") + name, root.path("/mnt/result_01/") + name));
    stickAnswers = {true, true};
    ASSERT_TRUE(write(sampleContent(0), "/mnt"));
    EXPECT_FALSE(QFileInfo(written("/mnt")).isSymLink());
    EXPECT_EQ(pageCount(written("/mnt")), 2);
    EXPECT_FALSE(QFileInfo::exists(root.path("/outside")));
}

TEST_F(PdfReportTest, StickGoneMeansNoReportAndNoLeftovers)
{
    stickAnswers = {false};
    EXPECT_FALSE(write(sampleContent(0), "/mnt"));
    EXPECT_FALSE(QFile::exists(written("/mnt")));
    EXPECT_EQ(report.errorString(), "no USB stick");

    root.writeFile("/mnt/result_01/result_01.pdf", "kept");
    stickAnswers = {true, false};  // pulled during the temporary save
    EXPECT_FALSE(write(sampleContent(0), "/mnt"));
    EXPECT_EQ(report.errorString(), "USB stick removed");
    EXPECT_EQ(root.readFile("/mnt/result_01/result_01.pdf"), QByteArray("kept"));
    EXPECT_FALSE(QFile::exists(root.path("/opt/KOVA3/usb_temp.pdf")));
    EXPECT_EQ(notices, 1);
}

TEST_F(PdfReportTest, SlashedMountIsAnOrdinaryFolder)
{
    stickAnswers = {false};
    ASSERT_TRUE(write(sampleContent(0), "/mnt/"));
    EXPECT_EQ(stickAnswers.size(), 1) << "the stick is not asked for";
}

TEST_F(PdfReportTest, MissingResourcesOrFolderEndInOneErrorNotice)
{
    struct Case
    {
        const char* what;
        std::function<void(TempRoot&, ReportContent&)> spoil;
    };
    const Case cases[] = {
        {"font", [](TempRoot& r, ReportContent&) { QFile::remove(r.path("/opt/KOVA3/fonts/Arial.ttf")); }},
        {"bad font", [](TempRoot& r, ReportContent&) { r.writeFile("/opt/KOVA3/fonts/Arial.ttf", "not a font"); }},
        {"logo", [](TempRoot& r, ReportContent&) { QFile::remove(r.path("/opt/KOVA3/conf/Logo/icon_default.png")); }},
        {"picture", [](TempRoot&, ReportContent& c) { c.fieldImage = QImage(); }},
        {"folder", [](TempRoot& r, ReportContent&) { QDir(r.path("/KOVA")).removeRecursively(); }},
    };
    for (const Case& test : cases) {
        ASSERT_TRUE(sim::installReportResources(root.root()));
        ReportContent c = sampleContent(0);
        test.spoil(root, c);
        notices = 0;
        const QString name = QString("r_") + test.what;
        bool ok;
        if (QString(test.what) == "folder")
            ok = report.write(c, "/KOVA/anonymous/TOTAL_CELL_COUNTING", name);
        else
            ok = write(c, "/KOVA/anonymous/TOTAL_CELL_COUNTING", name);
        EXPECT_FALSE(ok) << test.what;
        EXPECT_EQ(notices, 1) << test.what;
        EXPECT_FALSE(report.errorString().isEmpty()) << test.what;
        EXPECT_FALSE(QFile::exists(written("/KOVA/anonymous/TOTAL_CELL_COUNTING", name))) << test.what;
    }
}

TEST_F(PdfReportTest, FullDiskKeepsTheOldReportAndLeavesNoPart)
{
    root.writeFile("/KOVA/anonymous/TOTAL_CELL_COUNTING/result_01/result_01.pdf", "kept");
    EXPECT_FALSE(runOnFullDisk(64 * 1024, [this] { return write(sampleContent(0)); }));
    EXPECT_EQ(root.readFile("/KOVA/anonymous/TOTAL_CELL_COUNTING/result_01/result_01.pdf"), QByteArray("kept"));
    EXPECT_FALSE(QFile::exists(written() + ".part"));
}

TEST_F(PdfReportTest, ReportRendersWithItsPictures)
{
    ASSERT_TRUE(write(sampleContent(1)));
    const QString prefix = root.path("/page");
    const auto r = runHostTool("pdftoppm", {"-r", "20", "-png", written(), prefix});
    ASSERT_TRUE(r.succeeded()) << r.standardError.toStdString();
    const QImage page2(prefix + "-2.png");
    ASSERT_FALSE(page2.isNull());
    // The cluster chart's first bar (clusters of one, 83 %) stands blue near
    // (92 + 28/528·728 + ..., ...): look for blue anywhere in the chart's box.
    const double s = 20.0 / 300.0;
    const QRect chart(int(92 * s), int((3508 - 350 - 518) * s), int(728 * s), int(518 * s));
    int blue = 0;
    for (int y = chart.top(); y <= chart.bottom(); ++y)
        for (int x = chart.left(); x <= chart.right(); ++x) {
            const QColor c(page2.pixel(x, y));
            blue += c.blue() > 180 && c.red() < 90 && c.green() < 90;
        }
    EXPECT_GT(blue, 20);
}

TEST_F(PdfReportTest, OnePageLayoutHasItsOwnTextsAndNoStickHandling)
{
    const struct
    {
        int mode;
        std::vector<const char*> expected;
        std::vector<const char*> absent;
    } cases[] = {
        {0,
         {"result_01", "2026-12-10 09:41:07", "Creator", "Reviewer", "Approver", "Protocol name : Yeast",
          "Min. search size : 5 μm", "Max. search size : 60 μm", "Dilution factor : 2",
          "Size gating : 10 ≤ x < 40 μm", "Total cell concentration : 2.35 x 10e6 cells/mL",
          "Average cell size : 12.3 μm", "Toatl cell number : 431", "Cell Images", "Serial number : KV3-0042",
          "Software version : 3.1.7"},
         {"Viability", "Live cell", "Total cell number", "Instrument name", "Slide type"}},
        {1,
         {"Live cell sensitivity : 4", "Live cell concentration : 1.99 x 10e6 cells/mL", "Viability : 84.9 %",
          "Toatl cell number : 431", "Live cell number : 366", "Dead cell number : 65"},
         {"Viability : 84.9%"}},
    };
    for (const auto& c : cases) {
        stickAnswers = {false};
        ASSERT_TRUE(write(sampleContent(c.mode), "/mnt", "result_01", PdfReport::Layout::OnePage)) << c.mode;
        EXPECT_EQ(stickAnswers.size(), 1) << "the stick is not asked for";
        const QString pdf = written("/mnt");
        EXPECT_EQ(pageCount(pdf), 1);
        const QString page = squeezed(pageText(pdf, 1));
        for (const char* expected : c.expected)
            EXPECT_TRUE(page.contains(QString::fromUtf8(expected))) << expected << "\n" << page.toStdString();
        for (const char* absent : c.absent)
            EXPECT_FALSE(page.contains(QString::fromUtf8(absent))) << absent;
        EXPECT_EQ(imagesOnPage(pdf, 1), 3) << "the background and two pictures, no logo";
    }
    EXPECT_EQ(notices, 0);

    // Plain points, no scale: the sign-off labels at x 342.
    const std::vector<Word> words = wordsOnPage(written("/mnt"), 1);
    for (const auto& a : {std::make_pair("Creator", 755.0f), {"Reviewer", 717.0f}, {"Approver", 678.0f}})
        EXPECT_TRUE(standsAt(words, a.first, 342 / 0.24f, a.second / 0.24f)) << a.first;
}

// The right picture, the centre enlarged, is framed in red; the left one is not.
TEST_F(PdfReportTest, OnePagePicturesAndTheirFrame)
{
    ASSERT_TRUE(write(sampleContent(0), "/KOVA/anonymous/TOTAL_CELL_COUNTING", "result_01", PdfReport::Layout::OnePage));
    const QString prefix = root.path("/one");
    const auto r = runHostTool("pdftoppm", {"-r", "144", "-png", written(), prefix});
    ASSERT_TRUE(r.succeeded()) << r.standardError.toStdString();
    const QImage page(prefix + "-1.png");
    ASSERT_FALSE(page.isNull());
    const auto redIn = [&](float x, float y, float w, float h) {  // points, y up from the bottom edge
        const double s = 2.0;
        int red = 0;
        for (int py = int((841.89 - y - h) * s); py < int((841.89 - y) * s); ++py)
            for (int px = int(x * s); px < int((x + w) * s); ++px) {
                const QColor c(page.pixel(px, py));
                red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
            }
        return red;
    };
    EXPECT_GT(redIn(306, 230, 262, 190), 500);
    EXPECT_EQ(redIn(26, 230, 262, 190), 0);
    if (HasFailure() && page.save("one-page-report.png"))
        ADD_FAILURE() << "the rendered page: one-page-report.png";
}

// A document of the test's own, for the text helpers.
struct HaruPage
{
    HaruPage() { page = HPDF_AddPage(doc); }
    ~HaruPage() { HPDF_Free(doc); }
    HaruPage(const HaruPage&) = delete;
    HaruPage& operator=(const HaruPage&) = delete;
    bool save(const QString& path) { return HPDF_SaveToFile(doc, QFile::encodeName(path).constData()) == HPDF_OK; }

    PdfErrors errors;
    HPDF_Doc doc = HPDF_New(WhenHaruGotError, &errors);
    HPDF_Page page = nullptr;
};

TEST(PdfText, LandsWhereItIsPlacedAndConvertsMuOnRequest)
{
    TempRoot root;
    HaruPage pdf;
    HPDF_Page page = pdf.page;
    HPDF_Font helvetica = HPDF_GetFont(pdf.doc, "Helvetica", nullptr);
    HPDF_Font greek = HPDF_GetFont(pdf.doc, "Helvetica", "CP1253");
    HPDF_Font symbol = HPDF_GetFont(pdf.doc, "Symbol", nullptr);
    HPDF_Page_BeginText(page);
    HPDF_Page_SetFontAndSize(page, helvetica, 12);
    pdfText(page, 300, 700, "Elsewhere");
    pdfText(page, 72, 600, "Anchor");
    HPDF_Page_ShowText(page, "Behind");  // the position ends behind the text
    HPDF_Page_SetFontAndSize(page, greek, 12);
    pdfText(page, 72, 500, QString::fromUtf8("converted 5 μm"), true);
    pdfText(page, 72, 450, QString::fromUtf8("kept 5 μm"), false);
    HPDF_Page_SetFontAndSize(page, helvetica, 12);
    pdfText(page, 72, 400, QString("gate 5 "), false);
    HPDF_Page_SetFontAndSize(page, symbol, 12);
    setmuText(page);
    HPDF_Page_SetFontAndSize(page, helvetica, 12);
    HPDF_Page_ShowText(page, "m");
    HPDF_Page_EndText(page);
    ASSERT_FALSE(pdf.errors.failed()) << pdf.errors.errorString().toStdString();
    const QString file = root.path("/text.pdf");
    ASSERT_TRUE(pdf.save(file));

    const std::vector<Word> words = wordsOnPage(file, 1);
    EXPECT_TRUE(standsAt(words, "AnchorBehind", 72 / 0.24f, 600 / 0.24f));
    EXPECT_TRUE(standsAt(words, "Elsewhere", 300 / 0.24f, 700 / 0.24f));
    const QString text = squeezed(pageText(file, 1));
    EXPECT_TRUE(text.contains(QString::fromUtf8("converted 5 μ m"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("gate 5 μm"))) << text.toStdString();
    EXPECT_TRUE(text.contains("kept 5 ")) << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromUtf8("kept 5 μ"))) << "UTF-8 bytes are no μ in that encoding";
}

TEST(PdfErrorHandler, KeepsTheFirstErrorOfItsDocument)
{
    PdfErrors errors;
    HPDF_Doc doc = HPDF_New(WhenHaruGotError, &errors);
    ASSERT_TRUE(doc);
    EXPECT_FALSE(errors.failed());
    EXPECT_EQ(HPDF_GetFont(doc, "NoSuchFont", nullptr), nullptr);
    ASSERT_TRUE(errors.failed());
    const QString first = errors.errorString();
    EXPECT_TRUE(first.startsWith("libharu error ")) << first.toStdString();
    HPDF_ResetError(doc);
    EXPECT_EQ(HPDF_LoadTTFontFromFile(doc, "/no/such/font.ttf", HPDF_TRUE), nullptr);
    EXPECT_EQ(errors.errorString(), first);
    HPDF_Free(doc);

    WhenHaruGotError(0x1001, 0, nullptr);  // no document's errors to keep: logged only
}
