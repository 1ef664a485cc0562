#include "Saving/SavingThread.h"

#include "../Report/ReportFixture.h"
#include "CountedResult.h"
#include "File_IO/ImReaderWriter.h"
#include "FullDisk.h"
#include "KovaCore/KovaCoreApp.h"
#include "TempRoot.h"
#include "VirtualPrinter.h"
#include "platform/Root.h"
#include "platform/SaveFile.h"
#include "velimbio/CellCounter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr int kCols = 2592;
constexpr int kRows = 1944;
const char* const kDestination = "/KOVA/anonymous/CELL_COUNTING_VIABILITY";

QByteArray fixture(const char* name)
{

    QFile file(QStringLiteral(KOVA_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing fixture>");
}

// theApp and the engine as they stand after a count in either mode, with the
// calibration files in the root.
class SaveJob : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root.writeFile("/opt/KOVA3/conf/Calibration_BFN.ini", "[1280]\n0x3501=0x01\n0x3502=0x2A\n");
        root.writeFile("/opt/KOVA3/conf/Calibration_CUS.ini", "[1280]\n0x3501=0x01\n0x3502=0x56\n");
        root.writeFile(QStringLiteral("%1/N/.keep").arg(kDestination), "");

        count = std::make_unique<CountedResult>(BF_CELL_COUNTING_VIABILITY);
    }

    void TearDown() override
    {
        count.reset();
        theApp.m_strFinalName.clear();
        theApp.m_SaveReview.m_bEnableScaleBar = false;
    }

    static void totalMode()
    {
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_bAutoExposureOn = false;
        theApp.m_strFinalName.clear();
    }

    static void viabilityMode()
    {
        theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
        theApp.m_bAutoExposureOn = true;
        theApp.m_strFinalName = "Jurkat_0007";
    }

    // Runs the jobs of a bit set as the save dialog does and records the signals.
    std::vector<std::string> save(unsigned char bits, const QString& destination = kDestination)
    {
        std::vector<std::string> events;
        QString date = "08 Dec 2026 14:03:22";
        for (int kind : SavingThread::kindsFromBits(bits)) {
            SavingThread job;
            QObject::connect(&job, &SavingThread::signalSaveCompleted_Progress,
                             [&](int k) { events.push_back("progress " + std::to_string(k)); });
            QObject::connect(&job, &SavingThread::signalSaveCompleted, [&](int k, bool pass) {
                events.push_back("completed " + std::to_string(k) + (pass ? " pass" : " fail"));
            });
            // Where the save dialog shows its message 15.
            job.setReportErrorNotice([&] { events.push_back("report error notice"); });
            job.setType(kind);
            job.setDestination(destination, "N");
            job.set_date(date);
            job.run();
        }
        return events;
    }

    QString path(const char* file) const { return root.path(QStringLiteral("%1/N/%2").arg(kDestination, file)); }

    TempRoot root;
    std::unique_ptr<CountedResult> count;
};

void expectImage(const QString& logical, const cv::Mat& expected, const QString& description)
{
    ImReaderWriter reader;
    std::unique_ptr<unsigned char[]> pixels(reader.imread(logical.toStdString()));
    ASSERT_TRUE(pixels) << logical.toStdString();
    ASSERT_EQ(reader.readWidth(), uint32_t(kCols));
    ASSERT_EQ(reader.readHeight(), uint32_t(kRows));
    EXPECT_EQ(std::memcmp(pixels.get(), expected.data, expected.total() * 3), 0) << logical.toStdString();
    EXPECT_EQ(reader.countingResult1()[0], 0.0f) << "the result files carry no private fields";

    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(platform::rootPath(logical).toLocal8Bit().constData(), "r"),
                                               TIFFClose);
    ASSERT_TRUE(tiff);
    char* text = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff.get(), TIFFTAG_IMAGEDESCRIPTION, &text));
    EXPECT_EQ(QString::fromUtf8(text).toStdString(), description.toStdString());
}

}  // namespace

