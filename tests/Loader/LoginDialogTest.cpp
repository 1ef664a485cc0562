#include "LoginDialog.h"

#include "LoaderBench.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

const QString kSerial = QStringLiteral("KO3-21-00042");
const char kErrorBorder[] = "rgb(255, 46, 146)";

// A login dialog on screen with the serial number as its password.
struct LoginBench
{
    LoginBench()
    {
        dialog.m_strPassword = kSerial;
        dialog.show();
    }
    template <typename T>
    T* child(const char* name)
    {
        auto* found = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // Touches the on-screen keys for `text`, then Enter.
    void typeOnKeys(const QString& text)
    {
        for (const QChar c : text) {
            const QString name = c == '-' ? QStringLiteral("BUTTON_KEY_BAR") : QStringLiteral("BUTTON_KEY_") + c;
            child<QPushButton>(name.toLatin1().constData())->click();
        }
    }
    bool inputLayerInFront()
    {
        QWidget* top = dialog.childAt(400, 300);
        return top && child<QFrame>("inputframe")->isAncestorOf(top);
    }

    LoginDialog dialog;
    QSignalSpy logins{&dialog, &LoginDialog::sig_normal_login};
};

}  // namespace

TEST(LoginDialog, TruthTableOfIdAndPassword)
{
    const struct
    {
        const char* id;
        QString password;
        bool idRight;
        bool passwordRight;
    } cases[] = {
        {"velim", kSerial, true, true},           {"VELIM", kSerial, true, true},
        {"other", kSerial, false, true},          {"velim", kSerial + " ", true, false},
        {"VELIM", kSerial + " ", true, false},    {"other", kSerial + " ", false, false},
        {"velim", "KO3-21-00043", true, false},   {"VELIM", "", true, false},
        {"other", "wrong", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + "/" + c.password.toStdString());
        LoginBench bench;
        bench.child<QLineEdit>("EDIT_ID")->setText(c.id);
        bench.child<QLineEdit>("EDIT_PASSWORD")->setText(c.password);
        bench.child<QPushButton>("BUTTON_OK")->click();

        const bool accepted = c.idRight && c.passwordRight;
        EXPECT_EQ(bench.logins.count(), accepted ? 1 : 0);
        EXPECT_EQ(bench.dialog.result(), accepted ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(bench.dialog.isVisible(), !accepted);
        EXPECT_EQ(bench.child<QLabel>("LABEL_ERROR_ID")->isHidden(), c.idRight);
        EXPECT_EQ(bench.child<QLabel>("LABEL_ERROR_PASSWORD")->isHidden(), c.passwordRight);
        EXPECT_EQ(bench.child<QLineEdit>("EDIT_ID")->styleSheet().contains(kErrorBorder), !c.idRight);
        EXPECT_EQ(bench.child<QLineEdit>("EDIT_PASSWORD")->styleSheet().contains(kErrorBorder), !c.passwordRight);
    }
}

TEST(LoginDialog, TypingOnTheKeyboardReachesThePasswordThroughTheInputLayer)
{
    LoginBench bench;
    EXPECT_FALSE(bench.inputLayerInFront());
    EXPECT_FALSE(bench.child<QLabel>("LABEL_ERROR_ID")->isVisible());
    QTest::mouseClick(bench.child<QLineEdit>("EDIT_PASSWORD"), Qt::LeftButton);
    ASSERT_TRUE(bench.inputLayerInFront());

    auto* typed = bench.child<QLineEdit>("EDIT_PASSWORD2");
    bench.dialog.m_nInputField = 0;
    bench.typeOnKeys("K");
    EXPECT_EQ(typed->text(), "") << "keys go to the password only while it is the input field";
    QTest::mouseClick(typed, Qt::LeftButton);
    EXPECT_EQ(bench.dialog.m_nInputField, 1);
    bench.typeOnKeys("KO3-21-000421");
    bench.child<QPushButton>("BUTTON_KEY_BACK_SPACE")->click();
    EXPECT_EQ(typed->text(), kSerial);

    // A wrong attempt first, to see Enter clear its marks.
    bench.child<QPushButton>("BUTTON_OK")->click();
    ASSERT_FALSE(bench.child<QLabel>("LABEL_ERROR_PASSWORD")->isHidden());
    typed->setText("  " + kSerial + " ");
    bench.child<QPushButton>("BUTTON_ENTER")->click();  // the input layer is in front: no login
    EXPECT_EQ(bench.logins.count(), 0);
    EXPECT_TRUE(bench.child<QFrame>("inputframe")->isHidden());
    EXPECT_EQ(bench.child<QLineEdit>("EDIT_PASSWORD")->text(), kSerial) << "copied trimmed";
    EXPECT_EQ(bench.child<QLineEdit>("EDIT_ID")->text(), "velim");
    EXPECT_TRUE(bench.child<QLabel>("LABEL_ERROR_PASSWORD")->isHidden());

    // With the input layer hidden, an Enter (an attached keyboard's) runs OK first.
    QTest::keyClick(&bench.dialog, Qt::Key_Enter);
    EXPECT_EQ(bench.logins.count(), 1);
    EXPECT_EQ(bench.dialog.result(), QDialog::Accepted);
}

TEST(LoginDialog, OtherKeysClearAndView)
{
    LoginBench bench;
    auto* typed = bench.child<QLineEdit>("EDIT_PASSWORD2");
    typed->setText("AB");
    for (int key : {Qt::Key_Escape, Qt::Key_Tab, Qt::Key_Space, Qt::Key_Comma})
        QTest::keyClick(&bench.dialog, Qt::Key(key));
    EXPECT_EQ(typed->text(), "AB");
    EXPECT_TRUE(bench.dialog.isVisible()) << "Escape does not leave";

    bench.child<QPushButton>("BUTTON_CLEAR_PW")->click();
    EXPECT_EQ(typed->text(), "");

    auto* password = bench.child<QLineEdit>("EDIT_PASSWORD");
    bench.child<QPushButton>("BUTTON_VIEW")->click();
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    bench.child<QPushButton>("BUTTON_VIEW")->click();
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);

    bench.child<QPushButton>("BUTTON_BACK")->click();
    EXPECT_EQ(bench.dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(bench.dialog.isVisible());
    EXPECT_EQ(bench.logins.count(), 0);
}

// Admin on the front panel: the serial number is the password; without a
// settings file it is the default serial, never an empty password.
TEST(LoginDialog, AdminLeadsToTheServicePanel)
{
    const struct
    {
        QByteArray settings;  // null: no settings file
        QString password;
        bool servicePanel;
    } cases[] = {
        {"[KOVA-III]\nSerial=KO3-21-00042\n", kSerial, true},
        {"[KOVA-III]\nSerial=KO3-21-00042\n", "KO3-00-00000", false},
        {QByteArray(), "", false},
        {QByteArray(), "KO3-00-00000", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password.toStdString());
        LoaderBench bench;
        if (!c.settings.isNull())
            bench.writeSettings(c.settings);
        const auto loader = LoaderBench::makeDialog();
        ASSERT_TRUE(LoaderBench::frame(*loader, "frontframe")->isVisibleTo(loader.get()));

        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* login = qobject_cast<LoginDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(login, nullptr);
            login->findChild<QLineEdit*>("EDIT_PASSWORD")->setText(c.password);
            login->findChild<QPushButton*>("BUTTON_OK")->click();
            if (login->isVisible())
                login->findChild<QPushButton*>("BUTTON_BACK")->click();
            answered = true;
        });
        LoaderBench::button(*loader, "BUTTON_ADMIN")->click();
        EXPECT_TRUE(answered);
        EXPECT_EQ(LoaderBench::frame(*loader, "mainframe")->isVisibleTo(loader.get()), c.servicePanel);
        EXPECT_EQ(LoaderBench::frame(*loader, "frontframe")->isVisibleTo(loader.get()), !c.servicePanel);
    }
}
