#include "Message/MessageCatalogue.h"
#include "Message/MessageDlg.h"
#include "Message/MessageExDlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTimer>

namespace {

enum Layout { OkCancel, OkAlone, NoButton, Kept };

// The catalogue as the user reads it: visible text line by line (title, the
// blank lines after it, the lines), the caption of the OK button, the layout.
struct Message
{
    int type;
    QString text;
    QString okCaption;
    Layout layout;
};

const QString W = QStringLiteral("Warning\n\n");
const QString I = QStringLiteral("Information\n\n");

std::vector<Message> catalogue()
{
    auto e = [](int type, const QString& rest, int breaks = 2) {
        return QStringLiteral("Error (Code : %1)").arg(type, 4, 10, QLatin1Char('0')) +
               QString(breaks, QLatin1Char('\n')) + rest;
    };
    return {
        {0, W + "Are you sure you want to power off?", "OK", OkCancel},
        {1, W + "Are you sure you want to logout?", "OK", OkCancel},
        {2, "Counting in Progress ...\n\nTo avoid long counting times, adjust\nthe cell concentration to be within\nthe recommended range.", "OK", Kept},
        {3, e(3, "Enter a file name to save your results."), "OK", OkAlone},
        {4, e(4, "Select at least one saving option."), "OK", OkAlone},
        {5, e(5, "Insufficient disk space.\nSelect another drive."), "OK", OkAlone},
        {6, e(6, "Invalid file name."), "OK", OkAlone},
        {7, I + "The USB flash drive device can now be\nsafely removed from the device.", "OK", OkAlone},
        {8, "\nSave completed!", "OK", OkAlone},
        {9, e(9, "The USB flash drive was removed during\nthe saving process. File save failed."), "OK", OkAlone},
        {10, e(10, "The value in ARG2 must be\nbetween 1.00 and 9.99."), "OK", OkAlone},
        {11, e(11, "The value in ARG2 must be\nbetween 0 and 9."), "OK", OkAlone},
        {12, e(12, "Please provide the ARG2 within the\nrange of 0.01 and 1000."), "OK", OkAlone},
        {13, e(13, "Please provide the ARG2 within the\nrange 1 and 999999."), "OK", OkAlone},
        {14, "Calculating...\n\nPlease wait.", "OK", NoButton},
        {15, e(15, "PDF Writing Error\nPlease Contact your local distributor."), "OK", OkAlone},
        {16, W + "Leaving will reset the cell counting results.\nDo you want to proceed?", "OK", OkCancel},
        {17, I + "The selected protocol has been loaded.", "OK", OkAlone},
        {18, W + "Are you sure you want to delete\nthe selected protocol?", "OK", OkCancel},
        {19, W + "There is already a file with\nthe same name in this location.\nDo you want to replace it?", "OK", OkCancel},
        {20, e(20, "The ARG2 protocol cannot be\nedited or deleted.\nPlease select another protocol."), "OK", OkAlone},
        {21, e(21, "The protocol currently in use cannot be\ndeleted. Please select another protocol."), "OK", OkAlone},
        {22, e(22, "Invalid name.\nNames composed of only spaces or\nblanks are not allowed to be saved."), "OK", OkAlone},
        {23, e(23, "Your protocol list is full.\nDelete some protocols before creating\na new one."), "CLOSE", OkAlone},
        {24, e(24, "Unacceptable folder name is used.\nPlease try again."), "OK", OkAlone},
        {25, e(25, "The date you specified does not exist.\nPlease enter a valid date."), "OK", OkAlone},
        {26, e(26, "The time you specified does not exist.\nPlease enter a valid date."), "OK", OkAlone},
        {27, "Use a stylus to tap the center of the target\nthat appears on the screen. Do this each time\nthe target moves. If you miss the target,\nkeep the stylus on the screen, slide it to the\ntarget's center, and then lift the stylus.\nPress OK to continue.", "OK", OkCancel},
        {28, I + "Touchscreen calibration is complete.\nPress Restart to complete the process.", "RESTART", OkAlone},
        {29, "Connect the LAN cable to the port\non the back of the KOVA-III.", "OK", OkAlone},
        {30, e(30, "Invalid network settings:\nIP ADDR : ARG2\nMASK : ARG3\nGATEWAY : ARG4", 1), "OK", OkAlone},
        {31, W + "Are you sure you want\nto do a Factory reset ?", "OK", OkCancel},
        {32, "Factory reset!", "OK", OkAlone},
        {33, "Autofocus debug disabled!", "OK", OkAlone},
        {34, "Autofocus debug enabled!", "OK", OkAlone},
        {35, "Cell counting aging disabled!", "OK", OkAlone},
        {36, "Cell counting aging enabled!", "OK", OkAlone},
        {37, "Cell counting aging finish!", "OK", OkAlone},
        {38, e(38, "A camera error occurred.\nThe aging count is ARG2 cycles."), "OK", OkAlone},
        {39, e(39, "Please select the item first from the File list."), "OK", OkAlone},
        {40, e(40, "An error occurred when opening the result\nfile and could not be verified."), "OK", OkAlone},
        {41, I + "All previous count results\nwere successfully exported.", "CLOSE", OkAlone},
        {42, W + "All previous count results stored on this\ninstrument will be permanently deleted.", "OK", OkCancel},
        {43, W + "All cell counting results on this\nwill be deleted.", "OK", OkCancel},
        {44, "Searching for a USB ...", "OK", NoButton},
        {45, e(45, "Insert a USB drive."), "OK", OkAlone},
        {46, W + "The USB drive has been removed.", "OK", OkAlone},
        {47, e(47, "Please load a new roll of paper and\npress Print again.", 3), "CLOSE", OkAlone},
        {48, e(48, "An unexpected image data\ntransmission error has occurred.\nPlease try the count again.", 1), "OK", OkAlone},
        {49, e(49, "Camera is not detected. Restart the\ninstrument. If the problem persists, \ncontact your local distributor or \nsupport@kova3.example.", 1), "RESTART", OkAlone},
        {53, W + "Are you sure you want\nto reset the current focus position?", "OK", OkCancel},
        {54, "Focus position was reset!\nPlease retry Focus Calibration.", "OK", OkAlone},
        {55, "Error\n\nThe Wi-Fi password you entered\nis incorrect. Please check the password\nand try again.", "OK", OkAlone},
        {56, "Error\n\nUnable to connect to the Wi-Fi network.\nPlease check your network settings\nand try again.", "OK", OkAlone},
    };
}

// What a person sees in the label: rich text rendered to lines.
QString visibleText(const QLabel* label)
{
    QTextDocument doc;
    if (Qt::mightBeRichText(label->text()))
        doc.setHtml(label->text());
    else
        doc.setPlainText(label->text());
    return doc.toPlainText().replace(QChar::LineSeparator, QLatin1Char('\n'));
}

struct Box
{
    explicit Box(QDialog& box)
        : label(box.findChild<QLabel*>("LABEL_MESSAGE")),
          ok(box.findChild<QPushButton*>("BUTTON_OK")),
          cancel(box.findChild<QPushButton*>("BUTTON_CANCEL"))
    {
    }
    QLabel* label;
    QPushButton* ok;
    QPushButton* cancel;
};

// Presses a button as soon as the box runs its event loop.
void pressWhenShown(QPushButton* button)
{
    QTimer::singleShot(0, button, [button] { button->click(); });
}

}  // namespace

