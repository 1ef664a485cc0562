#include "Protocol/ProtocolDlg.h"
#include "Protocol/ProtocolSaveDlg.h"

#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"

#include "ImmutableFolder.h"
#include "ProtocolTestRoot.h"
#include "WhenModal.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include <memory>

namespace {

const QStringList kViabilityBuiltIns{"DEFAULT", "PBMC", "IQOQ", "3T3", "HeLa", "HL-60", "McCoy", "RAW264_7", "U-937"};

class ProtocolScreen : public ProtocolTestRoot
{
protected:
    void open()
    {
        dlg = std::make_unique<ProtocolDlg>();
    }

    QListWidget* list() const { return dlg->findChild<QListWidget*>("LIST_PROTOCOL"); }
    QString current() const { return list()->currentItem() ? list()->currentItem()->text() : QString(); }
    void select(const QString& name) const
    {
        const auto rows = list()->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        ASSERT_EQ(rows.size(), 1) << name.toStdString();
        list()->setCurrentItem(rows.first());
    }
    QPushButton* button(const QString& name) const { return dlg->findChild<QPushButton*>(name); }
    QString frame() const { return theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING ? "TOTAL" : "VIABILITY"; }
    QLabel* value(int column) const
    {
        return dlg->findChild<QLabel*>(QStringLiteral("LABEL_PROTOCOL_%1_EDIT_%2").arg(frame()).arg(column));
    }
    QPushButton* stepper(int column, bool up) const
    {
        return button(QStringLiteral("BUTTON_PROTOCOL_%1_EDIT_%2_%3").arg(frame(), up ? "UP" : "DOWN").arg(column));
    }
    // The values shown, in parameter order.
    QStringList shown() const
    {
        QStringList values;
        for (int column = 1; column <= (frame() == "TOTAL" ? 5 : 6); ++column)
            values << value(column)->text();
        return values;
    }
    bool steppersOn() const { return stepper(1, true)->isEnabled(); }
    // Presses a button, answering the one message it is expected to raise.
    QString pressAnswering(const char* name, bool ok = true)
    {
        boxes.plan(ok);
        button(name)->click();
        return boxes.shown.value(boxes.shown.size() - 1);
    }