TEST_F(SaveJob, KindBitsWriteTheirFilesInOrderWithSignals)
{
    viabilityMode();
    EXPECT_EQ(save(9), (std::vector<std::string>{"progress 0", "completed 0 pass", "progress 3", "completed 3 pass"}));
    EXPECT_TRUE(QFileInfo::exists(path("N_TAG.tif")));
    EXPECT_FALSE(QFileInfo::exists(path("N_RAW.tif")));
    EXPECT_TRUE(QFileInfo::exists(path("N.csv")));

    EXPECT_EQ(save(4), (std::vector<std::string>{"progress 1", "completed 1 pass"}));
    EXPECT_TRUE(QFileInfo::exists(path("N_RAW.tif")));

    ASSERT_TRUE(sim::installReportResources(root.root()));
    for (const char* file : {"N_TAG.tif", "N_RAW.tif", "N.csv"})
        QFile::remove(path(file));
    EXPECT_EQ(save(15), (std::vector<std::string>{"progress 0", "completed 0 pass", "progress 1", "completed 1 pass",
                                                  "progress 2", "completed 2 pass", "progress 3", "completed 3 pass"}));
    for (const char* file : {"N_TAG.tif", "N_RAW.tif", "N.pdf", "N.csv"})
        EXPECT_TRUE(QFileInfo::exists(path(file))) << file;
    EXPECT_TRUE(root.readFile(QStringLiteral("%1/N/N.pdf").arg(kDestination)).startsWith("%PDF"));

    const struct { unsigned char bits; std::vector<int> kinds; } table[] = {
        {0, {}}, {1, {3}}, {2, {2}}, {4, {1}}, {8, {0}}, {9, {0, 3}}, {15, {0, 1, 2, 3}}, {0xF0, {}}, {0xFF, {0, 1, 2, 3}},
    };
    for (const auto& c : table)
        EXPECT_EQ(SavingThread::kindsFromBits(c.bits), c.kinds) << int(c.bits);
}

TEST_F(SaveJob, ImagesAreTheEnginesFramesWithTheMetadataText)
{
    viabilityMode();
    ASSERT_EQ(save(12), (std::vector<std::string>{"progress 0", "completed 0 pass", "progress 1", "completed 1 pass"}));
    const QString metadata = QString::fromUtf8(fixture("metadata_viability.txt"));
    expectImage(QStringLiteral("%1/N/N_TAG.tif").arg(kDestination), patternFrame(40), metadata);
    expectImage(QStringLiteral("%1/N/N_RAW.tif").arg(kDestination), patternFrame(0), metadata);

    // With the scale bar on, the analysed image is the application's canvas.
    const cv::Mat canvas = patternFrame(90);
    theApp.setScaleBarImg(canvas);
    theApp.m_SaveReview.m_bEnableScaleBar = true;
    ASSERT_EQ(save(8), (std::vector<std::string>{"progress 0", "completed 0 pass"}));
    expectImage(QStringLiteral("%1/N/N_TAG.tif").arg(kDestination), canvas, metadata);
}

TEST_F(SaveJob, MetadataTextOfBothModes)
{
    SavingThread job;
    QString date = "08 Dec 2026 14:03:22";
    job.set_date(date);
    totalMode();
    EXPECT_EQ(job.createMetaData("N_TAG.tif").toUtf8(), fixture("metadata_total.txt"));
    viabilityMode();
    EXPECT_EQ(job.createMetaData("N_RAW.tif").toUtf8(), fixture("metadata_viability.txt"));
    EXPECT_FALSE(job.createMetaData("x").contains("Instrument"));

    // A calibration file without its low exposure byte keeps what there is.
    root.writeFile("/opt/KOVA3/conf/Calibration_CUS.ini", "[1280]\n0x3501=0x01\n");
    EXPECT_TRUE(job.createMetaData("x").contains(",Calibration value=0x012A 0x01,"));
}

TEST_F(SaveJob, ResultCsvOfBothModes)
{
    totalMode();
    ASSERT_EQ(save(1), (std::vector<std::string>{"progress 3", "completed 3 pass"}));
    EXPECT_EQ(root.readFile(QStringLiteral("%1/N/N.csv").arg(kDestination)), fixture("result_total.csv"));

    viabilityMode();
    ASSERT_EQ(save(1), (std::vector<std::string>{"progress 3", "completed 3 pass"}));
    EXPECT_EQ(root.readFile(QStringLiteral("%1/N/N.csv").arg(kDestination)), fixture("result_viability.csv"));
}

