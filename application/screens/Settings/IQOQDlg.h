#pragma once

#include <QDialog>

namespace Ui {
class IQOQDlg;
}

// The system information, read-only: CPU maker and type, RAM, screen,
// operating system and software version, as the settings record holds them.
class IQOQDlg : public QDialog
{
    Q_OBJECT

public:
    explicit IQOQDlg(QWidget* parent = nullptr);
    ~IQOQDlg() override;

    void initialize();

public slots:
    void on_BUTTON_OK_clicked();

private:
    void setFont();

    Ui::IQOQDlg* ui;
};