    std::unique_ptr<ProtocolDlg> dlg;
};

TEST_F(ProtocolScreen, ListsBuiltInsFirstThenTheFilesInCharacterCodeOrder)
{
    const struct
    {
        int mode;
        QStringList files;
        QString loaded;
        QStringList rows;
        QString current;  // "" for none
    } cases[] = {
        {0, {"b.ini", "Z.ini", "a.ini", "DEFAULT.ini"}, "a", {"DEFAULT", "PBMC", "Z", "a", "b"}, "a"},
        // The built-ins are listed even when their files are missing.
        {1, {"DEFAULT.ini", "mine.ini"}, "DEFAULT", kViabilityBuiltIns + QStringList{"mine"}, "DEFAULT"},
        // A cell line's name is a user protocol in the total mode; other
        // files and other cases are no protocols.
        {0, {"HeLa.ini", "notes.txt", "UPPER.INI"}, "HeLa", {"DEFAULT", "PBMC", "HeLa"}, "HeLa"},
        // Only the last ".ini" goes; the loaded protocol's file is gone.
        {0, {"x.ini.ini"}, "gone", {"DEFAULT", "PBMC", "x.ini"}, ""},
        {0, {}, "DEFAULT", {}, ""},
    };
    for (const auto& c : cases) {
        QDir(folder(c.mode)).removeRecursively();
        QDir().mkpath(folder(c.mode));
        for (const QString& file : c.files)
            root.writeFile(protocol_folder(c.mode) + "/" + file, "[Min.%20search%20size]\nSize=9\n");
        theApp.m_CountingMode = c.mode;
        (c.mode == 0 ? theApp.m_strTotalProtocolName : theApp.m_strViabilityProtocolName) = c.loaded;
        open();
        EXPECT_EQ(dlg->getProtocollist(), c.rows) << c.loaded.toStdString();
        EXPECT_EQ(dlg->findChild<QLabel*>(QStringLiteral("LABEL_PROTOCOL_%1_TITLE_1").arg(frame()))->text(),
                  "Min.\nsearch size\n(3~59um)");
        EXPECT_EQ(current(), c.current) << c.loaded.toStdString();
    }
}

// Without a current row (an empty folder, or the loaded protocol's file gone)
// Load, Edit, Delete and Save as do nothing: no message, no file.
TEST_F(ProtocolScreen, WithoutACurrentRowTheActionsDoNothing)
{
    for (const bool empty : {true, false}) {
        QDir(folder(0)).removeRecursively();
        QDir().mkpath(folder(0));
        if (!empty)
            writeProtocol(0, "Other", {9, 30, 5, 5, 1});
        theApp.m_strTotalProtocolName = "Gone";
        open();
        ASSERT_EQ(current(), "");
        for (const char* action : {"BUTTON_LOAD", "BUTTON_EDIT", "BUTTON_DELETE", "BUTTON_SAVE_AS"})
            button(action)->click();
        EXPECT_EQ(files(0), empty ? QStringList() : QStringList{"Other.ini"});
        EXPECT_FALSE(steppersOn());
        EXPECT_EQ(theApp.m_strTotalProtocolName, "Gone");
    }
}

TEST_F(ProtocolScreen, SteppersKeepEachParameterWithinItsRuleInBothFrames)
{
    enum { Min, Max, Detection, Live, Noise, Dilution };
    const int totalColumn[] = {1, 2, 3, 0, 4, 5};
    const int viabilityColumn[] = {1, 2, 3, 4, 5, 6};
    const struct
    {
        int parameter;
        bool up;
        const char* from;
        const char* to;
        const char* min = "7";
        const char* max = "24";
    } cases[] = {
        {Min, true, "23", "23", "23", "24"},      {Max, false, "24", "24", "23", "24"},
        {Min, false, "3", "3", "3", "24"},        {Max, true, "60", "60", "7", "60"},
        {Min, true, "22", "23", "22", "24"},      {Max, false, "25", "24", "7", "25"},
        {Dilution, true, "9", "10"},              {Dilution, true, "10", "20"},
        {Dilution, true, "100", "100"},           {Dilution, false, "20", "10"},
        {Dilution, false, "10", "9"},             {Dilution, false, "11", "1"},
        {Dilution, false, "1", "1"},              {Noise, false, "0", "0"},
        {Noise, true, "9", "9"},                  {Detection, true, "10", "10"},
        {Detection, false, "1", "1"},             {Live, true, "10", "10"},
        {Live, false, "2", "1"},
        // Text that is no number counts as 0; a stepper that may not move
        // leaves it as it is.
        {Noise, true, "x", "1"},                  {Detection, false, "x", "x"},
    };
    for (const int mode : {0, 1}) {
        theApp.m_CountingMode = mode;
        writeProtocol(mode, "Mine", {7, 24, 5, 5, 5, 2});
        open();
        select("Mine");
        button("BUTTON_EDIT")->click();
        ASSERT_TRUE(steppersOn());
        for (const auto& c : cases) {
            const int column = (mode == 0 ? totalColumn : viabilityColumn)[c.parameter];
            if (column == 0)
                continue;
            value(1)->setText(c.min);
            value(2)->setText(c.max);
            value(column)->setText(c.from);
            stepper(column, c.up)->click();
            EXPECT_EQ(value(column)->text(), c.to)
                << "mode " << mode << " column " << column << (c.up ? " up from " : " down from ") << c.from;
        }
        // A value off the steps goes on in tens and stops past 100.
        const int dilution = mode == 0 ? 5 : 6;
        value(dilution)->setText("15");
        QStringList seen;
        for (int i = 0; i < 11; ++i) {
            stepper(dilution, true)->click();
            seen << value(dilution)->text();
        }
        EXPECT_EQ(seen, (QStringList{"25", "35", "45", "55", "65", "75", "85", "95", "105", "105", "105"}));
    }

    // A level read from a file above the steppers' range.
    theApp.m_CountingMode = 0;
    writeProtocol(0, "High", {7, 24, 12, 5, 1});
    open();
    select("High");
    button("BUTTON_EDIT")->click();
    stepper(3, true)->click();
    EXPECT_EQ(value(3)->text(), "12");
    stepper(3, false)->click();
    EXPECT_EQ(value(3)->text(), "11");
}

TEST_F(ProtocolScreen, EditRefusesTheBuiltInsOfTheMode)
{
    writeProtocol(0, "HeLa", {12, 27, 5, 5, 2});
    const struct
    {
        int mode;
        const char* name;
        bool refused;
    } cases[] = {{0, "PBMC", true}, {1, "PBMC", true}, {1, "HeLa", true}, {0, "HeLa", false}, {0, "DEFAULT", true}};
    for (const auto& c : cases) {
        theApp.m_CountingMode = c.mode;
        open();
        select(c.name);
        if (c.refused)
            EXPECT_EQ(pressAnswering("BUTTON_EDIT"), message(20, c.name)) << c.name;
        else
            button("BUTTON_EDIT")->click();
        EXPECT_EQ(steppersOn(), !c.refused) << c.mode << " " << c.name;
    }
}

TEST_F(ProtocolScreen, DeleteChecksBuiltInThenInUseThenCellLine)
{
    writeProtocol(0, "Loaded", {9, 30, 5, 5, 1});
    const struct
    {
        int mode;
        const char* loaded;
        const char* name;
        int refusal;
    } cases[] = {
        {0, "DEFAULT", "DEFAULT", 20},  // even while it is loaded
        {1, "HeLa", "HeLa", 21},        // in use, before the cell-line check
        {1, "DEFAULT", "McCoy", 20},
        {0, "Loaded", "Loaded", 21},
    };
    for (const auto& c : cases) {
        theApp.m_CountingMode = c.mode;
        (c.mode == 0 ? theApp.m_strTotalProtocolName : theApp.m_strViabilityProtocolName) = c.loaded;
        const QStringList before = files(c.mode);
        open();
        select(c.name);
        const QString arg = c.refusal == 20 ? QString(c.name) : QString();
        EXPECT_EQ(pressAnswering("BUTTON_DELETE"), message(c.refusal, arg)) << c.name;
        EXPECT_EQ(files(c.mode), before);
        EXPECT_EQ(current(), c.name);
    }
}

TEST_F(ProtocolScreen, ConfirmedDeleteRemovesFileAndRowAndShowsTheRowAbove)
{
    writeProtocol(0, "A", {9, 30, 6, 4, 10});
    writeProtocol(0, "B", {10, 31, 7, 3, 20});
    open();
    select("B");

    EXPECT_EQ(pressAnswering("BUTTON_DELETE", false), message(18));
    EXPECT_EQ(files(0), (QStringList{"A.ini", "B.ini", "DEFAULT.ini", "PBMC.ini"}));
    EXPECT_EQ(dlg->getProtocollist(), (QStringList{"DEFAULT", "PBMC", "A", "B"}));

    EXPECT_EQ(pressAnswering("BUTTON_DELETE"), message(18));
    EXPECT_EQ(files(0), (QStringList{"A.ini", "DEFAULT.ini", "PBMC.ini"}));
    EXPECT_EQ(dlg->getProtocollist(), (QStringList{"DEFAULT", "PBMC", "A"}));
    EXPECT_EQ(current(), "A");
    EXPECT_EQ(shown(), (QStringList{"9", "30", "6", "4", "10"}));

    // A file that cannot be removed keeps its row.
    ImmutableFolder locked(folder(0));
    if (!locked.isSet())
        GTEST_SKIP() << "no immutable folders here";
    pressAnswering("BUTTON_DELETE");
    EXPECT_EQ(files(0), (QStringList{"A.ini", "DEFAULT.ini", "PBMC.ini"}));
    EXPECT_EQ(dlg->getProtocollist(), (QStringList{"DEFAULT", "PBMC", "A"}));
    EXPECT_EQ(current(), "A");
}

// Load writes the shown values into the protocol's file in the built-ins'
// INI form and makes them the loaded protocol; the gating stays.
TEST_F(ProtocolScreen, LoadAfterSteppingWritesTheFileAndTheLoadedProtocol)
{
    writeProtocol(0, "Mine", {7, 24, 5, 5, 1});
    theApp.m_Loaded_Total_Protocol = {"DEFAULT", 7, 24, 5, 5, 1, 11, 42};
    open();
    select("Mine");
    button("BUTTON_EDIT")->click();
    stepper(1, true)->click();
    stepper(1, true)->click();
    stepper(5, true)->click();

    EXPECT_EQ(pressAnswering("BUTTON_LOAD"), message(17));
    EXPECT_EQ(QString::fromLatin1(root.readFile(protocol_folder(0) + "/Mine.ini")),
              "[Cell%20detection%20sensitivity]\nValue=5\n\n[Dilution%20factor]\nValue=2\n\n"
              "[Max.%20search%20size]\nSize=24\n\n[Min.%20search%20size]\nSize=9\n\n"
              "[Noise%20reduction]\nValue=5\n");
    const auto& loaded = theApp.m_Loaded_Total_Protocol;
    EXPECT_EQ(loaded.name, "Mine");
    EXPECT_EQ((QList<int>{loaded.min_search_size, loaded.max_search_size, loaded.cell_detection_sensitivity,
                          loaded.noise_reduction, loaded.dilution_factor, loaded.gating_min_size,
                          loaded.gating_max_size}),
              (QList<int>{9, 24, 5, 5, 2, 11, 42}));
    EXPECT_EQ(theApp.m_strTotalProtocolName, "Mine");
    EXPECT_EQ(dlg->findChild<QLabel*>("LABEL_COMMON_PROTOCOL")->text(), "Mine");
    EXPECT_FALSE(steppersOn());
}

// Whatever the screen lists and loads is still the loaded protocol after a
// restart: written to the settings file and read back at start-up.
TEST_F(ProtocolScreen, ALoadedProtocolOutlastsARestart)
{
    const struct
    {
        int mode;
        const char* file;  // in the mode's folder
        const char* row;
    } cases[] = {
        {0, "x.ini.ini", "x.ini"},
        {0, "1.5 \u00b5m.ini", "1.5 \u00b5m"},
        {1, "Zellen \u00e4 (B).ini", "Zellen \u00e4 (B)"},
        {1, " a,b=c;d.ini", " a,b=c;d"},
    };
    for (const auto& c : cases) {
        const QString row = QString::fromUtf8(c.row);
        SCOPED_TRACE(row.toStdString());
        theApp.m_CountingMode = c.mode;
        const QList<int> values = c.mode == 0 ? QList<int>{6, 20, 4, 3, 2} : QList<int>{6, 20, 4, 8, 3, 2};
        writeProtocol(c.mode, row, values);
        ASSERT_TRUE(files(c.mode).contains(QString::fromUtf8(c.file)));
        open();
        select(row);
        EXPECT_EQ(pressAnswering("BUTTON_LOAD"), message(17));
        ASSERT_TRUE(MainSettings::before_loseINI());

        theApp.m_strTotalProtocolName = theApp.m_strViabilityProtocolName = QStringLiteral("PBMC");
        QSettings settings(root.path(kova::kMainIni), QSettings::IniFormat);
        MainSettings::IdleMinutes idle;
        MainSettings::read_INI(settings, idle);
        if (c.mode == 0) {
            const auto& loaded = theApp.m_Loaded_Total_Protocol;
            EXPECT_EQ(theApp.m_strTotalProtocolName, row);
            EXPECT_EQ(loaded.name, row);
            EXPECT_EQ((QList<int>{loaded.min_search_size, loaded.max_search_size, loaded.cell_detection_sensitivity,
                                  loaded.noise_reduction, loaded.dilution_factor}),
                      values);
        } else {
            const auto& loaded = theApp.m_Loaded_Viability_Protocol;
            EXPECT_EQ(theApp.m_strViabilityProtocolName, row);
            EXPECT_EQ(loaded.name, row);
            EXPECT_EQ((QList<int>{loaded.min_search_size, loaded.max_search_size, loaded.cell_detection_sensitivity,
                                  loaded.live_cell_sensitivity, loaded.noise_reduction, loaded.dilution_factor}),
                      values);
        }
    }
}

TEST_F(ProtocolScreen, AnEditIsDroppedWhenAnotherRowIsChosen)
{
    theApp.m_CountingMode = 1;
    writeProtocol(1, "Mine", {7, 24, 5, 6, 5, 2});
    open();
    select("Mine");
    button("BUTTON_EDIT")->click();
    stepper(4, false)->click();
    ASSERT_EQ(value(4)->text(), "5");
    select("HeLa");
    EXPECT_FALSE(steppersOn());
    select("Mine");
    EXPECT_EQ(shown(), (QStringList{"7", "24", "5", "6", "5", "2"}));
    EXPECT_TRUE(files(1).contains("Mine.ini"));
}

// A file that cannot be written is no loaded protocol: message 5 instead of
// 17, nothing changes, the edit stays.
TEST_F(ProtocolScreen, LoadWhoseFileCannotBeWrittenChangesNothing)
{
    writeProtocol(0, "Mine", {7, 24, 5, 5, 1});
    open();
    select("Mine");
    button("BUTTON_EDIT")->click();
    stepper(1, true)->click();
    ASSERT_TRUE(QFile::remove(folder(0) + "/Mine.ini"));
    QDir().mkpath(folder(0) + "/Mine.ini");  // a folder where the file belongs
    theApp.m_Loaded_Total_Protocol = {"DEFAULT", 7, 24, 5, 5, 1, -1, -1};

    EXPECT_EQ(pressAnswering("BUTTON_LOAD"), message(5));
    EXPECT_EQ(theApp.m_strTotalProtocolName, "DEFAULT");
    EXPECT_EQ(theApp.m_Loaded_Total_Protocol.name, "DEFAULT");
    EXPECT_EQ(theApp.m_Loaded_Total_Protocol.min_search_size, 7);
    EXPECT_TRUE(steppersOn());
    EXPECT_EQ(value(1)->text(), "8");
}

// slotSave stores the loaded protocol of the mode under a name and lists it;
// a name that is no typed name, or a file that cannot be written, fails.
TEST_F(ProtocolScreen, SaveSlotStoresTheLoadedProtocolUnderANameAndReportsHowItWent)
{
    const struct {
        const char* what;
        int mode;
        QString name;
        bool detect;
        const char* file;  // null: none written
        QStringList values;  // of the file, in parameter order
        bool completed;
    } cases[] = {
        {"total, blanks at the end dropped", BF_TOTAL_CELL_COUNTING, "Mine  ", false, "Mine", {"9", "31", "4", "6", "20"}, true},
        {"viability", BF_CELL_COUNTING_VIABILITY, "Cells", false, "Cells", {"8", "40", "3", "7", "2", "10"}, true},
        {"already listed: no second row", BF_TOTAL_CELL_COUNTING, "PBMC", false, "PBMC", {"9", "31", "4", "6", "20"}, true},
        {"detect stores nothing", BF_TOTAL_CELL_COUNTING, "Other", true, nullptr, {}, true},
        {"a name with a path in it", BF_TOTAL_CELL_COUNTING, "../Escape", false, nullptr, {}, false},
        {"blanks only", BF_TOTAL_CELL_COUNTING, "   ", false, nullptr, {}, false},
        {"a folder where the file belongs", BF_TOTAL_CELL_COUNTING, "Blocked", false, nullptr, {}, false},
    };
    ASSERT_TRUE(QDir().mkpath(folder(BF_TOTAL_CELL_COUNTING) + "/Blocked.ini"));
    theApp.m_Loaded_Total_Protocol = {"DEFAULT", 9, 31, 4, 6, 20, 11, 42};
    theApp.m_Loaded_Viability_Protocol = {"DEFAULT", 8, 40, 3, 7, 2, 10, 11, 42};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        theApp.m_CountingMode = c.mode;
        open();
        const QStringList filesBefore = files(c.mode);
        const QStringList rowsBefore = dlg->getProtocollist();
        QSignalSpy completed(dlg.get(), &ProtocolDlg::signalSaveCompleted);
        QSignalSpy failed(dlg.get(), &ProtocolDlg::signalSaveFailed);

        dlg->slotSave(c.name, c.detect);

        EXPECT_EQ(completed.count(), c.completed ? 1 : 0);
        EXPECT_EQ(failed.count(), c.completed ? 0 : 1);
        const bool listedBefore = rowsBefore.contains(QString(c.file));
        EXPECT_EQ(dlg->getProtocollist(), c.file && !listedBefore ? rowsBefore + QStringList{c.file} : rowsBefore);
        if (!c.file) {
            EXPECT_EQ(files(c.mode), filesBefore);
            EXPECT_FALSE(QFile::exists(folder(c.mode) + "/../Escape.ini"));
            continue;
        }
        const QString path = KovaCoreApp::gen_local_protocol_ini_path(c.mode, c.file);
        QStringList stored;
        if (c.mode == BF_TOTAL_CELL_COUNTING) {
            PROTOCOL_BF_TOTAL_CELL_COUNTING_t p;
            KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(c.file, path, p);
            stored = QStringList{p.min_search_size, p.max_search_size, p.cell_detection_sensitivity, p.noise_reduction,
                      p.dilution_factor};
        } else {
            PROTOCOL_BF_CELL_COUNTING_VIABILITY_t p;
            KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY(c.file, path, p);
            stored = QStringList{p.min_search_size, p.max_search_size, p.cell_detection_sensitivity, p.live_cell_sensitivity,
                      p.noise_reduction, p.dilution_factor};
        }
        EXPECT_EQ(stored, c.values);
    }
}