TEST_F(SaveJob, ResultCsvEdgeValues)
{
    viabilityMode();
    theApp.m_CountResult.total_cell = 0;
    theApp.m_CountResult.average_cell_size = std::numeric_limits<float>::quiet_NaN();
    theApp.m_Counted_Viability_Protocol.gating_min_size = -1;
    theApp.m_Counted_Viability_Protocol.gating_max_size = 40;
    theApp.m_nAutofocusOffset = 7;
    theApp.m_nSlideType = 3;
    count->engine().setObjects({});
    ASSERT_EQ(save(1), (std::vector<std::string>{"progress 3", "completed 3 pass"}));
    const QByteArray csv = root.readFile(QStringLiteral("%1/N/N.csv").arg(kDestination));
    for (const char* expected : {"\nViability,0.0%\n", "\nAvg. size,0.0 um\n", "\nSize gating,-1 \xe2\x89\xa4 x < 40 um\n",
                                 "\nAutofocus offset, 2\n", "\nSlide type,2 channel slide\n",
                                 "Classification,Gating\n\nGraph\n"})
        EXPECT_TRUE(csv.contains(expected)) << expected;
}

// The dialog must learn that an output is missing; the next outputs still run.
TEST_F(SaveJob, OutcomeIsReportedAsItIs)
{
    totalMode();
    EXPECT_EQ(save(9, "/KOVA/anonymous/missing-folder"),
              (std::vector<std::string>{"progress 0", "completed 0 fail", "completed 3 fail"}));

    theApp.m_pCellCounter = nullptr;  // nothing counted yet: no frame to save
    EXPECT_EQ(save(14), (std::vector<std::string>{"progress 0", "completed 0 fail", "progress 1", "completed 1 fail",
                                                  "progress 2", "completed 2 fail"}));
    EXPECT_FALSE(QFileInfo::exists(path("N_TAG.tif")));
    EXPECT_FALSE(QFileInfo::exists(path("N.pdf")));

    SavingThread unknown;
    bool reported = true;
    QObject::connect(&unknown, &SavingThread::signalSaveCompleted, [&](int kind, bool pass) {
        EXPECT_EQ(kind, 7);
        reported = pass;
    });
    unknown.setType(7);
    unknown.run();
    EXPECT_FALSE(reported);

    theApp.m_pCellCounter = &count->engine();
    // A CSV file that could not be committed never reports its progress.
    EXPECT_TRUE(runOnFullDisk(512, [&] { return save(1) == std::vector<std::string>{"completed 3 fail"}; }));
    EXPECT_FALSE(QFileInfo::exists(path("N.csv")));
    EXPECT_FALSE(runOnFullDisk(64 * 1024, [&] { return save(8).back() == "completed 0 pass"; }));
    EXPECT_FALSE(QFileInfo::exists(path("N_TAG.tif")));

    // A counted image but no logo or report font in the installation: one notice, no report.
    EXPECT_EQ(save(2), (std::vector<std::string>{"report error notice", "progress 2", "completed 2 fail"}));
    EXPECT_FALSE(QFileInfo::exists(path("N.pdf")));
}

// A stick pulled as the CSV file is put in place: the save says it failed.
TEST_F(SaveJob, ACsvFileThatCannotBePutInPlaceFails)
{
    totalMode();
    platform::saveFileSeams().atCommit = [&](const QString&) { QDir(path("")).removeRecursively(); };
    const std::vector<std::string> events = save(1);
    platform::saveFileSeams() = {};
    EXPECT_EQ(events, std::vector<std::string>{"completed 3 fail"});
    EXPECT_FALSE(QDir(path("")).exists());
}

// Links standing at the names of a result's files (planted on a stick):
// each file is written as a file of its own, never where a link leads.
TEST_F(SaveJob, LinksAtTheNamesOfTheFilesAreNeverWrittenThrough)
{
    viabilityMode();
    for (const char* name : {"N_TAG.tif", "N_RAW.tif.part", "N.csv"})
        ASSERT_TRUE(QFile::link(root.path("/outside/") + name, path(name)));
    EXPECT_EQ(save(13), (std::vector<std::string>{"progress 0", "completed 0 pass", "progress 1", "completed 1 pass",
                                                  "progress 3", "completed 3 pass"}));
    for (const char* name : {"N_TAG.tif", "N_RAW.tif", "N.csv"})
        EXPECT_TRUE(QFileInfo(path(name)).isFile() && !QFileInfo(path(name)).isSymLink()) << name;
    EXPECT_FALSE(QFileInfo::exists(root.path("/outside")));
}

