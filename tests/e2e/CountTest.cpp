#include "InstrumentAppTest.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <functional>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <csignal>

namespace {

// The counting screen's zoom and focus buttons, its pages and gate (its
// Count and Home, and the home screen's Count, are the base fixture's).
constexpr QPoint kZoom{740, 140};
constexpr QPoint kFocusDown{138, 269};
constexpr QPoint kImagePage{100, 200};  // and back to the Result page
constexpr QPoint kHistogramPage{100, 280};
constexpr QPoint kGateRight{737, 434};
constexpr QPoint kApply{739, 334};
constexpr QPoint kTag{740, 140};
constexpr QPoint kFindCells{100, 434};
constexpr int kFocus = 32000;  // the virtual instrument's slide and calibrated centre
const QRect kImageArea(200, 80, 600, 400);
const QString kCountTitle = QStringLiteral("Count");
// The shown part correlates at 0.6 to 0.75, another part of the slide near 0.
constexpr double kSameSlide = 0.4;

// The cells of a grey picture without its lighting: the picture less its blur.
cv::Mat details(const cv::Mat& grey)
{
    cv::Mat picture, blurred;
    grey.convertTo(picture, CV_32F);
    cv::GaussianBlur(picture, blurred, cv::Size(), 6.0);
    return picture - blurred;
}

// The sharpness of a grey picture: the Brenner gradient over the picture's
// energy, so that a change of exposure does not count as one of focus.
double brenner(const cv::Mat& grey)
{
    cv::Mat picture, difference;
    grey.convertTo(picture, CV_32F);
    cv::subtract(picture.colRange(2, picture.cols), picture.colRange(0, picture.cols - 2), difference);
    return 1e4 * cv::sum(difference.mul(difference))[0] / cv::sum(picture.mul(picture))[0];
}

// Normalised correlation of the details of two grey pictures of the image
// area, without the corner under the navigator's red frame.
double correlation(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat da = details(a), db = details(b), result;
    const cv::Rect navigator(0, 0, 110, 80);
    da(navigator).setTo(0);
    db(navigator).setTo(0);
    cv::matchTemplate(da, db, result, cv::TM_CCOEFF_NORMED);
    return result.at<float>(0, 0);
}

// The real application on the virtual instrument, driven on its touch screen.
class CountTest : public InstrumentAppTest
{
protected:
    void SetUp() override { ASSERT_TRUE(instrument = startInstrument()); }

    // The application up on its home screen.
    void boot()
    {
        ASSERT_TRUE(startApp());
        ASSERT_TRUE(waitForHomeScreen());
    }

    // What the image area shows, grey, from a screenshot kept beside the test's root.
    cv::Mat imageArea(const QString& name)
    {
        const QString file = QDir(root.root()).filePath(name + QStringLiteral(".png"));
        if (!screenshot(file, kImageArea))
            return cv::Mat();
        cv::Mat grey = cv::imread(QFile::encodeName(file).toStdString(), cv::IMREAD_GRAYSCALE);
        return grey;
    }

    // The slide as the live view shows it: the 1280 × 960 frame's part `source`, scaled to the area.
    cv::Mat expectedLive(const cv::Rect& source)
    {
        const cv::Mat slide = cv::imread(QFile::encodeName(root.path("/sim/slide.png")).toStdString(),
                                         cv::IMREAD_GRAYSCALE);
        if (slide.empty())
            return slide;
        cv::Mat frame, part;
        cv::resize(slide, frame, cv::Size(1280, 960), 0, 0, cv::INTER_AREA);
        cv::resize(frame(source), part, cv::Size(kImageArea.width(), kImageArea.height()), 0, 0, cv::INTER_AREA);
        return part;
    }

    // The live picture matches the slide's part: not blank, and the cells where the slide has them.
    // Screenshots of the image area until one shows what `wanted` looks for (kept in `shown`).
    bool waitForPicture(const QString& name, cv::Mat& shown, const std::function<bool(const cv::Mat&)>& wanted)
    {
        return QTest::qWaitFor(
            [&] {
                shown = imageArea(name);
                return !shown.empty() && wanted(shown);
            },
            kTimeoutMs);
    }

    // The stage position in the simulated microcontroller's state file; -1 when unknown.
    int stagePosition()
    {
        for (const QByteArray& line : root.readFile(QStringLiteral("/run/kova-sim/state")).split('\n'))
            if (line.startsWith("position="))
                return line.mid(9).toInt();
        return -1;
    }

