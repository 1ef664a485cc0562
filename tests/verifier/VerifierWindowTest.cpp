#include "VerifierWindowFixture.h"

#include "Camera/OV5642Camera.h"
#include "Debug/DebugController.h"
#include "Debug/VerifierDebugMessage.h"
#include "Settings/VerifierSettings.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>

using Frames = std::vector<std::string>;

// Without Zig mode the window connects while it is built: home, then the
// settings reach the LED and the stage goes to the reference.
TEST_F(VerifierWindowTest, ConnectsAtStartWithoutZigMode)
{
    root.writeFile("/sys/module/disp/parameters/disp_layer_protect", "1");
    open("[KOVA-III]\nZig%20mode=Off\n[Ch.%20BF]\nLED=300\n[Calibration]\nZ%20reference=31000\n");
    EXPECT_EQ(mcu.frames(), Frames({"$,DEVICE,READY,,\r\n", "$,STM1,ORIGIN,,\r\n", "$,LED4,BRT,300,\r\n",
                                    "$,STM1,ABS,31000,\r\n"}));
    EXPECT_EQ(mcu.state().position, 31000);
    EXPECT_EQ(widget<QLineEdit>("EDIT_Z_REFERENCE")->text(), "31000");
    EXPECT_EQ(widget<QLineEdit>("EDIT_LED")->text(), "300");
    EXPECT_FALSE(widget<QPushButton>("BUTTON_CONNECT")->isEnabled());
    EXPECT_EQ(window->windowTitle(), "KOVA-II Plus Verifier");
    EXPECT_EQ(window->size(), QSize(800, 480));
    EXPECT_EQ(root.readFile("/sys/module/disp/parameters/disp_layer_protect"), "0");
}

// Zig mode (the default): nothing goes to the microcontroller until Connect,
// which turns the button to "O" and then connects as above.
TEST_F(VerifierWindowTest, ZigModeWaitsForConnect)
{
    open("");
    auto* connect = widget<QPushButton>("BUTTON_CONNECT");
    EXPECT_TRUE(connect->isEnabled());
    EXPECT_EQ(connect->text(), "X");
    EXPECT_TRUE(mcu.frames().empty());
    connect->click();
    EXPECT_EQ(connect->text(), "O");
    EXPECT_EQ(connect->styleSheet(), verifier::KOVA_II_Plus_Verifier::kHighlight);
    EXPECT_EQ(mcu.frames(), Frames({"$,DEVICE,READY,,\r\n", "$,STM1,ORIGIN,,\r\n", "$,LED4,BRT,225,\r\n",
                                    "$,STM1,ABS,32000,\r\n"}));

    // A refused handshake leaves the button at "X"; the next one reopens the port.
    mcu.setFault(McuSimulator::Fault::LowerCaseOk);
    connect->click();
    EXPECT_EQ(connect->text(), "X");
    EXPECT_FALSE(link->isOpen());
    mcu.setFault(McuSimulator::Fault::None);
    connect->click();
    EXPECT_EQ(connect->text(), "O");
}

// Exit asks; No sends nothing; Yes rests the hardware (not in Zig mode),
// stops the camera and ends the event loop.
TEST_F(VerifierWindowTest, ExitAsksThenRestsTheHardware)
{
    const struct {
        const char* settings;
        Frames rest;
    } cases[] = {
        {kNormalMode, {"$,LED4,OFF,,\r\n", "$,STM1,ORIGIN,,\r\n"}},
        {"[KOVA-III]\nZig%20mode=On\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        open(c.settings);
        auto* camera = window->findChild<OV5642Camera*>();
        ASSERT_TRUE(camera && camera->isRunning());
        const std::size_t before = mcu.frames().size();
        ASSERT_TRUE(widget<QPushButton>("BUTTON_EXIT")->isEnabled());
        boxes.plan(QMessageBox::No);
        widget<QPushButton>("BUTTON_EXIT")->click();
        EXPECT_TRUE(framesFrom(before).empty());
        EXPECT_TRUE(camera->isRunning());
        EXPECT_FALSE(takeQuitRequest());

        boxes.plan(QMessageBox::Yes);
        widget<QPushButton>("BUTTON_EXIT")->click();
        EXPECT_EQ(framesFrom(before), c.rest);
        EXPECT_FALSE(camera->isRunning());
        EXPECT_TRUE(takeQuitRequest());
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown.back().title, "KOVA-III");
        EXPECT_EQ(boxes.shown.back().text, "Are you sure quit ?");
        boxes.shown.clear();
        window.reset();
        link.reset();
    }
}