// The destination slot sets what setDestination sets.
TEST_F(SaveJob, ReceivedSavingInfoIsTheDestination)
{
    totalMode();
    root.writeFile("/KOVA/anonymous/other/M/.keep", "");
    SavingThread job;
    job.setType(SavingThread::CsvFile);
    job.ReceiveSavingInfo("/KOVA/anonymous/other", "M", 7);
    job.run();
    EXPECT_TRUE(root.readFile("/KOVA/anonymous/other/M/M.csv").contains("File name,M.csv"));
}

// The job's own scale bar is the application's bar, drawn the same way; it
// follows the application's switch and only draws, never paints, by itself.
TEST_F(SaveJob, OwnScaleBarIsDrawnAsTheApplicationDrawsIt)
{
    const auto painted = [](auto& owner) {
        cv::Mat canvas(kRows, kCols, CV_8UC3, cv::Scalar::all(0));
        owner.paintScaleBar(canvas);
        return canvas;
    };
    for (bool black : {false, true}) {
        SCOPED_TRACE(black);
        theApp.m_SaveReview.m_bEnableScaleBar = false;
        SavingThread job;
        job.prepareScalebar(black);
        EXPECT_EQ(cv::countNonZero(painted(job).reshape(1)), 0) << "no bar while the switch is off";

        theApp.m_SaveReview.m_bEnableScaleBar = true;
        job.prepareScalebar(black);
        KovaCoreApp app;
        app.m_fLensMagnification = theApp.m_fLensMagnification;
        const int c = black ? 0 : 255;
        ASSERT_TRUE(app.createScaleBar(1.4f / 1.431f, 100.0f, c, c, c));
        const cv::Mat own = painted(job);
        EXPECT_EQ(cv::norm(own, painted(app), cv::NORM_INF), 0.0);
        if (!black) {
            EXPECT_GT(cv::countNonZero(own.reshape(1)), 1000);
        }
    }
    SavingThread job;
    EXPECT_FALSE(job.createScaleBar(0.0f, 100.0f, 1, 2, 3));
    EXPECT_FALSE(job.createScaleBar(0.01f, 100.0f, 1, 2, 3));  // wider than the image
    EXPECT_TRUE(job.createScaleBar(1.0f, 100.0f, 1, 2, 3));
}

// The older one-page report, read by the host's PDF tools.
TEST_F(SaveJob, OnePageReportIsAPdfOfOneA4Page)
{
    ASSERT_TRUE(sim::installReportResources(root.root()));
    totalMode();
    theApp.m_SaveReview.m_bEnableScaleBar = true;  // not drawn on this report
    SavingThread job;
    int progress = -1;
    QObject::connect(&job, &SavingThread::signalSaveCompleted_Progress, [&](int kind) { progress = kind; });
    QString date = "08 Dec 2026 14:03:22";
    job.setDestination(kDestination, "N");
    job.set_date(date);
    ASSERT_TRUE(job.savingReport());
    EXPECT_EQ(progress, SavingThread::Report);

    const auto info = runHostTool("pdfinfo", {path("N.pdf")});
    ASSERT_TRUE(info.succeeded()) << info.standardError.toStdString();
    const QString text = QString::fromUtf8(info.standardOutput);
    EXPECT_TRUE(QRegExp("Pages:\\s+1\\n").indexIn(text) >= 0) << text.toStdString();
    EXPECT_TRUE(text.contains("595.276 x 841.89 pts (A4)")) << text.toStdString();
    const QString page = pageText(path("N.pdf"), 1);
    EXPECT_TRUE(page.contains(QStringLiteral("Toatl cell number : %1").arg(theApp.m_CountResult.total_cell)))
        << page.toStdString();
    EXPECT_TRUE(page.contains(date));
}

