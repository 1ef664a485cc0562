#include "ReviewTestRoot.h"
#include "Review/ReviewFuncDlg.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {

class ChoiceDialog : public ReviewTestRoot
{
protected:
    QPushButton* button(const char* name) const { return dlg.findChild<QPushButton*>(name); }

    // Runs the dialog in `mode` and `state`, pressing `first` once it shows
    // and then the close button when it is still open; its exec() result.
    int run(int mode, int state, const char* first)
    {
        dlg.setMode(mode);
        dlg.setState(state);
        QTimer::singleShot(0, &dlg, [this, first] {
            button(first)->click();
            if (dlg.isVisible())
                button("BUTTON_X")->click();
        });
        return dlg.exec();
    }

    ReviewFuncDlg dlg;
};

TEST_F(ChoiceDialog, ModeAndButtonDecideWhatIsReported)
{
    insertStick();
    EXPECT_EQ(int(dlg.windowFlags() & ~Qt::WindowType_Mask), 0x40c00) << "the type is the toolkit's, for a window";
    EXPECT_EQ(dlg.geometry(), QRect(156, 90, 500, 300));

    QSignalSpy chosen(&dlg, &ReviewFuncDlg::sig_set_FuncnType);
    QSignalSpy unmount(&dlg, &ReviewFuncDlg::sig_umount_usb);
    bool unmountedBeforeTheSignal = false;
    QObject::connect(&dlg, &ReviewFuncDlg::sig_umount_usb, [&] { unmountedBeforeTheSignal = sticks.calls().contains("umount /mnt"); });
    const struct
    {
        int mode;
        int state;
        const char* button;
        bool answer43;
        QList<int> chosen;  // mode, type; empty for none
        QList<bool> unmount;
        int result;
    } cases[] = {
        {0, 0, "BUTTON_CURRENT", false, {0, 0}, {}, 0},
        {1, 0, "BUTTON_CURRENT", false, {1, 0}, {}, 0},
        {7, 0, "BUTTON_CURRENT", false, {1, 0}, {}, 0},  // any other mode deletes
        {0, 0, "BUTTON_ALL", false, {0, 1}, {}, 0},
        {1, 0, "BUTTON_ALL", true, {1, 1}, {}, 0},
        {1, 0, "BUTTON_ALL", false, {}, {}, 0},  // declined: closed, silent
        {0, 1, "BUTTON_CANCEL", false, {}, {false}, 1},
        {1, 1, "BUTTON_OK", false, {}, {}, 1},
        {0, 5, "BUTTON_X", false, {}, {}, 0},  // any other state is done
        {0, 1, "BUTTON_OK", false, {}, {true}, 1},
    };
    for (const auto& c : cases) {
        chosen.clear();
        unmount.clear();
        const bool asks = c.mode == 1 && QByteArray(c.button) == "BUTTON_ALL";
        if (asks)
            boxes.plan(c.answer43);
        EXPECT_EQ(run(c.mode, c.state, c.button), c.result) << c.mode << " " << c.button;
        QList<int> reported;
        if (!chosen.isEmpty())
            reported << chosen.first().at(0).toInt() << chosen.first().at(1).toInt();
        EXPECT_EQ(reported, c.chosen) << c.mode << " " << c.button;
        QList<bool> unmounted;
        for (const QList<QVariant>& signal : unmount)
            unmounted << signal.at(0).toBool();
        EXPECT_EQ(unmounted, c.unmount) << c.mode << " " << c.button;
        if (c.state == 0 && c.result == 0 && !c.chosen.isEmpty()) {
            EXPECT_FALSE(dlg.findChild<QFrame*>("FRAME_SELECT")->isEnabled()) << "no second choice";
        }
    }
    EXPECT_TRUE(unmountedBeforeTheSignal) << "OK after an export unmounts, then reports: "
                                          << sticks.calls().join(" | ").toStdString();
    EXPECT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(boxes.shown.value(0), MessageCatalogue::text(43));
}

TEST_F(ChoiceDialog, TheDoneStateOfEachMode)
{
    const struct
    {
        int mode;
        const char* message;
        int okX;
        bool cancel;
    } cases[] = {
        {0, "Export completed!\n\nDo you want to remove the USB?", 88, true},
        {1, "Delete completed!", 174, false},
    };
    for (const auto& c : cases) {
        dlg.setMode(c.mode);
        dlg.setState(1);
        EXPECT_EQ(dlg.findChild<QLabel*>("LABEL_MSG")->text(), c.message);
        EXPECT_EQ(button("BUTTON_OK")->pos(), QPoint(c.okX, 164));
        EXPECT_EQ(!button("BUTTON_CANCEL")->isHidden(), c.cancel);
        EXPECT_TRUE(dlg.findChild<QFrame*>("FRAME_SELECT")->isHidden());
        EXPECT_EQ(dlg.findChild<QLabel*>("LABEL_FUNC")->text(), c.mode == 0 ? "Export" : "Delete");
        EXPECT_EQ(!dlg.findChild<QLabel*>("LABEL_ICON_EXPORT")->isHidden(), c.mode == 0);
    }
    dlg.setState(0);
    EXPECT_TRUE(dlg.findChild<QFrame*>("FRAME_SELECT")->isEnabled());
    EXPECT_TRUE(dlg.findChild<QFrame*>("FRAME_FINISH")->isHidden());

    QTimer::singleShot(0, &dlg, [this] { dlg.slot_select_error(); });
    EXPECT_EQ(dlg.exec(), 0);
}

}  // namespace
