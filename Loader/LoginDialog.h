#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class LoginDialog;
}
class QKeyEvent;

// The service login: user ID "velim" (any case) and the expected password,
// exactly. Two full-screen layers: the login layer (the two fields, OK, back)
// and the input layer (larger copies of the fields and the on-screen
// keyboard). A touch on the login layer's fields brings the input layer to
// the front; its Enter copies the typed texts, trimmed, to the login layer
// and hides it; OK then checks. A wrong field shows its error label and a
// red border; attempts are unlimited. Success emits sig_normal_login() and
// accepts.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialog(QWidget* parent = nullptr);
    ~LoginDialog() override;

    // Which input-layer field takes typed keys: 0 the ID field, 1 the password field.
    int m_nInputField = 1;
    // The expected password, set by the creator before exec().
    QString m_strPassword;

    // Normal field styles, no error labels.
    void init();

signals:
    void signal_set_login(QString id, QString pw);
    void sig_normal_login();

public slots:
    void slot_set_login(QString id, QString pw);

private slots:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_BACK_clicked();
    void on_EDIT_PASSWORD2_returnPressed();
    void on_EDIT_ID2_returnPressed();
    void on_BUTTON_VIEW_toggled(bool checked);
    void on_BUTTON_CLEAR_ID_clicked();
    void on_BUTTON_CLEAR_PW_clicked();

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setFont();
    // Copies the input layer's texts to the login layer and hides it.
    void takeInput();

    Ui::LoginDialog* ui;
};
