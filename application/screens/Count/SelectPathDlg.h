#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

namespace Ui {
class SelectPathDlg;
}

// A chooser of the save destination: "Instrument Storage", and "USB Drive"
// while a stick is mounted (the list is looked at again every 3 s). APPLY
// names the chosen entry through signal_set_path; both buttons close it.
class SelectPathDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kListIntervalMs = 3000;

    explicit SelectPathDlg(QWidget* parent = nullptr);
    ~SelectPathDlg() override;

signals:
    void signal_set_path(QString path);

public slots:
    void slotListUpdate();

private slots:
    void on_BUTTON_APPLY_pressed();
    void on_BUTTON_CANCEL_pressed();

private:
    QTimer m_listTimer;
    Ui::SelectPathDlg* ui;
};