TEST(MessageDlg, EveryMessageShowsItsTextCaptionsAndLayout)
{
    for (const Message& m : catalogue()) {
        MessageDlg dlg;
        dlg.m_strArg2 = "ARG2";
        dlg.m_strArg3 = "ARG3";
        dlg.m_strArg4 = "ARG4";
        dlg.setMsgType(m.type);
        Box box(dlg);
        EXPECT_EQ(visibleText(box.label), m.text) << "message " << m.type;
        EXPECT_EQ(box.ok->text(), m.okCaption) << "message " << m.type;
        EXPECT_EQ(box.cancel->text(), "CANCEL") << "message " << m.type;
        switch (m.layout) {
        case OkCancel:
            EXPECT_FALSE(box.ok->isHidden()) << m.type;
            EXPECT_FALSE(box.cancel->isHidden()) << m.type;
            EXPECT_EQ(box.ok->geometry(), QRect(88, 214, 150, 46)) << m.type;
            EXPECT_EQ(box.cancel->geometry(), QRect(262, 214, 150, 46)) << m.type;
            break;
        case OkAlone:
            EXPECT_FALSE(box.ok->isHidden()) << m.type;
            EXPECT_TRUE(box.cancel->isHidden()) << m.type;
            EXPECT_EQ(box.ok->geometry(), QRect(174, 214, 150, 46)) << m.type;
            break;
        case NoButton:
            EXPECT_TRUE(box.ok->isHidden()) << m.type;
            EXPECT_TRUE(box.cancel->isHidden()) << m.type;
            break;
        case Kept:  // a fresh box keeps its form's buttons
            EXPECT_FALSE(box.ok->isHidden()) << m.type;
            EXPECT_FALSE(box.cancel->isHidden()) << m.type;
            EXPECT_EQ(box.ok->geometry(), QRect(88, 214, 150, 46)) << m.type;
            break;
        }
    }
}

TEST(MessageDlg, TextIsTheSystemsExactRichText)
{
    EXPECT_EQ(MessageCatalogue::text(15),
              "<p><b>Error (Code : 0015)</b><br/><br/>PDF Writing Error<br/>Please Contact your local distributor.</p>");
    EXPECT_EQ(MessageCatalogue::text(44), "Searching for a USB ...");
    EXPECT_TRUE(MessageCatalogue::text(49).contains("<b>support@kova3.example</b>."));
    // A failure no number names, in the look of a numbered error.
    EXPECT_EQ(MessageCatalogue::errorText(30, {"Not <applied>.", "cannot write\nthe file"}),
              "<p><b>Error (Code : 0030)</b><br/>Not &lt;applied&gt;.<br/>cannot write<br/>the file</p>");
}

