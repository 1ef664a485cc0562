#include "VerifierWindowFixture.h"

#include "CameraTestSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <functional>

using verifier::AutoFocusingData_s;

namespace {

constexpr int kReference = 30000;

const cv::Mat& slideImage()
{
    static const cv::Mat rgb = previewSlide(400);
    return rgb;
}

// The window at 1280 × 960 over a slide, connected, the stage at the
// reference; runs the autofocus and follows it.
class VerifierAutofocusTest : public VerifierWindowTest
{
protected:
    void openOnSlide(int focus)
    {
        writeReferenceCalibration();
        ASSERT_TRUE(showSlide(slideImage(), focus));
        open("[KOVA-III]\nZig%20mode=Off\n[Calibration]\nZ%20reference=30000\n");
        ASSERT_EQ(mcu.state().position, kReference);
        QObject::connect(widget<QProgressBar>("PROGRESS_AUTOFOCUS"), &QProgressBar::valueChanged,
                [this](int value) { bar.push_back(value); });
    }

    // Runs one autofocus and waits for its end (its box is answered OK).
    void run()
    {
        boxes.plan(QMessageBox::Ok);
        widget<QPushButton>("BUTTON_AUTOFOCUS")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->autofocusRunning() && boxes.allPlannedAnswered(); },
                                    60000));
    }

    // The message panel's lines.
    QStringList panel() const
    {
        return window->findChild<QPlainTextEdit*>("PLAIN_DEBUG_MESSAGE")->toPlainText().split('\n');
    }

    std::vector<int> positions() const
    {
        std::vector<int> result;
        for (const AutoFocusingData_s& sample : window->autofocusRecord(1))
            result.push_back(sample.position);
        return result;
    }

    static std::vector<int> sweep(int reference)
    {
        std::vector<int> expected;
        for (int k = 0; k < 15; ++k)
            expected.push_back(reference - 3840 + 640 * k);
        return expected;
    }

    std::vector<int> bar;
};

}  // namespace

// 15 samples from the reference - 3840 to + 5120; the sharpest is chosen and
// the stage ends there; the progress, the position lines and the review.
TEST_F(VerifierAutofocusTest, FindsTheSharpestSampleAndEndsThere)
{
    ASSERT_NO_FATAL_FAILURE(openOnSlide(kReference + 1280));
    ASSERT_NO_FATAL_FAILURE(run());
    EXPECT_EQ(boxes.lastText(), "Finish AutoFocus !");
    EXPECT_EQ(positions(), sweep(kReference));
    EXPECT_EQ(window->autofocusBest(1), 8);
    EXPECT_EQ(mcu.state().position, kReference + 1280);
    EXPECT_EQ(widget<QLineEdit>("EDIT_Z_POSITION")->text(), "31280");
    EXPECT_TRUE(widget<QPushButton>("BUTTON_AUTOFOCUS")->isEnabled());
    EXPECT_EQ(bar, std::vector<int>({6, 13, 20, 26, 33, 40, 46, 53, 60, 66, 73, 80, 86, 93, 100}));

    const QStringList lines = panel();
    EXPECT_EQ(lines.filter(QRegularExpression("^void KOVA_II_Plus_Verifier::slot_move_z_position")).size(), 16);
    EXPECT_EQ(lines.filter("slot_progress_AutoFocusing(int)() [1] 1/15 6.66667% ").size(), 1);
    const int review = lines.indexOf(QRegularExpression("^void KOVA_II_Plus_Verifier::slot_review_AutoFocusing.*"));
    ASSERT_GE(review, 0);
    ASSERT_GE(lines.size(), review + 19);
    EXPECT_EQ(lines[review + 1], "#########################() ");
    EXPECT_EQ(lines[review + 2], "[1] best_index:() 8 ");
    const AutoFocusingData_s third = window->autofocusRecord(1)[2];
    EXPECT_EQ(lines[review + 5], QStringLiteral("[1](3) focus_value:() %1 , position: %2 ")
                                     .arg(QString::number(third.focus_value, 'g', 6))
                                     .arg(third.position));
    EXPECT_EQ(lines[review + 18], "#########################() ");
}

// The last sample sharpest: the stage stands there already, no final move.
TEST_F(VerifierAutofocusTest, TheLastSampleNeedsNoFinalMove)
{
    ASSERT_NO_FATAL_FAILURE(openOnSlide(kReference + 5120));
    ASSERT_NO_FATAL_FAILURE(run());
    EXPECT_EQ(window->autofocusBest(1), 14);
    EXPECT_EQ(mcu.state().position, kReference + 5120);
    EXPECT_EQ(panel().filter(QRegularExpression("^void KOVA_II_Plus_Verifier::slot_move_z_position")).size(), 15);
}

