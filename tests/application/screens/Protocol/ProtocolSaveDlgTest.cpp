#include "Protocol/ProtocolSaveDlg.h"

#include "ProtocolTestRoot.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

namespace {

class ProtocolSavePage : public ProtocolTestRoot
{
protected:
    void SetUp() override
    {
        ProtocolTestRoot::SetUp();
        page = std::make_unique<ProtocolSaveDlg>();
        page->setData_Total({"", "9", "30", "6", "4", "20"});
        page->setData_Viability({"", "8", "28", "6", "7", "3", "10"});
        page->show();
    }

    QLineEdit* name() const { return page->findChild<QLineEdit*>("EDIT_PROTOCOL_NAME2"); }
    QPushButton* key(const char* objectName) const { return page->findChild<QPushButton*>(objectName); }
    // A key event as the on-screen keys send it: to the page, without text.
    void send(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(page.get(), &press);
    }
    // Saves the typed name, answering the message it is expected to raise
    // (none when `answer` is empty); the text shown.
    QString save(const QString& typed, const char* answer = nullptr)
    {
        name()->setText(typed);
        if (answer)
            boxes.plan(QByteArray(answer) == "OK");
        const int before = boxes.shown.size();
        send(Qt::Key_Enter);
        return boxes.shown.size() > before ? boxes.shown.last() : QString();
    }
    QList<int> savedTotal(const QString& protocol) const
    {
        PROTOCOL_BF_TOTAL_CELL_COUNTING_t p;
        KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(
            protocol, KovaCoreApp::gen_local_protocol_ini_path(0, protocol), p);
        return {p.min_search_size.toInt(), p.max_search_size.toInt(), p.cell_detection_sensitivity.toInt(),
                p.noise_reduction.toInt(), p.dilution_factor.toInt()};
    }

    std::unique_ptr<ProtocolSaveDlg> page;
};

TEST_F(ProtocolSavePage, NamesAreCheckedBeforeAnythingIsWritten)
{
    const QStringList builtIn = files(0) + files(1);
    const struct
    {
        int mode;
        const char* typed;
        int refusal;
    } refused[] = {
        {0, "   ", 22}, {0, "", 22}, {0, "DEFAULT", 20}, {0, "PBMC  ", 20}, {1, "PBMC", 20}, {1, "HeLa", 20},
        {1, "U-937", 20},
    };
    for (const auto& c : refused) {
        theApp.m_CountingMode = c.mode;
        const QString shown = save(c.typed, "OK");
        const QString arg = c.refusal == 20 ? QString(c.typed).trimmed() : QString();
        EXPECT_EQ(shown, message(c.refusal, arg)) << c.typed;
        EXPECT_TRUE(page->isVisible()) << c.typed;
        EXPECT_EQ(name()->text(), c.typed) << "the field keeps what was typed";
        EXPECT_EQ(files(0) + files(1), builtIn) << c.typed;
    }

    const struct
    {
        int mode;
        const char* typed;
        const char* file;
    } saved[] = {
        {0, "My Cells ", "My Cells.ini"},  // trailing blanks go
        {0, " x", " x.ini"},               // a leading one stays
        {0, "HeLa", "HeLa.ini"},           // a cell line only in the viability mode
        {0, "default", "default.ini"},     // names are compared exactly
        {1, "pbmc", "pbmc.ini"},
    };
    for (const auto& c : saved) {
        theApp.m_CountingMode = c.mode;
        page->show();
        EXPECT_EQ(save(c.typed), "") << c.typed;
        EXPECT_EQ(page->result(), QDialog::Accepted);
        EXPECT_FALSE(page->isVisible());
        EXPECT_TRUE(files(c.mode).contains(c.file)) << c.file;
    }
    EXPECT_EQ(savedTotal("My Cells"), (QList<int>{9, 30, 6, 4, 20}));
    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t v;
    KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY("pbmc", KovaCoreApp::gen_local_protocol_ini_path(1, "pbmc"),
                                                               v);
    EXPECT_EQ((QStringList{v.min_search_size, v.max_search_size, v.cell_detection_sensitivity, v.live_cell_sensitivity,
                           v.noise_reduction, v.dilution_factor}),
              (QStringList{"8", "28", "6", "7", "3", "10"}));
}

TEST_F(ProtocolSavePage, AnExistingNameIsReplacedOnlyAfterTheQuestion)
{
    writeProtocol(0, "Mine", {7, 24, 5, 5, 1});
    page->setProtooclList({"DEFAULT", "PBMC", "Mine"});

    EXPECT_EQ(save("Mine", "CANCEL"), message(19));
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(name()->text(), "Mine");
    EXPECT_EQ(savedTotal("Mine"), (QList<int>{7, 24, 5, 5, 1}));

    bool dimmedWhileAsked = false;
    boxes.plan(true, [&] { dimmedWhileAsked = page->get_backStatus(); });
    send(Qt::Key_Enter);
    EXPECT_TRUE(dimmedWhileAsked);
    EXPECT_FALSE(page->get_backStatus());
    EXPECT_EQ(page->result(), QDialog::Accepted);
    EXPECT_EQ(savedTotal("Mine"), (QList<int>{9, 30, 6, 4, 20}));
}

TEST_F(ProtocolSavePage, AFailedWriteKeepsThePageOpen)
{
    QDir().mkpath(folder(0) + "/Blocked.ini");  // a folder where the file belongs
    EXPECT_EQ(save("Blocked", "OK"), message(5));
    EXPECT_TRUE(page->isVisible());
    EXPECT_FALSE(page->get_backStatus());
}

TEST_F(ProtocolSavePage, KeysTypeOnlyWhatANameMayHold)
{
    name()->clear();
    send(Qt::Key_A);
    send(Qt::Key_B, Qt::ShiftModifier);
    send(Qt::Key_7);
    send(Qt::Key_Period);
    send(Qt::Key_Minus);
    send(Qt::Key_Underscore);
    send(Qt::Key_Space);
    send(Qt::Key_Comma);
    EXPECT_EQ(name()->text(), "aB7-_ ");
    send(Qt::Key_Backspace);
    EXPECT_EQ(name()->text(), "aB7-_");

    send(Qt::Key_Escape);
    send(Qt::Key_Return);
    EXPECT_TRUE(page->isVisible());
    EXPECT_TRUE(files(0).size() == 2) << "nothing saved";

    // The on-screen keys reach the page the same way.
    key("BUTTON_KEY_CLEAR")->click();
    EXPECT_EQ(name()->text(), "");
    EXPECT_FALSE(key("BUTTON_KEY_CLEAR")->isEnabled());
    key("BUTTON_KEY_Q")->click();
    EXPECT_EQ(name()->text(), "q");
    EXPECT_TRUE(key("BUTTON_KEY_CLEAR")->isEnabled());

    page->setFilename(QString(33, QLatin1Char('n')));
    EXPECT_EQ(name()->text(), QString(32, QLatin1Char('n')));

    key("BUTTON_BACK")->click();
    EXPECT_FALSE(page->isVisible());
    EXPECT_EQ(page->result(), QDialog::Rejected);
    EXPECT_EQ(files(0).size(), 2);
}

}  // namespace
