#pragma once

#include <QFrame>

#include <memory>

class Setup_DateTimeDlg;

namespace Ui {
class DatePowerframe;
}

// Settings page 3, date and power, in two tabs: the date and time (shown, and
// set in the date and time dialog, which also hosts the service functions),
// and the power saver (automatic power-off on or off, and after how many idle
// hours, 1 to 24). Power saver values go straight into theApp.
class DatePowerframe : public QFrame
{
    Q_OBJECT

public:
    enum DatePowerUIState { DATE_TIME = 0, POWER_SAVER = 1 };

    explicit DatePowerframe(QWidget* parent = nullptr);
    ~DatePowerframe() override;

    void initialize();
    void setUIState(DatePowerUIState state);
    // True while the date and time dialog runs.
    bool isDateDialogOpen() const { return m_bDateDialogOpen; }

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A service function asked to leave for the launcher or ran a factory reset.
    void sig_gotoLoaderMode();
    void sig_FactoryReset();
    void signal_setBackStatus(bool show);

public slots:
    void slot_set_value_auto_shutdown(QString value);
    // Dims the date and time dialog while the power-off question is shown over it.
    void slot_set_backLabel(bool show);

    void on_BUTTON_DATETIME_clicked();
    void on_BUTTON_POWERSAVER_clicked();
    void on_BUTTON_POWERSAVER_ENABLE_clicked();
    void on_BUTTON_SETDATETIME_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setFont();
    void editHours();

    Ui::DatePowerframe* ui;
    std::unique_ptr<Setup_DateTimeDlg> m_pDateTimeDlg;  // the last press's dialog
    bool m_bDateDialogOpen = false;
};
