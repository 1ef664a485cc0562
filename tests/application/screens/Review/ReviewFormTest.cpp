#include "Keyboard/NumberKeypadDlg.h"
#include "ReviewTestRoot.h"
#include "WhenModal.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

class ReviewScreen : public ReviewTestRoot
{
protected:
    QWidget* widget(const char* name) const { return dlg->findChild<QWidget*>(name); }
    QPushButton* button(const char* name) const { return dlg->findChild<QPushButton*>(name); }
    QString text(const char* name) const
    {
        if (auto* label = dlg->findChild<QLabel*>(name))
            return label->text();
        return button(name)->text();
    }
    // The names of a widget's children, bottom to top, among `names`.
    QStringList stacking(QWidget* parent, const QStringList& names) const
    {
        QStringList order;
        for (QObject* child : parent->children())
            if (names.contains(child->objectName()))
                order << child->objectName();
        return order;
    }
    QStringList shownOf(const QStringList& names) const
    {
        QStringList shown;
        for (const QString& name : names)
            if (!dlg->findChild<QWidget*>(name)->isHidden())
                shown << name;
        return shown;
    }
};

TEST_F(ReviewScreen, FormPlacesEveryWidgetAsDrawn)
{
    open();
    const struct
    {
        const char* name;
        const char* parent;
        QRect geometry;
        const char* text;
    } cases[] = {
        {"BUTTON_HOME", "ReviewDlg", {0, 0, 80, 80}, ""},
        {"LABEL_REVIEW_TITLE", "ReviewDlg", {220, 0, 271, 78}, "Review Results"},
        {"LABEL_COMMON_TITLE", "ReviewDlg", {513, 15, 70, 21}, "Protocol"},
        {"LABEL_COMMON_TITLE2", "ReviewDlg", {513, 40, 70, 21}, "Date"},
        {"LABEL_MODE", "ReviewDlg", {737, 15, 52, 52}, ""},
        {"BUTTON_REVIEW_RESULTS", "REVIEW_MENU", {0, 0, 200, 79}, "Review Results"},
        {"BUTTON_EXPORT_CSV", "REVIEW_MENU", {0, 160, 200, 79}, "Export to\nUSB (.CSV)"},
        {"BUTTON_DELETE_CSV", "REVIEW_MENU", {0, 240, 200, 79}, "Delete All"},
        {"LABEL_FAKE", "REVIEW_MENU", {0, 320, 200, 80}, ""},
        {"TABLEWIDGET_CSV", "PREVIOUS_COUNTS", {0, 0, 600, 400}, nullptr},
        {"BUTTON_DISK", "REVIEW_RESULTS", {9, 15, 164, 60}, "Internal\nStorage"},
        {"LABEL_DISK_DISABLE", "REVIEW_RESULTS", {9, 15, 164, 60}, "Internal\nStorage"},
        {"LABEL_FREE_DISK", "REVIEW_RESULTS", {9, 80, 164, 40}, "Free | 123.0 GB"},
        {"BUTTON_TEST", "REVIEW_RESULTS", {10, 280, 164, 50}, "OFF"},
        {"LABEL_RESULTS_TITLE", "REVIEW_RESULTS", {180, 0, 420, 38}, "File name"},
        {"TREEVIEW_FILE", "REVIEW_RESULTS", {180, 38, 420, 361}, nullptr},
        {"REVIEW_PAGE", "REVIEW_RESULTS", {180, 338, 420, 62}, nullptr},
        {"LABEL_CURRENT_PAGE", "REVIEW_PAGE", {126, 6, 80, 45}, "1"},
        {"LABEL_TOTAL_PAGE", "REVIEW_PAGE", {209, 6, 80, 45}, "/ 1"},
        {"BUTTON_VIEW_IMAGES", "VIEW_RESULTS_FRAME", {433, 219, 141, 41}, "Images >"},
        {"BUTTON_REANALYZE", "VIEW_RESULTS_FRAME", {433, 276, 141, 41}, "Reanalyze"},
        {"LABEL_AVERAGE_SIZE_TITLE", "VIEW_RESULTS_FRAME", {39, 196, 220, 30}, "Average cell size"},
        {"LABEL_DEAD_CELL_NUMBER", "VIEW_RESULTS_FRAME", {300, 292, 220, 30}, ""},
        {"LABEL_PROTOCOL_TITLE7", "VIEW_PROTOCOL_FRAME", {39, 260, 220, 30}, "Size gating"},
        {"BUTTON_VIEW_PROTOCOL", "VIEW_FRAME", {300, 0, 300, 40}, "Protocol"},
        {"VIEW_IMAGE_FRAME", "ReviewDlg", {200, 80, 600, 400}, nullptr},
        {"BUTTON_ZOOM", "VIEW_IMAGE_FRAME", {501, 302, 78, 78}, "    1x"},
        {"BUTTON_CLOSE", "VIEW_IMAGE_FRAME", {545, 20, 38, 38}, ""},
        {"TREE_PAGE", "ReviewDlg", {380, 118, 420, 300}, nullptr},
        {"LISTWIDGET_FILELIST", "ReviewDlg", {300, 119, 256, 359}, nullptr},
    };
    for (const auto& c : cases) {
        QWidget* w = widget(c.name);
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w->parentWidget()->objectName(), c.parent) << c.name;
        EXPECT_EQ(w->geometry(), c.geometry) << c.name;
        if (c.text) {
            EXPECT_EQ(text(c.name), c.text) << c.name;
        }
    }
    EXPECT_EQ(dlg->size(), QSize(800, 480));
    EXPECT_TRUE(dlg->windowFlags() & Qt::FramelessWindowHint);
    auto* tree = dlg->findChild<QTreeWidget*>("TREE_PAGE");
    EXPECT_EQ(tree->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(tree->indentation(), 23);
    EXPECT_EQ(tree->topLevelItemCount(), 0) << "the form's placeholder rows are gone";
    EXPECT_EQ(dlg->findChild<QAbstractItemView*>("TREEVIEW_FILE")->editTriggers(),
              QAbstractItemView::NoEditTriggers) << "a result folder is never renamed";
}