TEST_F(ProtocolScreen, SaveAsOpensBelowThreeHundredRowsAndReturnsToTheLoadedProtocol)
{
    for (int i = 0; i < 297; ++i)
        writeProtocol(0, QStringLiteral("P%1").arg(i, 3, 10, QLatin1Char('0')), {7, 24, 5, 5, 1});
    writeProtocol(0, "Mine", {8, 25, 6, 4, 3});
    theApp.m_strTotalProtocolName = "Mine";
    open();
    ASSERT_EQ(dlg->getProtocollist().size(), 300);
    EXPECT_EQ(pressAnswering("BUTTON_SAVE_AS"), message(23));

    ASSERT_TRUE(QFile::remove(folder(0) + "/P000.ini"));
    open();
    select("P001");
    QString offered;
    QStringList existing;
    WhenModal<ProtocolSaveDlg> saveAs([&](ProtocolSaveDlg* page) {
        offered = page->findChild<QLineEdit*>("EDIT_PROTOCOL_NAME2")->text();
        page->findChild<QLineEdit*>("EDIT_PROTOCOL_NAME2")->setText("New");
        page->on_BUTTON_KEY_ENTER_clicked();
    });
    button("BUTTON_SAVE_AS")->click();
    ASSERT_TRUE(saveAs.done());
    EXPECT_EQ(offered, "P001");
    EXPECT_TRUE(files(0).contains("New.ini"));
    EXPECT_EQ(dlg->getProtocollist().size(), 300);
    EXPECT_EQ(current(), "Mine");
    EXPECT_EQ(shown(), (QStringList{"8", "25", "6", "4", "3"}));
}