    // The command frames the microcontroller received, oldest first.
    QList<QByteArray> framesReceived() { return root.readFile(QStringLiteral("/run/kova-sim/frames")).split('\n'); }

    // Waits until a frame starting with `prefix` came after the first `after` frames;
    // its index, or -1.
    int waitForFrame(const QByteArray& prefix, int after)
    {
        int found = -1;
        const bool came = QTest::qWaitFor(
            [&] {
                const QList<QByteArray> frames = framesReceived();
                for (int i = after; i < frames.size() && found < 0; ++i)
                    if (frames[i].startsWith(prefix))
                        found = i;
                return found >= 0;
            },
            kTimeoutMs);
        return came ? found : -1;
    }

    // The stage position the application's link tracks, as its log last said; -1 before any.
    int trackedPosition()
    {
        const QByteArray log = output(*app);
        const QByteArray key = "m_current_pos";
        const int at = log.lastIndexOf(key);
        if (at < 0)
            return -1;
        // "After MVP, m_current_pos: 32000" or "---> m_current_pos : 32000".
        const QByteArray rest = log.mid(at + key.size()).trimmed();
        return rest.startsWith(':') ? rest.mid(1).trimmed().split('\n').value(0).trimmed().toInt() : -1;
    }

    // SIGUSR2 to the virtual instrument: its microcontroller restarts (the stage homed).
    void restartMicrocontroller() { ASSERT_EQ(::kill(pid_t(instrument->processId()), SIGUSR2), 0); }

    QProcess* instrument = nullptr;

    void expectARestartVoidsTheCount(const QByteArray& settings,
                                     const std::function<void(int beforeCount)>& restartDuringTheCount);

    void expectLiveShows(const QString& name, const cv::Rect& source)
    {
        // Frames keep coming: the picture is checked once it has settled on the slide.
        cv::Mat shown;
        const cv::Mat expected = expectedLive(source);
        ASSERT_FALSE(expected.empty());
        double best = -1.0;
        for (int attempt = 0; attempt < 20 && best < kSameSlide; ++attempt) {
            shown = imageArea(name);
            ASSERT_FALSE(shown.empty()) << "no screenshot";
            best = std::max(best, correlation(shown, expected));
        }
        cv::Scalar mean, deviation;
        cv::meanStdDev(shown, mean, deviation);
        EXPECT_GT(deviation[0], 4.0) << name.toStdString() << ": not blank";
        EXPECT_GT(best, kSameSlide) << name.toStdString() << ": shows the slide (screenshot in " << root.root().toStdString()
                             << ")";
    }
};

TEST_F(CountTest, CountShowsTheLiveSlideWhichZoomsAndHomeReturnsAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(boot());
    ASSERT_TRUE(touch(kHomeCount));
    ASSERT_TRUE(waitForWindow(kCountTitle)) << output(*app).toStdString();
    expectLiveShows(QStringLiteral("live-1x"), cv::Rect(21, 41, 1200, 800));

    ASSERT_TRUE(touch(kZoom));
    expectLiveShows(QStringLiteral("live-2x"), cv::Rect(341, 281, 600, 400));
    ASSERT_TRUE(touch(kZoom));
    expectLiveShows(QStringLiteral("live-4x"), cv::Rect(494, 380, 298, 199));
    ASSERT_TRUE(touch(kZoom));
    expectLiveShows(QStringLiteral("live-back-1x"), cv::Rect(21, 41, 1200, 800));

    ASSERT_TRUE(touch(kCountHome));
    EXPECT_TRUE(waitForNoWindow(kCountTitle));
    EXPECT_TRUE(windows(QStringLiteral("Dialog")).isEmpty()) << "no question from the Count page";
    EXPECT_FALSE(windows(QStringLiteral("KOVA3")).isEmpty());

    // And Count works again.
    ASSERT_TRUE(touch(kHomeCount));
    EXPECT_TRUE(waitForWindow(kCountTitle)) << output(*app).toStdString();
}

TEST_F(CountTest, FocusButtonsMoveTheStageAndFindCellsMakesTheLiveSlideSharp)
{
    ASSERT_NO_FATAL_FAILURE(boot());
    ASSERT_TRUE(touch(kHomeCount));
    ASSERT_TRUE(waitForWindow(kCountTitle)) << output(*app).toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stagePosition() == kFocus; }, kTimeoutMs));
    // At 2x a picture pixel is a screen pixel: the blur shows undiminished.
    ASSERT_TRUE(touch(kZoom));
    cv::Mat start;
    const cv::Mat twice = expectedLive(cv::Rect(341, 281, 600, 400));
    ASSERT_TRUE(waitForPicture(QStringLiteral("focus"), start,
                               [&](const cv::Mat& shown) { return correlation(shown, twice) > kSameSlide; }));
    const double atFocus = brenner(start);

    constexpr int kPresses = 12;
    for (int press = 1; press <= kPresses; ++press) {
        ASSERT_TRUE(touch(kFocusDown));
        ASSERT_TRUE(QTest::qWaitFor([&] { return stagePosition() == kFocus - 256 * press; }, kTimeoutMs))
            << "press " << press << ": at " << stagePosition();
    }
    cv::Mat blurred;
    ASSERT_TRUE(waitForPicture(QStringLiteral("defocused"), blurred,
                               [&](const cv::Mat& shown) { return brenner(shown) < atFocus / 2; }))
        << "the live slide blurs: " << brenner(blurred) << " against " << atFocus << " at focus";

    ASSERT_TRUE(touch(kFindCells));
    ASSERT_TRUE(waitForOutput(*app, "autofocus ms")) << "the run ended";
    EXPECT_LE(std::abs(stagePosition() - kFocus), 512);
    cv::Mat sharp;
    EXPECT_TRUE(waitForPicture(QStringLiteral("found"), sharp,
                               [&](const cv::Mat& shown) { return brenner(shown) > 0.8 * atFocus; }))
        << "the live slide is sharp again: " << brenner(sharp) << " against " << atFocus << " at the start";
    EXPECT_TRUE(QFile::exists(root.path(QStringLiteral("/opt/KOVA3/conf/AutoExposure.ini"))));
}

