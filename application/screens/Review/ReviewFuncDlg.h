#pragma once

#include <QDialog>

namespace Ui {
class ReviewFuncDlg;
}

// The review screen's pop-up around an export to the USB stick or a
// deletion of stored results: first the choice of the selected result or
// all results, reported by sig_set_FuncnType (the screen does the work
// inside that call and then switches the dialog to its done state), then
// the end, with the question whether to remove the stick after an export.
// OK and CANCEL end it with 1; the close button, a declined "delete all" and
// slot_select_error with 0.
class ReviewFuncDlg : public QDialog
{
    Q_OBJECT

public:
    enum Mode { Export = 0, Delete = 1 };  // any mode but 0 deletes
    enum Scope { Current = 0, All = 1 };
    enum State { Choose = 0, Done = 1 };   // any state but 0 is done

    explicit ReviewFuncDlg(QWidget* parent = nullptr);
    ~ReviewFuncDlg() override;

    void setMode(int mode);
    void setState(int state);

signals:
    void sig_set_FuncnType(int mode, int type);
    // After an export: true once the stick was unmounted (OK), false when
    // the user kept it (CANCEL).
    void sig_umount_usb(bool bumount);

public slots:
    void slot_select_error();

private slots:
    void on_BUTTON_CURRENT_clicked();
    void on_BUTTON_X_clicked();
    void on_BUTTON_ALL_clicked();
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();

private:
    void setFont();
    bool exporting() const { return m_mode == Export; }

    Ui::ReviewFuncDlg* ui;
    int m_State = Choose;
    int m_mode = Export;
};