TEST_F(ReviewScreen, FormStacksItsWidgetsAndPairsTheMenuButtons)
{
    open();
    const QStringList dialog{"BUTTON_HOME",        "LISTWIDGET_FILELIST", "BUTTON_REVIEW_IMAGE", "REVIEW_MENU",
                             "TITLE_LINE1",        "TITLE_LINE2",         "LABEL_COMMON_DATETIME", "LABEL_LOGIN_ID",
                             "LABEL_REVIEW_TITLE", "LABEL_MODE",          "LABEL_COMMON_PROTOCOL", "LABEL_COMMON_TITLE2",
                             "LABEL_COMMON_TITLE", "VIEW_IMAGE_FRAME",    "PREVIOUS_COUNTS",     "TREE_PAGE",
                             "VIEW_FRAME",         "REVIEW_RESULTS"};
    // Opening raises the list over the results frame; the rest is the form's.
    QStringList opened = dialog;
    opened.move(opened.indexOf("TREE_PAGE"), opened.size() - 1);
    EXPECT_EQ(stacking(dlg.get(), dialog), opened);
    const QStringList results{"LABEL_RESULTS_TITLE", "LABEL_BACK",    "LABEL_FREE_DISK", "LIST_DISK",
                              "BUTTON_TEST",         "BUTTON_TEST_2", "BUTTON_DISK_LIST", "TREEVIEW_FILE",
                              "REVIEW_PAGE",         "BUTTON_DISK",   "LABEL_DISK_DISABLE"};
    EXPECT_EQ(stacking(widget("REVIEW_RESULTS"), results), results);
    const QStringList menu{"BUTTON_PREVIOUS_COUNTS", "BUTTON_VIEW", "BUTTON_EXPORT_CSV", "BUTTON_EXPORT",
                           "BUTTON_DELETE_CSV", "BUTTON_DELETE"};
    EXPECT_EQ(stacking(widget("REVIEW_MENU"), menu), menu) << "the later of each pair on top";
    EXPECT_EQ(stacking(widget("VIEW_FRAME"), {"VIEW_PROTOCOL_FRAME", "VIEW_RESULTS_FRAME"}),
              (QStringList{"VIEW_PROTOCOL_FRAME", "VIEW_RESULTS_FRAME"}));
    EXPECT_TRUE(button("BUTTON_VIEW_RESULTS")->isChecked());

    // Touch operation: only the two hidden test switches take the focus.
    for (QWidget* w : dlg->findChildren<QWidget*>()) {
        const bool focusable = w->focusPolicy() != Qt::NoFocus;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w)) {
            EXPECT_EQ(focusable, w->objectName().startsWith("BUTTON_TEST")) << w->objectName().toStdString();
        }
    }
    const QFont font = widget("LISTWIDGET_FILELIST")->font();
    EXPECT_EQ(font.family(), "Arial");
    EXPECT_EQ(font.pointSize(), 16);
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(widget("LABEL_REVIEW_TITLE")->font().pixelSize(), 24) << "the screen's own fonts";
}