TEST(MessageDlg, ArgumentsAreInsertedOnceAndAsText)
{
    MessageDlg dlg;
    dlg.m_strArg2 = "%3 <b>x</b>";
    dlg.m_strArg3 = "255.255.255.0";
    dlg.setMsgType(30);
    const QString shown = visibleText(Box(dlg).label);
    EXPECT_TRUE(shown.contains("IP ADDR : %3 <b>x</b>\n")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("MASK : 255.255.255.0\nGATEWAY : ")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("GATEWAY : ")) << "an empty argument is empty text";

    EXPECT_EQ(MessageCatalogue::text(10, {"the first field for \n<the> current"}),
              "<p><b>Error (Code : 0010)</b><br/><br/>The value in the first field for <br/>&lt;the&gt; current must be"
              "<br/>between 1.00 and 9.99.</p>")
        << "a line feed of an argument is a line break";
}

TEST(MessageDlg, NumbersWithoutTextChangeNothing)
{
    for (int type : {50, 51, 52, 57, -1, 1000}) {
        MessageDlg fresh;
        fresh.setMsgType(type);
        Box box(fresh);
        EXPECT_TRUE(box.label->text().isEmpty()) << type;
        EXPECT_FALSE(box.ok->isHidden()) << type;
        EXPECT_FALSE(box.cancel->isHidden()) << type;

        MessageDlg kept;
        kept.setMsgType(14);
        const QString before = Box(kept).label->text();
        kept.setMsgType(type);
        EXPECT_EQ(Box(kept).label->text(), before) << type;
        EXPECT_TRUE(Box(kept).ok->isHidden()) << type;
    }
}

TEST(MessageDlg, RetypedBoxShowsOnlyItsNewButtons)
{
    MessageDlg dlg;
    dlg.setMsgType(14);
    dlg.setMsgType(0);
    Box box(dlg);
    EXPECT_FALSE(box.ok->isHidden());
    EXPECT_FALSE(box.cancel->isHidden());
    dlg.setMsgType(49);
    EXPECT_EQ(box.ok->text(), "RESTART");
    EXPECT_TRUE(box.cancel->isHidden());
}

TEST(MessageDlg, ExecReturnsOneForOkWhateverItsCaptionAndZeroForCancel)
{
    for (int type : {0, 23, 49}) {
        MessageDlg dlg;
        dlg.setMsgType(type);
        pressWhenShown(Box(dlg).ok);
        EXPECT_EQ(dlg.exec(), 1) << type;
    }
    MessageDlg dlg;
    dlg.setMsgType(0);
    pressWhenShown(Box(dlg).cancel);
    EXPECT_EQ(dlg.exec(), 0);
}

TEST(MessageDlg, LayoutsPlaceTheButtons)
{
    MessageDlg dlg;
    Box box(dlg);
    dlg.setMessageButtonVisibility(MESSAGE_BUTTON_CANCEL);
    EXPECT_TRUE(box.ok->isHidden());
    EXPECT_EQ(box.cancel->geometry(), QRect(174, 214, 150, 46));
    dlg.setMessageButtonVisibility(MESSAGE_BUTTON_SHOW_BOTH);
    EXPECT_FALSE(box.ok->isHidden());
    EXPECT_EQ(box.cancel->geometry(), QRect(174, 214, 150, 46)) << "shown where they are";
    dlg.setMessageButtonVisibility(static_cast<MessageButtonVisibility>(9));
    EXPECT_FALSE(box.cancel->isHidden());
}

TEST(MessageDlg, BoxIsAFramelessModalWindowOnTop)
{
    MessageDlg dlg;
    EXPECT_EQ(dlg.objectName(), "MessageDlg");
    EXPECT_EQ(dlg.geometry(), QRect(156, 90, 500, 300));
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(dlg.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(Box(dlg).label->font().family(), "Noto Sans");
    EXPECT_EQ(Box(dlg).label->font().pixelSize(), 22);
}

TEST(MessageExDlg, SavingErrorsShowOkAloneAndSignalAfterAccepting)
{
    MessageExDlg dlg;
    Box box(dlg);
    EXPECT_TRUE(box.cancel->isHidden());
    dlg.setMsgType(5);
    EXPECT_EQ(visibleText(box.label), "Error (Code : 0005)\n\nInsufficient disk space.\nSelect another drive.");
    EXPECT_EQ(box.ok->geometry(), QRect(174, 214, 150, 46));

    int resultAtSignal = -1;
    QObject::connect(&dlg, &MessageExDlg::sig_close_dlg, [&] { resultAtSignal = dlg.result(); });
    QSignalSpy closed(&dlg, &MessageExDlg::sig_close_dlg);
    pressWhenShown(box.ok);
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(resultAtSignal, int(QDialog::Accepted));

    dlg.setMsgType(7);
    EXPECT_TRUE(visibleText(box.label).contains("Insufficient disk space.")) << "other types keep the text";
}