// The debug button shows the panel the selector names when it is checked
// (3: the focus graph, no panel) and hides them all when it is unchecked.
TEST_F(VerifierWindowTest, DebugToggleShowsTheChosenPanel)
{
    open();
    auto* button = widget<QPushButton>("BUTTON_DEBUG");
    auto* selector = widget<QSpinBox>("SPIN_DEBUG");
    auto* messages = window->findChild<verifier::DebugMessage*>();
    auto* controller = window->findChild<DebugController*>();
    ASSERT_TRUE(messages && controller);
    const struct {
        int selected;
        bool messagesShown, controllerShown;
    } cases[] = {{1, true, false}, {2, false, true}, {3, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected);
        selector->setValue(c.selected);
        button->click();
        EXPECT_EQ(messages->isVisibleTo(window.get()), c.messagesShown);
        EXPECT_EQ(controller->isVisibleTo(window.get()), c.controllerShown);
        selector->setValue(c.selected % 3 + 1);  // read only when the button is toggled
        EXPECT_EQ(messages->isVisibleTo(window.get()), c.messagesShown);
        button->click();
        EXPECT_FALSE(messages->isVisibleTo(window.get()));
        EXPECT_FALSE(controller->isVisibleTo(window.get()));
    }
    EXPECT_EQ(messages->objectName(), "DebugMessage");
    EXPECT_EQ(messages->size(), QSize(640, 480));
    EXPECT_EQ(widget<QPushButton>("BUTTON_CLEAR")->geometry(), QRect(560, 5, 60, 30));
}

// A debug line: the signature, "()", then each item after a blank; a long
// item loses its line breaks, a short one keeps them.
TEST_F(VerifierWindowTest, DebugLinesInTheMessagePanel)
{
    open();
    auto* text = window->findChild<verifier::DebugMessage*>()->findChild<QPlainTextEdit*>("PLAIN_DEBUG_MESSAGE");
    ASSERT_NE(text, nullptr);
    text->clear();
    emit window->sig_debug_Message({"void f()", "ab", "x\r\ny", "\r\n"});
    EXPECT_EQ(text->toPlainText(), "void f()() ab xy \n \n");
}

// The sync timer flushes the file systems only while a stick is mounted, one
// the window mounted at its start.
TEST_F(VerifierWindowTest, SyncOnlyWhileAStickIsMounted)
{
    open();
    int syncs = 0;
    window->setFileSync([&] { ++syncs; });
    window->slot_Timer_sync();
    EXPECT_EQ(syncs, 0);
    window.reset();
    link.reset();

    ASSERT_FALSE(sticks.insert(QStringLiteral("stick")).isEmpty());
    open();
    EXPECT_EQ(sticks.calls(), QStringList{"mount /dev/sda1 /mnt"}) << "the verifier mounts without options";
    window->setFileSync([&] { ++syncs; });
    window->slot_Timer_sync();
    EXPECT_EQ(syncs, 1);
}

// Save writes the current tab's values and says so only when every file was
// written; otherwise it names the file.
TEST_F(VerifierWindowTest, SaveReportsWhatItWrote)
{
    open();
    auto* save = widget<QPushButton>("BUTTON_SAVE_INI");
    auto* tabs = widget<QTabWidget>("TAB_MENU");
    tabs->setCurrentIndex(2);
    widget<QLineEdit>("EDIT_SERIAL_MIDFIX")->setText("abc");
    widget<QLineEdit>("EDIT_SERIAL_SUFFIX")->setText("77");
    boxes.plan(QMessageBox::Ok);
    save->click();
    EXPECT_EQ(boxes.lastText(), "INI saved !");
    const QSettings saved(root.path("/opt/KOVA3/conf/KOVA3.ini"), QSettings::IniFormat);
    EXPECT_EQ(saved.value("KOVA-III/Serial").toString(), "KO3-00-00077");
    EXPECT_EQ(saved.value("Software/Version QC").toString(), "0.0.2");

    tabs->setCurrentIndex(0);
    QDir().mkpath(root.path(verifier::kStageIni));  // a folder: the file cannot be written
    boxes.plan(QMessageBox::Ok);
    save->click();
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().title, "Error");
    EXPECT_EQ(boxes.lastText(), "/root/Kova2/Kova2.ini saving failed !!!");
}