// The slide's truth as kova-instrument wrote it: its cells and the live ones.
struct Truth
{
    int cells = 0;
    int live = 0;
};

Truth readTruth(const QByteArray& csv)
{
    Truth truth;
    const QList<QByteArray> lines = csv.trimmed().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        ++truth.cells;
        truth.live += lines[i].split(',').value(5) == "1";
    }
    return truth;
}

TEST_F(CountTest, ACountMatchesTheSlideAndItsRowOutlivesTheProgram)
{
    // Viability counting, the DEFAULT protocol.
    root.writeFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"), "[Cell counting]\nCounting mode=1\n");
    ASSERT_NO_FATAL_FAILURE(boot());
    const Truth truth = readTruth(root.readFile(QStringLiteral("/sim/slide-truth.csv")));
    ASSERT_GT(truth.cells, 100);
    const QString master = QStringLiteral("/opt/KOVA3/log/PreviousCount_BF_CellCountingViability.csv");
    const QString copy = QStringLiteral("/KOVA/anonymous/CELL_COUNTING_VIABILITY/PreviousCount_BF_CellCountingViability.csv");

    ASSERT_TRUE(touch(kHomeCount));
    ASSERT_TRUE(waitForWindow(kCountTitle)) << output(*app).toStdString();
    ASSERT_TRUE(touch(kCountKey));
    ASSERT_TRUE(QTest::qWaitFor([&] { return root.readFile(master).split('\n').size() == 2; }, kTimeoutMs))
        << output(*app).toStdString();
    EXPECT_TRUE(waitForOutput(*app, "Finish Count ALL"));
    EXPECT_TRUE(screenshot(artefact(QStringLiteral("result-page.png"))));
    ASSERT_TRUE(touch(kImagePage));
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenshot(artefact(QStringLiteral("image-page.png"))); }, kTimeoutMs));

    // User, file, date, total, number, live, number, dead, number, viability, size, protocol.
    const QByteArray row = root.readFile(master).split('\n').value(1);
    const QList<QByteArray> fields = row.split(',');
    ASSERT_EQ(fields.size(), 12) << row.toStdString();
    const int counted = fields[4].toInt();
    EXPECT_NEAR(counted, truth.cells, 0.05 * truth.cells) << row.toStdString();
    EXPECT_NEAR(fields[9].toDouble(), 100.0 * truth.live / truth.cells, 5.0) << row.toStdString();
    EXPECT_EQ(fields[11], "DEFAULT");
    EXPECT_EQ(root.readFile(copy).split('\n').value(1), row) << "the newest-first copy";

    // Home (asking first), power off, start again: the row is still there.
    ASSERT_TRUE(touchThenDialogs(kCountHome, 1));
    ASSERT_TRUE(touch(kMessageOk));
    ASSERT_TRUE(waitForNoWindow(kCountTitle));
    ASSERT_TRUE(powerOffFromHome());
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    EXPECT_EQ(root.readFile(master).split('\n').value(1), row);
    EXPECT_EQ(root.readFile(copy).split('\n').value(1), row);
}