TEST_F(ReviewScreen, MainStatesShowTheirFramesAndMenu)
{
    open();
    const QStringList watched{"REVIEW_RESULTS", "PREVIOUS_COUNTS", "VIEW_FRAME",        "VIEW_IMAGE_FRAME",
                              "TREE_PAGE",      "BUTTON_VIEW",     "BUTTON_EXPORT",     "BUTTON_DELETE",
                              "BUTTON_EXPORT_CSV", "BUTTON_DELETE_CSV", "LABEL_FAKE",   "BUTTON_ZOOM", "BUTTON_CLOSE"};
    const struct
    {
        ReviewSteps state;
        QStringList shown;
        QString title;
        QStringList checked;
        int previousCountsY;
        bool menuEnabled;
    } cases[] = {
        {REVIEW_STEP_PREVIOUS_COUNTS,
         {"PREVIOUS_COUNTS", "VIEW_IMAGE_FRAME", "BUTTON_EXPORT_CSV", "BUTTON_DELETE_CSV", "LABEL_FAKE"},
         "Previous Counts", {"BUTTON_PREVIOUS_COUNTS", "BUTTON_VIEW_RESULTS"}, 80, true},
        {REVIEW_STEP_RESULTS,
         {"REVIEW_RESULTS", "VIEW_IMAGE_FRAME", "TREE_PAGE", "BUTTON_VIEW", "BUTTON_EXPORT", "BUTTON_DELETE"},
         "Review Results", {"BUTTON_REVIEW_RESULTS", "BUTTON_VIEW_RESULTS"}, 320, true},
        {REVIEW_STEP_VIEW,
         {"VIEW_FRAME", "BUTTON_VIEW", "BUTTON_EXPORT", "BUTTON_DELETE"},
         "Review Results", {"BUTTON_VIEW", "BUTTON_VIEW_RESULTS"}, 320, true},
        {REVIEW_STEP_IMAGE,
         {"VIEW_IMAGE_FRAME", "BUTTON_VIEW", "BUTTON_EXPORT", "BUTTON_DELETE", "BUTTON_ZOOM", "BUTTON_CLOSE"},
         "Review Results", {"BUTTON_VIEW", "BUTTON_VIEW_RESULTS"}, 320, false},
        // Another value does only what every state does.
        {static_cast<ReviewSteps>(2),
         {"VIEW_IMAGE_FRAME", "BUTTON_VIEW", "BUTTON_EXPORT", "BUTTON_DELETE"},
         "Review Results", {"BUTTON_VIEW", "BUTTON_VIEW_RESULTS"}, 320, false},
    };
    for (const auto& c : cases) {
        dlg->setMainUIState(c.state);
        EXPECT_EQ(shownOf(watched), c.shown) << c.state;
        EXPECT_EQ(text("LABEL_REVIEW_TITLE"), c.title) << c.state;
        for (const char* name : {"BUTTON_REVIEW_RESULTS", "BUTTON_PREVIOUS_COUNTS", "BUTTON_VIEW", "BUTTON_VIEW_RESULTS"})
            EXPECT_EQ(button(name)->isChecked(), c.checked.contains(name)) << c.state << " " << name;
        EXPECT_EQ(button("BUTTON_PREVIOUS_COUNTS")->y(), c.previousCountsY) << c.state;
        EXPECT_EQ(widget("REVIEW_MENU")->isEnabled(), c.menuEnabled) << c.state;
    }
    EXPECT_EQ(dlg->mainUIState(), REVIEW_STEP_IMAGE) << "kept past an unknown state";

    dlg->setMainUIState(REVIEW_STEP_VIEW);

    button("BUTTON_PREVIOUS_COUNTS")->click();
    EXPECT_FALSE(widget("TABLEWIDGET_CSV")->isHidden());
    button("BUTTON_REVIEW_RESULTS")->click();
    EXPECT_EQ(dlg->mainUIState(), REVIEW_STEP_RESULTS);
}

TEST_F(ReviewScreen, HeaderShowsTheModeAndItsLoadedProtocol)
{
    theApp.m_strTotalProtocolName = "Mine";
    theApp.m_strViabilityProtocolName = "HeLa";
    for (const int mode : {0, 1}) {
        theApp.m_CountingMode = mode;
        open();
        EXPECT_TRUE(widget("LABEL_MODE")->styleSheet().contains(mode == 0 ? "BF_T_mode.png" : "BF_V_mode.png"));
        EXPECT_EQ(text("LABEL_COMMON_PROTOCOL"), mode == 0 ? "Mine" : "HeLa");
        EXPECT_EQ(dlg->findChild<QTableWidget*>("TABLEWIDGET_CSV")->columnCount(), mode == 0 ? 5 : 8);
    }
    theApp.m_strTotalProtocolName = theApp.m_strViabilityProtocolName = "DEFAULT";
}

TEST_F(ReviewScreen, PageLabelsOpenTheKeypadOverTheDimmedScreen)
{
    open();
    for (const char* label : {"LABEL_CURRENT_PAGE", "LABEL_TOTAL_PAGE"}) {
        bool dimmed = false;
        int digits = 0;
        WhenModal<NumberKeypadDlg> keypad([&](NumberKeypadDlg* open) {
            dimmed = dlg->findChild<QLabel*>("DIM_OVERLAY")->isVisibleTo(dlg.get());
            digits = open->findChild<QLineEdit*>("EDIT_NORMAL")->maxLength();
            open->findChild<QPushButton*>("BUTTON_X")->click();
        });
        QTest::mouseClick(widget(label), Qt::LeftButton);
        ASSERT_TRUE(keypad.done()) << label;
        EXPECT_TRUE(dimmed);
        EXPECT_EQ(digits, 3);
        EXPECT_FALSE(dlg->findChild<QLabel*>("DIM_OVERLAY")->isVisibleTo(dlg.get()));
    }
    dlg->show();
    button("BUTTON_HOME")->click();
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
    EXPECT_FALSE(dlg->isVisible());
}

}  // namespace