// The 2Ch slide sweeps around the reference + 2560; with Debug every frame
// and the sample list go to the stick, which Debug needs.
TEST_F(VerifierAutofocusTest, TwoChannelSlideAndRecordsOnTheStick)
{
    ASSERT_NO_FATAL_FAILURE(openOnSlide(kReference + 2560));
    widget<QCheckBox>("CHECK_DEBUG_AUTOFOCUS")->setChecked(true);
    const std::size_t before = mcu.frames().size();
    boxes.plan(QMessageBox::Ok);
    widget<QPushButton>("BUTTON_AUTOFOCUS")->click();
    EXPECT_EQ(boxes.lastText(), "Please insert USB disk !!!");
    EXPECT_FALSE(window->autofocusRunning());
    EXPECT_EQ(mcu.frames().size(), before);
    window.reset();
    link.reset();

    ASSERT_FALSE(sticks.insert(QStringLiteral("stick")).isEmpty());
    ASSERT_NO_FATAL_FAILURE(openOnSlide(kReference + 2560));
    widget<QCheckBox>("CHECK_DEBUG_AUTOFOCUS")->setChecked(true);
    widget<QRadioButton>("RADIO_2CH_SLIDE")->setChecked(true);
    ASSERT_NO_FATAL_FAILURE(run());
    EXPECT_EQ(positions(), sweep(kReference + 2560));
    EXPECT_EQ(window->autofocusBest(1), 6);

    const QDir runs(sticks.stickFolder("stick") + "/KOVA-II/Autofocus");
    ASSERT_EQ(runs.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    const QDir step(runs.filePath(runs.entryList(QDir::Dirs | QDir::NoDotAndDotDot).first() + "/Step1"));
    QStringList images;
    QByteArray csv;
    const auto& record = window->autofocusRecord(1);
    for (std::size_t i = 0; i < record.size(); ++i) {
        const QString value = QString::number(record[i].focus_value, 'g', 6);
        images << QString::asprintf("Autofocus_%02d_%d_", int(i + 1), record[i].position) + value + ".tiff";
        csv += QStringLiteral("%1,%2,%3\n").arg(i + 1).arg(record[i].position).arg(value).toLatin1();
    }
    csv += QStringLiteral("\n7,%1,%2").arg(record[6].position).arg(QString::number(record[6].focus_value, 'g', 6)).toLatin1();
    images.sort();
    EXPECT_EQ(step.entryList({"*.tiff"}, QDir::Files, QDir::Name), images);
    QFile list(step.filePath("best_focus_value.csv"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), csv);
}

// A run that cannot go on ends at once, says why and leaves the stage be:
// a lost answer, no position to end from, no frame.
TEST_F(VerifierAutofocusTest, EndsWithItsReasonWhenItCannotGoOn)
{
    ASSERT_NO_FATAL_FAILURE(openOnSlide(kReference));
    link->setTimeouts(500, 300);

    // Once the last sample is taken: the microcontroller falls silent, then
    // (next run) the final move's answer is lost.
    const auto atTheEnd = [this](std::function<void()> fault) {
        return QObject::connect(widget<QProgressBar>("PROGRESS_AUTOFOCUS"), &QProgressBar::valueChanged,
                                [fault](int value) {
                                    if (value == 100)
                                        fault();
                                });
    };
    QMetaObject::Connection silence = atTheEnd([this] { mcu.setFault(McuSimulator::Fault::Silence); });
    ASSERT_NO_FATAL_FAILURE(run());
    QObject::disconnect(silence);
    EXPECT_EQ(boxes.lastText(), "Stage position unknown: autofocus stopped !!!");
    EXPECT_EQ(mcu.state().position, kReference + 5120) << "no move from an unknown position";
    mcu.setFault(McuSimulator::Fault::None);

    QMetaObject::Connection lost = atTheEnd([this] { mcu.swallowNextMoveReply(); });
    ASSERT_NO_FATAL_FAILURE(run());
    QObject::disconnect(lost);
    EXPECT_EQ(boxes.lastText(), "The stage did not answer: autofocus stopped !!!");
    EXPECT_TRUE(widget<QPushButton>("BUTTON_AUTOFOCUS")->isEnabled());

    platform::SimulatedVideo::Faults faults;
    faults.streamOnFailure = true;
    ASSERT_TRUE(platform::SimulatedVideo::setFaults(faults));
    widget<QPushButton>("BUTTON_RESOLUTION_1280")->click();  // the camera does not open again
    ASSERT_NO_FATAL_FAILURE(run());
    EXPECT_EQ(boxes.lastText(), "No frame from the camera: autofocus stopped !!!");
    EXPECT_TRUE(window->autofocusRecord(1).empty());
}