// The pixels of a screenshot in the rings' colour of total counting.
int ringPixels(const QString& file)
{
    const cv::Mat bgr = cv::imread(QFile::encodeName(file).toStdString(), cv::IMREAD_COLOR);
    cv::Mat ring;
    cv::inRange(bgr, cv::Scalar(0, 110, 235), cv::Scalar(20, 145, 255), ring);
    return cv::countNonZero(ring);
}

// The cell sizes of the objects in a saved per-result CSV.
std::vector<double> objectSizes(const QByteArray& csv)
{
    std::vector<double> sizes;
    bool objects = false;
    for (const QByteArray& line : csv.split('\n')) {
        if (line.startsWith("Object number,")) {
            objects = true;
        } else if (objects) {
            if (line.trimmed().isEmpty())
                break;
            sizes.push_back(line.split(',').value(3).toDouble());
        }
    }
    return sizes;
}

TEST_F(CountTest, TheGateAppliedCountsTheSavedObjectsWithinItAndTagShowsTheRings)
{
    // Each count saved at once, under the automatic name "KOVA3_00001".
    root.writeFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"), "[Save Review]\nSave type=Auto\n");
    ASSERT_NO_FATAL_FAILURE(boot());
    const QString master = QStringLiteral("/opt/KOVA3/log/PreviousCount_BF_TotalCellCounting.csv");
    ASSERT_TRUE(touch(kHomeCount));
    ASSERT_TRUE(waitForWindow(kCountTitle)) << output(*app).toStdString();
    ASSERT_TRUE(touch(kCountKey));
    ASSERT_TRUE(waitForOutput(*app, "save run")) << output(*app).toStdString();
    ASSERT_TRUE(touchThenDialogs(kMessageOnlyOk, 0)) << "the save's notice closed";
    const int counted = root.readFile(master).split('\n').value(1).split(',').value(4).toInt();
    const std::vector<double> sizes =
        objectSizes(root.readFile(QStringLiteral("/KOVA/anonymous/TOTAL_CELL_COUNTING/KOVA3_00001/KOVA3_00001.csv")));
    ASSERT_EQ(int(sizes.size()), counted) << "the open gate counts every object";

    // The lower gate up by 10 µm: from the open 1 … 181 to 11 … 90.
    ASSERT_TRUE(touch(kHistogramPage));
    EXPECT_TRUE(screenshot(artefact(QStringLiteral("histogram-page.png"))));
    for (int step = 0; step < 10; ++step)
        ASSERT_TRUE(touch(kGateRight));
    ASSERT_TRUE(touch(kApply));
    ASSERT_TRUE(waitForOutput(*app, "gated 11 90 :")) << output(*app).right(2000).toStdString();
    const QByteArray log = output(*app);
    const int gated = log.mid(log.indexOf("gated 11 90 :") + 13).trimmed().split(' ').value(0).toInt();
    const int below = int(std::count_if(sizes.begin(), sizes.end(), [](double size) { return size < 11.0; }));
    const int above = int(std::count_if(sizes.begin(), sizes.end(), [](double size) { return size >= 90.0; }));
    EXPECT_GT(below, 0);
    EXPECT_EQ(gated, counted - below - above);
    EXPECT_EQ(root.readFile(master).split('\n').value(1).split(',').value(4).toInt(), counted)
        << "the previous count stays as it was made";

    // The Image page, then the Result page filled anew.
    ASSERT_TRUE(touch(kImagePage));
    const QString plain = artefact(QStringLiteral("image-plain.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return screenshot(plain, kImageArea); }, kTimeoutMs));
    ASSERT_TRUE(touch(kTag));
    const QString tagged = artefact(QStringLiteral("image-tagged.png"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenshot(tagged, kImageArea) && ringPixels(tagged) > 50; }, kTimeoutMs))
        << "rings on the tagged image";
    EXPECT_EQ(ringPixels(plain), 0);
    ASSERT_TRUE(touch(kTag));
    const QString again = artefact(QStringLiteral("image-untagged.png"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenshot(again, kImageArea) && ringPixels(again) == 0; }, kTimeoutMs))
        << "no rings again";
    ASSERT_TRUE(touch(kImagePage));
    EXPECT_TRUE(screenshot(artefact(QStringLiteral("result-page-gated.png"))));
}