// Save as hands over the values shown, edited or not.
TEST_F(ProtocolScreen, SaveAsStoresTheShownValues)
{
    theApp.m_CountingMode = 1;
    writeProtocol(1, "Mine", {7, 24, 5, 5, 5, 2});
    open();
    select("Mine");
    button("BUTTON_EDIT")->click();
    stepper(6, true)->click();
    WhenModal<ProtocolSaveDlg> saveAs([&](ProtocolSaveDlg* page) {
        page->findChild<QLineEdit*>("EDIT_PROTOCOL_NAME2")->setText("Copy");
        page->on_BUTTON_KEY_ENTER_clicked();
    });
    button("BUTTON_SAVE_AS")->click();
    ASSERT_TRUE(saveAs.done());
    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t copy;
    KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY("Copy", KovaCoreApp::gen_local_protocol_ini_path(1, "Copy"),
                                                               copy);
    EXPECT_EQ(copy.dilution_factor, "3");
    EXPECT_EQ(current(), "DEFAULT");
}

TEST_F(ProtocolScreen, DimmingFollowsTheSaveAsPageAndHomeReturnsToTheHomeScreen)
{
    open();
    QLabel* overlay = dlg->findChild<QLabel*>("DIM_OVERLAY");
    dlg->slot_set_backLabel(true);
    EXPECT_TRUE(overlay->isVisibleTo(dlg.get()));
    dlg->slot_set_backLabel(false);
    EXPECT_FALSE(overlay->isVisibleTo(dlg.get()));

    bool screenDimmed = true;
    bool pageDimmed = false;
    WhenModal<ProtocolSaveDlg> saveAs([&](ProtocolSaveDlg* page) {
        dlg->slot_set_backLabel(true);
        screenDimmed = overlay->isVisibleTo(dlg.get());
        pageDimmed = page->get_backStatus();
        dlg->slot_set_backLabel(false);
        pageDimmed = pageDimmed && !page->get_backStatus();
        page->findChild<QPushButton*>("BUTTON_BACK")->click();
    });
    button("BUTTON_SAVE_AS")->click();
    ASSERT_TRUE(saveAs.done());
    EXPECT_FALSE(screenDimmed);
    EXPECT_TRUE(pageDimmed);

    dlg->show();
    button("BUTTON_HOME")->click();
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
    EXPECT_FALSE(dlg->isVisible());
}

}  // namespace