// A page as the two-page report begins one: the background over the whole
// A4 page and the logo in its lower right corner.
TEST_F(SaveJob, PreparedPageCarriesBackgroundAndLogo)
{
    QImage logo(64, 64, QImage::Format_RGB888);
    logo.fill(Qt::red);
    QDir().mkpath(root.path("/opt/KOVA3/conf/Logo"));
    ASSERT_TRUE(logo.save(root.path("/opt/KOVA3/conf/Logo/icon_default.png")));
    QImage background(248, 351, QImage::Format_RGB888);
    background.fill(Qt::green);

    PdfErrors errors;
    HPDF_Doc doc = HPDF_New(WhenHaruGotError, &errors);
    HPDF_Page page = SavingThread::prepareNewPDFPage(doc, 2480, 3508, background);
    ASSERT_TRUE(page);
    EXPECT_NEAR(HPDF_Page_GetWidth(page), 595.276, 0.01);
    const QString file = root.path("/page.pdf");
    ASSERT_EQ(HPDF_SaveToFile(doc, QFile::encodeName(file).constData()), HPDF_OK);
    HPDF_Free(doc);
    EXPECT_FALSE(errors.failed()) << errors.errorString().toStdString();

    const QString prefix = root.path("/page");
    ASSERT_TRUE(runHostTool("pdftoppm", {"-r", "72", "-png", file, prefix}).succeeded());
    const QImage shown(prefix + "-1.png");
    ASSERT_GE(shown.width(), 595);
    ASSERT_GE(shown.height(), 842);
    // The logo spans (2227, 48) to (2387, 208) in units of 0.24 point.
    const struct { QPoint at; QColor colour; } samples[] = {
        {{2, 2}, Qt::green}, {{590, 400}, Qt::green}, {{4, 838}, Qt::green}, {{575, 820}, Qt::green},
        {{537, 828}, Qt::red}, {{571, 794}, Qt::red}, {{553, 812}, Qt::red},
    };
    for (const auto& s : samples) {
        const QColor c = shown.pixelColor(s.at);
        EXPECT_LT(std::abs(c.red() - s.colour.red()) + std::abs(c.green() - s.colour.green()), 60)
            << s.at.x() << "," << s.at.y();
    }
    if (HasFailure() && shown.save("prepared-page.png"))
        ADD_FAILURE() << "the rendered page: prepared-page.png";
}

TEST(SavingThreadHelpers, ConcentrationSplitForPrinting)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct { double value; QString mantissa, exponent; } cases[] = {
        {2.35e+06, "2.35", "6"}, {-2.35e+06, "-2.35", "6"}, {9.999e+06, "1.00", "7"}, {1.0, "1.00", "0"},
        {1.5e-03, "0.0015", ""}, {-4.2e-05, "-4.2e-05", ""}, {nan, "nan", ""}, {inf, "inf", ""}, {-inf, "-inf", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SavingThread::separate_convalue(c.value), (QStringList{c.mantissa, c.exponent})) << c.value;
}

TEST(SavingThreadHelpers, GatingColumnRoundingAndZoom)
{
    for (const auto& c : std::vector<std::pair<int, QString>>{{1, "Y"}, {0, "N"}, {-1, ""}, {2, ""}})
        EXPECT_EQ(SavingThread::get_sizeGating2(c.first), c.second) << c.first;

    const struct { float value, scale, expected; } rounding[] = {
        {2.345f, 100, 2.35f}, {-2.345f, 100, -2.35f}, {2.344f, 100, 2.34f}, {0.5f, 1, 1.0f}, {-0.5f, 1, -1.0f}, {0, 100, 0},
    };
    for (const auto& c : rounding)
        EXPECT_EQ(round2(c.value, c.scale), c.expected) << c.value;

    // Each pixel knows where it came from: column in channel 0, row in channel 1 (scaled).
    cv::Mat source(kRows, kCols, CV_16UC2);
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kCols; ++x)
            source.at<cv::Vec2w>(y, x) = cv::Vec2w(uint16_t(x * 16), uint16_t(y * 16));
    cv::Mat zoomed;
    SavingThread::zoom_image(2, source, zoomed);
    ASSERT_EQ(zoomed.size(), cv::Size(kCols, kRows));
    EXPECT_EQ(zoomed.at<cv::Vec2w>(0, 0), cv::Vec2w(648 * 16, 486 * 16));
    const cv::Vec2w last = zoomed.at<cv::Vec2w>(kRows - 1, kCols - 1);
    EXPECT_NEAR(last[0], (648 + 1295) * 16, 16);
    EXPECT_NEAR(last[1], (486 + 971) * 16, 16);

    SavingThread::zoom_image(1, source, zoomed);
    EXPECT_EQ(cv::norm(zoomed, source, cv::NORM_INF), 0.0);

    const struct { float y0, step; int index; float expected; } lines[] = {
        {100.0f, 12.5f, 0, 100.0f}, {100.0f, 12.5f, 3, 62.5f}, {10.0f, 4.0f, 5, -10.0f}, {0.0f, -2.0f, 2, 4.0f},
    };
    for (const auto& c : lines)
        EXPECT_EQ(SavingThread::get_ypos(c.y0, c.step, c.index), c.expected) << c.index;
}
