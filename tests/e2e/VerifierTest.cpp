#include "VerifierAppTest.h"

#include "HostTool.h"

#include <QDir>
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

namespace {

// Form places of the factory calibration.
const QRect kAutofocus(15, 320, 65, 30);
const QRect kQcCapture(80, 212, 60, 30);
const QRect kTarget(16, 212, 63, 30);
const QRect kPoint1(20, 242, 35, 30);
const QRect kPoint2(20, 272, 35, 30);
const QRect kMeasure(80, 311, 60, 30);
const QRect kMagnification(60, 341, 80, 30);
const QRect kSerialMidfix(50, 8, 40, 30);
const QRect kSerialSuffix(90, 8, 50, 30);
const QPoint kRunQc(110, 235);  // on the launcher's service panel
// The QC target's discs, in the first view of the captured frame.
const QPoint kDisc1(100, 240);
const QPoint kDisc2(530, 240);

class FactoryCalibrationTest : public VerifierTest
{
protected:
    // A QC target under the camera, sharp where the stage starts (32000).
    void layOutTarget()
    {
        QDir().mkpath(root.path("/sim"));
        const platform::CommandResult drawn = runHostTool(
            QStringLiteral(KOVA_SLIDE),
            {"--target", QStringLiteral("%1,%2;%3,%4").arg(kDisc1.x()).arg(kDisc1.y()).arg(kDisc2.x()).arg(kDisc2.y()),
             "--target-diameter", "30", root.path("/sim/slide.png")});
        ASSERT_TRUE(drawn.succeeded()) << drawn.standardError.toStdString();
    }

    bool typeInto(const QRect& field, const QString& text)
    {
        const QString window = windows(QLatin1String(kTitle)).value(0);
        return touchTab(field) && keyToWindow(window, QStringLiteral("ctrl+a")) && type(text);
    }
};

}  // namespace

// The factory calibration as a technician runs it, from the launcher's RUN
// QC: connect, autofocus, the reference saved, a QC target measured, the
// serial number saved; the launcher then shows what was saved.
TEST_F(FactoryCalibrationTest, FromTheLauncherToItsInformationPanel)
{
    ASSERT_NO_FATAL_FAILURE(layOutTarget());
    ASSERT_TRUE(startInstrument());
    ASSERT_TRUE(installVerifier());
    // The sweep's samples lie 640 apart from the reference - 3840: the slide's focus is one of them.
    root.writeFile(kSettings, "[KOVA-III]\nRunMode=QC\nZig%20mode=On\n[Calibration]\nZ%20reference=30720\n");
    QProcess* launcher = startProgram(QStringLiteral(KOVA_LOADER), {}, {"QT_LOGGING_RULES=kova.debug=true"});
    ASSERT_TRUE(launcher && waitForWindowOf(*launcher)) << (launcher ? output(*launcher).toStdString() : "");
    ASSERT_TRUE(waitForOutput(*launcher, "information:"));
    ASSERT_TRUE(touch(kRunQc));
    ASSERT_TRUE(waitForVerifier()) << output(*launcher).toStdString();

    ASSERT_TRUE(touch(onWindow(kConnect.x(), kConnect.y())));
    ASSERT_TRUE(stateIs(30720, 225)) << output(*launcher).toStdString();
    ASSERT_TRUE(touchTab(kAutofocus));
    ASSERT_TRUE(answerBox(QStringLiteral("KOVA-III"), QStringLiteral("Return"))) << "Finish AutoFocus !";
    EXPECT_EQ(instrumentState().position, 32000);
    ASSERT_TRUE(touchTab(kSetReference));
    ASSERT_TRUE(touch(onWindow(kSave.x(), kSave.y())));
    ASSERT_TRUE(answerBox(QStringLiteral("KOVA-III"), QStringLiteral("Return"))) << "INI saved !";

    ASSERT_TRUE(showTab(Tab::Qc));
    ASSERT_TRUE(touchTab(kQcCapture));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QImage shown = view();
        // The disc dark on the bright field at 1:1 (a view not drawn yet may show black).
        return !shown.isNull() && qGray(shown.pixel(kDisc1)) < 60 && qGray(shown.pixel(kDisc1 + QPoint(40, 0))) > 150;
    }, kTimeoutMs)) << "the captured target";
    ASSERT_TRUE(touchTab(kTarget));
    // Each search and the measurement run with the window disabled: the
    // next touch waits until their outcome shows.
    for (const auto& [disc, button] : {std::pair{kDisc1, kPoint1}, std::pair{kDisc2, kPoint2}}) {
        ASSERT_TRUE(touch(onWindow(disc.x(), disc.y())));
        ASSERT_TRUE(touchTab(button));
        ASSERT_TRUE(QTest::qWaitFor([&] { return view().pixelColor(disc) == QColor(255, 0, 0); }, kTimeoutMs))
            << "the point's red cross";
    }
    const QRect magnificationField = inWindow(kMagnification);
    const QImage before = shot(magnificationField);
    ASSERT_TRUE(touchTab(kMeasure));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shot(magnificationField) != before; }, kTimeoutMs))
        << "the magnification shown";
    ASSERT_TRUE(typeInto(kSerialMidfix, QStringLiteral("12")));
    ASSERT_TRUE(typeInto(kSerialSuffix, QStringLiteral("34567")));
    ASSERT_TRUE(touch(onWindow(kSave.x(), kSave.y())));
    ASSERT_TRUE(answerBox(QStringLiteral("KOVA-III"), QStringLiteral("Return"))) << "INI saved !";

    ASSERT_TRUE(touch(onWindow(kExit.x(), kExit.y())));
    ASSERT_TRUE(answerBox(QStringLiteral("KOVA-III"), QStringLiteral("alt+y"))) << "Are you sure quit ?";
    ASSERT_TRUE(waitForNoWindow(QLatin1String(kTitle)));

    const QSettings saved(root.path(kSettings), QSettings::IniFormat);
    EXPECT_EQ(saved.value("Calibration/Z reference").toInt(), 32000);
    EXPECT_EQ(saved.value("KOVA-III/Serial").toString(), "KO3-12-34567");
    // 430 pixels apart, within a pixel: magnification 1.505, volume factor 0.43603.
    const double magnification = saved.value("KOVA-III/Magnification").toDouble();
    const double volume = saved.value("KOVA-III/Volume factor").toDouble();
    EXPECT_NEAR(magnification, 1.505, 0.0036);
    EXPECT_NEAR(volume, 0.43603, 0.0021);
    const QByteArray shown = QStringLiteral("information: serial KO3-12-34567 magnification %1 volume factor %2 QC version 0.0.2")
                                 .arg(QString::asprintf("%.3f", magnification), QString::asprintf("%.5f", volume))
                                 .toLatin1();
    EXPECT_TRUE(waitForOutput(*launcher, shown)) << output(*launcher).toStdString();
}
