#include "VerifierWindowFixture.h"

#include "Settings/VerifierSettings.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

using Frames = std::vector<std::string>;

namespace {

class VerifierStageTest : public VerifierWindowTest
{
protected:
    QString position() const { return widget<QLineEdit>("EDIT_Z_POSITION")->text(); }
};

}  // namespace

// The step and speed of the stage file reach their spin boxes once
// connected: the step clamped to the box's range, the speed shown clamped
// but kept as read.
TEST_F(VerifierStageTest, StepAndSpeedFromTheStageFile)
{
    root.writeFile(verifier::kStageIni, "[Z%20stage]\nStep=5\nSpeed=5\n");
    open();
    EXPECT_EQ(widget<QSpinBox>("SPIN_Z_STEP")->value(), 10);
    EXPECT_EQ(verifier::global_ini()->nZ_step, 10);
    EXPECT_EQ(widget<QSpinBox>("SPIN_Z_SPEED")->value(), 10);
    EXPECT_EQ(verifier::global_ini()->nZ_speed, 5);
}

// Steps by the stored step; travel with the speed shown while Z+ is held,
// then STOP and the position asked for.
TEST_F(VerifierStageTest, StepsAndTravel)
{
    open();
    mcu.setTravelRate(100.0);
    widget<QSpinBox>("SPIN_Z_STEP")->setValue(300);
    widget<QPushButton>("BUTTON_Z_MOVE_PLUS")->click();
    EXPECT_EQ(position(), "32300");
    widget<QPushButton>("BUTTON_Z_MOVE_MINUS")->click();
    widget<QPushButton>("BUTTON_Z_MOVE_MINUS")->click();
    EXPECT_EQ(position(), "31700");
    EXPECT_EQ(mcu.state().position, 31700);

    const std::size_t before = mcu.frames().size();
    auto* plus = widget<QPushButton>("BUTTON_Z_ROTATE_PLUS");
    QTest::mousePress(plus, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mcu.state().position > 31700; }, kWaitMs));
    QTest::mouseRelease(plus, Qt::LeftButton);
    EXPECT_EQ(framesFrom(before), Frames({"$,STM1,ROP,250,\r\n", "$,STM1,STOP,,\r\n", "$,STM1,GET_POS,,\r\n"}));
    EXPECT_EQ(position().toInt(), mcu.state().position);
    EXPECT_GT(position().toInt(), 31700);
}

// ABS sends the field's number (0 for text) and keeps the window disabled
// until its answer comes, or its reply window has passed.
TEST_F(VerifierStageTest, AbsoluteMoveDisablesTheWindowUntilAnswered)
{
    open();
    auto* field = widget<QLineEdit>("EDIT_Z_ABS");
    auto* abs = widget<QPushButton>("BUTTON_Z_ABS");
    field->setText("abc");
    std::size_t before = mcu.frames().size();
    abs->click();
    EXPECT_FALSE(window->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isEnabled(); }, kWaitMs));
    EXPECT_EQ(framesFrom(before), Frames({"$,STM1,ABS,0,\r\n", "$,STM1,GET_POS,,\r\n"}));
    EXPECT_EQ(position(), "0");

    field->setText("1234");
    mcu.swallowNextMoveReply();
    before = mcu.frames().size();
    abs->click();
    EXPECT_FALSE(window->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isEnabled(); }, kWaitMs)) << "after the reply window";
    EXPECT_EQ(framesFrom(before), Frames({"$,STM1,ABS,1234,\r\n"}));
    EXPECT_EQ(mcu.state().position, 1234);
}

// Ref. set takes the position shown, but never a failed query's -1; Ref.
// move and Origin leave the position field alone.
TEST_F(VerifierStageTest, ReferenceSetAndMove)
{
    open();
    auto* reference = widget<QLineEdit>("EDIT_Z_REFERENCE");
    widget<QPushButton>("BUTTON_Z_MOVE_PLUS")->click();
    widget<QPushButton>("BUTTON_Z_SET_REFERENCE")->click();
    EXPECT_EQ(reference->text(), "32256");
    EXPECT_EQ(verifier::global_ini()->nZ_reference, 32256);

    widget<QPushButton>("BUTTON_Z_ORIGIN")->click();
    EXPECT_EQ(mcu.state().position, 0);
    EXPECT_EQ(position(), "32256");
    widget<QPushButton>("BUTTON_Z_MOVE_REFERENCE")->click();
    EXPECT_EQ(mcu.state().position, 32256);
    EXPECT_EQ(position(), "32256");

    mcu.setFault(McuSimulator::Fault::Silence);
    link->setTimeouts(500, 100);
    widget<QPushButton>("BUTTON_Z_POSITION")->click();
    EXPECT_EQ(position(), "-1");
    boxes.plan(QMessageBox::Ok);
    widget<QPushButton>("BUTTON_Z_SET_REFERENCE")->click();
    EXPECT_EQ(boxes.lastText(), "Stage position unknown !!!");
    EXPECT_EQ(reference->text(), "32256");
    EXPECT_EQ(verifier::global_ini()->nZ_reference, 32256);
}

TEST_F(VerifierStageTest, DiagnosisShowsTheNumber)
{
    open();
    mcu.setDiagnosis(17, std::chrono::milliseconds(0));
    widget<QPushButton>("BUTTON_Z_DIAGNOSIS")->click();
    EXPECT_EQ(widget<QLineEdit>("EDIT_Z_DIAGNOSIS")->text(), "17");
    EXPECT_TRUE(widget<QPushButton>("BUTTON_Z_DIAGNOSIS")->isEnabled());
}
