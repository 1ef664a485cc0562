#include "VerifierAppTest.h"

#include <QSettings>
#include <QTest>

namespace {

const QString kSettings = QStringLiteral("/opt/KOVA3/conf/KOVA3.ini");

// Form places on the STAGE page and the top bar.
const QRect kPosition(15, 39, 65, 30);
const QRect kSetReference(15, 109, 65, 30);
const QRect kStepUp(100, 260, 40, 30);
const QPoint kConnect(700, 15);
const QPoint kSave(740, 15);
const QPoint kExit(780, 15);

// The mean brightness of an image.
double meanLevel(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            sum += qGray(image.pixel(x, y));
    return sum / ((image.height() / 4) * (image.width() / 4));
}

class VerifierTest : public VerifierAppTest
{
protected:
    void start(const QByteArray& settings)
    {
        ASSERT_TRUE(startInstrument());
        root.writeFile(kSettings, settings);
        ASSERT_TRUE(startVerifier());
    }

    bool stateIs(int position, int brightness)
    {
        return QTest::qWaitFor([&] {
            const McuState state = instrumentState();
            return state.position == position && state.brightness == brightness;
        }, kTimeoutMs);
    }
};

}  // namespace

// Without Zig mode: the live slide, the stage at the reference; two steps up
// become the reference, saved; Exit rests the hardware and ends with 0.
TEST_F(VerifierTest, StageReferenceSavedAndHardwareRestedOnExit)
{
    ASSERT_NO_FATAL_FAILURE(start("[KOVA-III]\nZig%20mode=Off\n[Calibration]\nZ%20reference=30000\n"));
    ASSERT_TRUE(stateIs(30000, 225)) << output(*verifier).toStdString();
    QImage live;
    const bool shown = QTest::qWaitFor([&] { return meanLevel(live = view()) > 60; }, kTimeoutMs);
    if (!shown)
        keep(live, "VerifierTest-live");
    EXPECT_TRUE(shown) << "the live slide, not a black view";

    ASSERT_TRUE(touchTab(kStepUp));
    ASSERT_TRUE(stateIs(30256, 225));
    ASSERT_TRUE(touchTab(kStepUp));
    ASSERT_TRUE(stateIs(30512, 225));
    ASSERT_TRUE(touchTab(kPosition));
    ASSERT_TRUE(touchTab(kSetReference));
    ASSERT_TRUE(touch(onWindow(kSave.x(), kSave.y())));
    ASSERT_TRUE(answerBox(QStringLiteral("KOVA-III"), QStringLiteral("Return"))) << "INI saved !";
    const QSettings saved(root.path(kSettings), QSettings::IniFormat);
    EXPECT_EQ(saved.value("Calibration/Z reference").toInt(), 30512);
    EXPECT_EQ(saved.value("Calibration/Z ref 2ch").toInt(), 30512 + 2560);
    EXPECT_EQ(saved.value("Software/Version QC").toString(), "0.0.2");
    EXPECT_EQ(root.readFile(QStringLiteral("/root/Kova2/Kova2.ini")), "[Z stage]\nSpeed=250\nStep=256\n");

    ASSERT_TRUE(touch(onWindow(kExit.x(), kExit.y())));
    ASSERT_TRUE(answerBox(QStringLiteral("KOVA-III"), QStringLiteral("alt+y"))) << "Are you sure quit ?";
    ASSERT_TRUE(verifier->waitForFinished(kTimeoutMs));
    EXPECT_EQ(verifier->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(verifier->exitCode(), 0);
    const McuState rested = instrumentState();
    EXPECT_FALSE(rested.ledOn);
    EXPECT_EQ(rested.position, 0);
}

// Zig mode (the default): nothing reaches the microcontroller until Connect,
// which turns "O" and takes the stage to the reference.
TEST_F(VerifierTest, ZigModeConnectsOnlyOnConnect)
{
    ASSERT_NO_FATAL_FAILURE(start("[Calibration]\nZ%20reference=30000\n"));
    // The window is shown once it is built: whatever it sends unasked is sent by then.
    const McuState untouched = instrumentState();
    EXPECT_EQ(untouched.position, 32000);
    EXPECT_EQ(untouched.brightness, 0);

    ASSERT_TRUE(touch(onWindow(kConnect.x(), kConnect.y())));
    ASSERT_TRUE(stateIs(30000, 225)) << output(*verifier).toStdString();
    const QRect button(onWindow(kConnect.x() - 15, 5), QSize(30, 20));
    QImage top;
    const bool highlighted = QTest::qWaitFor([&] {
        screenshot(root.path(QStringLiteral("/connect.png")), button);
        top = QImage(root.path(QStringLiteral("/connect.png")));
        const QColor face = top.pixelColor(15, 10);  // the highlight, as the style shades it
        return face.blue() > 200 && face.red() < 160;
    }, kTimeoutMs);
    if (!highlighted)
        keep(top, "VerifierTest-connect");
    EXPECT_TRUE(highlighted) << "Connect shows \"O\" in the highlight";
    EXPECT_TRUE(QTest::qWaitFor([&] { return meanLevel(view()) > 60; }, kTimeoutMs)) << "the LED lights the slide";
}
