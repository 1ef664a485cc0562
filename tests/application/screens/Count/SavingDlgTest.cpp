#include "Count/SavingDlg.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

namespace {

struct Box
{
    explicit Box(SavingDlg& d)
        : dialog(d)
        , label(d.findChild<QLabel*>("LABEL_MESSAGE"))
        , ok(d.findChild<QPushButton*>("BUTTON_OK"))
    {
    }
    // The filled part of the bar as painted (painting adds its own pixel).
    int paintedBar()
    {
        const QImage image = dialog.grab().toImage();
        const int y = SavingDlg::kBarTop + SavingDlg::kBarHeight / 2;
        int filled = 0;
        while (filled < SavingDlg::kBarWidth && image.pixelColor(SavingDlg::kBarLeft + filled, y) == Qt::white)
            ++filled;
        return filled;
    }
    SavingDlg& dialog;
    QLabel* label;
    QPushButton* ok;
};

TEST(SavingDlg, EveryPaintOfARunningBoxAddsAPixelUpTo300)
{
    SavingDlg dialog;
    Box box(dialog);
    dialog.show();
    dialog.start();
    dialog.setProgress(1);
    EXPECT_EQ(dialog.progress(), 4) << "3 from the percentage, 1 from the paint itself";
    EXPECT_EQ(box.paintedBar(), 5);
    EXPECT_EQ(box.paintedBar(), 6);

    dialog.setProgress(100);
    EXPECT_EQ(dialog.progress(), 300);
    EXPECT_EQ(box.paintedBar(), 300);
    EXPECT_EQ(dialog.progress(), 300);
}

TEST(SavingDlg, ACompletedRunShowsNoBar)
{
    SavingDlg dialog;
    Box box(dialog);
    dialog.show();
    dialog.start();
    dialog.setProgress(50);
    dialog.complete();
    const QImage image = dialog.grab().toImage();
    const QColor background = image.pixelColor(SavingDlg::kBarLeft - 20, SavingDlg::kBarTop + 5);
    for (int x : {SavingDlg::kBarLeft, SavingDlg::kBarLeft + 150, SavingDlg::kBarLeft + SavingDlg::kBarWidth - 1})
        EXPECT_EQ(image.pixelColor(x, SavingDlg::kBarTop + 5), background) << x;
    EXPECT_EQ(box.paintedBar(), 0);
}

TEST(SavingDlg, ModesChooseTextAndOk)
{
    const struct {
        int mode;
        const char* text;
        bool ok;
    } cases[] = {
        {SavingDlg::ModeSaving, "Please wait. Saving in progress ...", false},
        {SavingDlg::ModeCompleted, "<p><br/>Save completed!</p>", true},
        {SavingDlg::ModeStickRemoved,
         "<p><b>Error (Code : 0009)</b><br/><br/>The USB flash drive was removed during<br/>the saving process. File "
         "save failed.</p>",
         true},
        {SavingDlg::ModeWriteFailed,
         "<p><b>Error (Code : 0005)</b><br/><br/><b>Insufficient disk space.</b><br/>Select another drive.</p>", true},
        {42, "<p><b>Error (Code : 0009)</b>", true},
    };
    SavingDlg dialog;
    Box box(dialog);
    EXPECT_TRUE(box.ok->isHidden()) << "no OK while a box is new";
    for (const auto& c : cases) {
        dialog.setMode(c.mode);
        EXPECT_TRUE(box.label->text().startsWith(QString::fromUtf8(c.text))) << c.mode;
        EXPECT_EQ(!box.ok->isHidden(), c.ok) << c.mode;
    }
}

TEST(SavingDlg, OkTellsAndCloses)
{
    SavingDlg dialog;
    QSignalSpy closed(&dialog, &SavingDlg::sig_close_dlg);
    dialog.show();
    dialog.setMode(SavingDlg::ModeCompleted);
    Box(dialog).ok->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(SavingDlg, SignalHandOverAnnouncesAndEndsWithAFullBar)
{
    SavingDlg dialog;
    QSignalSpy announced(&dialog, &SavingDlg::SendSavingInfo);
    dialog.SetFilename("Sample", "/KOVA/anonymous/TOTAL_CELL_COUNTING");
    dialog.show();
    dialog.SetInitialize(3);
    ASSERT_EQ(announced.count(), 1);
    EXPECT_EQ(announced[0][0].toString(), "Sample");
    EXPECT_EQ(announced[0][1].toString(), "/KOVA/anonymous/TOTAL_CELL_COUNTING");
    EXPECT_EQ(announced[0][2].toInt(), 3);

    dialog.ReceiveSavingCompleted(true);
    EXPECT_EQ(dialog.progress(), 300);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