// A restart of the microcontroller during a count darkens the LED and homes
// the stage under it. The count went on in the dark, and its empty result
// was shown, saved and added to the previous counts. It yields nothing now:
// once the restart has been handled (the LED lit again, the stage back where
// the program keeps it), message 48, then the live view; nothing saved, no
// previous count. A second restart with nothing running brings the stage
// back there too. `settings` are KOVA3.ini's; `restartDuringTheCount` sends
// the restart at its moment, given the frames received before the count.
void CountTest::expectARestartVoidsTheCount(const QByteArray& settings,
                                            const std::function<void(int beforeCount)>& restartDuringTheCount)
{
    // Each count saved at once.
    root.writeFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"), "[Save Review]\nSave type=Auto\n" + settings);
    ASSERT_NO_FATAL_FAILURE(boot());
    const QString master = QStringLiteral("/opt/KOVA3/log/PreviousCount_BF_TotalCellCounting.csv");
    ASSERT_TRUE(touch(kHomeCount));
    ASSERT_TRUE(waitForWindow(kCountTitle)) << output(*app).toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stagePosition() == kFocus; }, kTimeoutMs));
    const QByteArray previousCounts = root.readFile(master);

    const int beforeCount = framesReceived().size() - 1;
    ASSERT_TRUE(touch(kCountKey));
    ASSERT_NO_FATAL_FAILURE(restartDuringTheCount(beforeCount));

    ASSERT_TRUE(waitForOutput(*app, "type : 48", 3 * kTimeoutMs)) << output(*app).right(3000).toStdString();
    const QList<QByteArray> atMessage = framesReceived();
    EXPECT_TRUE(std::any_of(atMessage.begin() + beforeCount, atMessage.end(),
                            [](const QByteArray& frame) { return frame.startsWith("$,LED4,BRT,"); }))
        << "the message came before the restart was handled";
    EXPECT_TRUE(screenshot(artefact(QStringLiteral("restart-message.png"))));
    const int liveViews = output(*app).count("CountDlg::startCamera");
    ASSERT_TRUE(touch(kMessageOnlyOk));
    ASSERT_TRUE(QTest::qWaitFor([&] { return output(*app).count("CountDlg::startCamera") > liveViews; }, kTimeoutMs))
        << "no live view after the message";

    EXPECT_FALSE(output(*app).contains("save run")) << "the count was saved";
    EXPECT_FALSE(QDir(root.path(QStringLiteral("/KOVA/anonymous/TOTAL_CELL_COUNTING/KOVA3_00001"))).exists());
    EXPECT_EQ(root.readFile(master), previousCounts) << "a previous count was added";
    const int kept = trackedPosition();
    EXPECT_TRUE(QTest::qWaitFor([&] { return stagePosition() == kept; }, kTimeoutMs))
        << "the stage at " << stagePosition() << ", the link tracks " << kept;

    const int beforeRestart = framesReceived().size() - 1;
    ASSERT_NO_FATAL_FAILURE(restartMicrocontroller());
    ASSERT_GE(waitForFrame("$,STM1,GET_POS,", beforeRestart), 0) << "the restart was not handled";
    EXPECT_TRUE(QTest::qWaitFor([&] { return stagePosition() == kept && trackedPosition() == kept; }, kTimeoutMs))
        << "the stage at " << stagePosition() << ", the link tracks " << trackedPosition() << ", kept " << kept
        << "; frames since: " << framesReceived().mid(beforeRestart).join(' ').toStdString();
}

// Autofocused counting (the default): the restart as the autofocus makes its
// first move, from the centre to its first stop, 3584 steps below.
TEST_F(CountTest, ARestartDuringTheAutofocusOfACountEndsItWithMessage48AndKeepsNothing)
{
    expectARestartVoidsTheCount({}, [this](int beforeCount) {
        const int firstMove = waitForFrame("$,STM1,MVN,3584,", beforeCount);
        ASSERT_GE(firstMove, 0) << output(*app).right(3000).toStdString();
        ASSERT_NO_FATAL_FAILURE(restartMicrocontroller());
    });
}

// A plain count: the restart as the worker starts to capture.
TEST_F(CountTest, ARestartDuringTheCaptureOfACountEndsItWithMessage48AndKeepsNothing)
{
    expectARestartVoidsTheCount("[Cell counting]\nAutofocused counting=Off\n", [this](int) {
        ASSERT_TRUE(waitForOutput(*app, "Cell counting start")) << output(*app).right(3000).toStdString();
        ASSERT_NO_FATAL_FAILURE(restartMicrocontroller());
    });
}

}  // namespace
