#include "VerifierWindowFixture.h"

#include "Camera/OV5642Camera.h"
#include "Settings/VerifierSettings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

using verifier::QC_measure;

namespace {

class VerifierQcTabTest : public VerifierWindowTest
{
protected:
    // A bright field before the camera at the sensor's reference levels.
    void openQc()
    {
        writeReferenceCalibration();
        open();
        window->setQcCaptureDelay(300);
        capture = widget<QPushButton>("BUTTON_QC_CAPTURE");
        measure = window->findChild<QC_measure*>();
        camera = window->findChild<OV5642Camera*>();
        ASSERT_TRUE(measure && camera);
    }
    bool enabled(const char* name) const { return widget<QWidget>(name)->isEnabled(); }

    QPushButton* capture = nullptr;
    QC_measure* measure = nullptr;
    OV5642Camera* camera = nullptr;
};

}  // namespace

// Capture from a preview mode switches to full resolution and waits for its
// frames with the window disabled; back to live stays at full resolution.
TEST_F(VerifierQcTabTest, CaptureSwitchesToFullResolution)
{
    openQc();
    widget<QPushButton>("BUTTON_RESOLUTION_VGA")->click();
    EXPECT_FALSE(enabled("CHECK_TARGET"));
    EXPECT_FALSE(enabled("BUTTON_QC_MEASURE"));
    capture->click();
    EXPECT_FALSE(window->isEnabled()) << "waiting for full-resolution frames";
    EXPECT_EQ(window->currentResolution(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isEnabled(); }, kWaitMs));
    EXPECT_EQ(capture->text(), "Live");
    EXPECT_TRUE(measure->isVisibleTo(window.get()));
    EXPECT_FALSE(camera->isRunning());
    EXPECT_TRUE(enabled("CHECK_TARGET"));
    EXPECT_FALSE(enabled("BUTTON_POINT_1"));
    EXPECT_TRUE(enabled("BUTTON_QC_MEASURE"));

    capture->click();
    EXPECT_EQ(capture->text(), "Capture");
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(window->currentResolution(), 2);
    EXPECT_TRUE(camera->isRunning());
    EXPECT_FALSE(measure->isVisibleTo(window.get()));

    // At full resolution already: at once.
    capture->click();
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(capture->text(), "Live");
}

// Without a frame there is nothing to measure on: said so, the tab stays live.
TEST_F(VerifierQcTabTest, CaptureWithoutAFrame)
{
    openQc();
    platform::SimulatedVideo::Faults faults;
    faults.streamOnFailure = true;
    ASSERT_TRUE(platform::SimulatedVideo::setFaults(faults));
    widget<QPushButton>("BUTTON_RESOLUTION_5M")->click();  // the camera does not stream
    boxes.plan(QMessageBox::Ok);
    capture->click();
    EXPECT_EQ(boxes.lastText(), "No camera frame !!!");
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(capture->text(), "Capture");
    EXPECT_FALSE(measure->isVisibleTo(window.get()));
    EXPECT_FALSE(enabled("BUTTON_QC_MEASURE"));
}

// Target enables the point buttons; the located points, the result and the
// errors reach the tab.
TEST_F(VerifierQcTabTest, PointsResultAndErrors)
{
    openQc();
    widget<QPushButton>("BUTTON_RESOLUTION_5M")->click();
    capture->click();
    auto* target = widget<QCheckBox>("CHECK_TARGET");
    target->click();
    EXPECT_TRUE(enabled("BUTTON_POINT_1"));
    EXPECT_TRUE(enabled("BUTTON_POINT_2"));
    target->click();
    EXPECT_FALSE(enabled("BUTTON_POINT_1"));
    EXPECT_TRUE(enabled("BUTTON_QC_MEASURE"));

    emit measure->sig_measure_point(0, 1234, 567);
    EXPECT_EQ(widget<QLineEdit>("EDIT_POINT_1")->text(), "1234, 567");
    emit measure->sig_measure_result({430, 0.4f, 0.930233f, 1.43f, 4.36f, 0.48242f});
    EXPECT_EQ(widget<QLineEdit>("EDIT_MAGNIFICATION")->text(), "1.430");
    EXPECT_EQ(widget<QLineEdit>("EDIT_VOLUME_FACTOR")->text(), "0.48242");
    EXPECT_FLOAT_EQ(float(verifier::global_ini()->System.Magnification), 1.43f);

    // The bright field holds no target: P1 finds nothing, Measure has no points.
    target->click();
    boxes.plan(QMessageBox::Ok);
    widget<QPushButton>("BUTTON_POINT_1")->click();
    EXPECT_EQ(boxes.lastText(), "Cell not detected !");
    boxes.plan(QMessageBox::Ok);
    widget<QPushButton>("BUTTON_QC_MEASURE")->click();
    EXPECT_EQ(boxes.lastText(), "Locate P1 and P2 first !");
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(VerifierQcTabTest, IntensityOfTheLiveFrame)
{
    openQc();
    // Each drawn frame asks for the next; the first came before the LED was lit.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        window->grab();
        return window->frameBuffer(1)[0] != 0;
    }, kWaitMs)) << "a lit frame arrived";
    widget<QPushButton>("BUTTON_INTENSITY")->click();
    const QString red = widget<QLineEdit>("EDIT_INTENSITY_RED")->text();
    EXPECT_TRUE(QRegExp("\\d+\\.\\d").exactMatch(red)) << red.toStdString();
    EXPECT_GT(red.toDouble(), 0.0);
}

// The password script's outcome is told as it was.
TEST_F(VerifierQcTabTest, PasswordScriptOutcome)
{
    openQc();
    window->setPasswordScriptTimeout(300);
    const struct {
        const char* script;
        const char* box;
    } cases[] = {
        {nullptr, "set_password.sh not found !!!"},
        {"#!/bin/sh\nexit 3\n", "set_password.sh failed (3) !!!"},
        {"#!/bin/sh\nexec sleep 600\n", "set_password.sh did not finish !!!"},
        {"#!/bin/sh\nexit 0\n", "The serial number has been set as the password!"},
    };
    for (const auto& c : cases) {
        if (c.script)
            root.writeScript("/opt/KOVA3/bin/set_password.sh", c.script);
        boxes.plan(QMessageBox::Ok);
        widget<QPushButton>("BUTTON_PASSWORD")->click();
        EXPECT_EQ(boxes.lastText(), c.box);
    }
}
