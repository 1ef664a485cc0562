#pragma once

#include <QDialog>

#include <memory>

class DimOverlay;
class QMovie;

namespace Ui {
class SetupDlg;
}

// The settings screen: a menu of five pages on the left, the page on the
// right, and a header with the protocol, the date and the counting mode. The
// pages write their values straight into theApp; the screen itself keeps no
// setting and writes no file. It ends on HOME, or when a service function of
// the date dialog asks to leave for the launcher.
class SetupDlg : public QDialog
{
    Q_OBJECT

public:
    enum SettingsUIState {
        COUNTING_OPTIONS = 0,
        SAVE_REVIEW = 1,
        NETWORKS = 2,
        DATE_POWER = 3,
        UPDATE_CALIBRATION = 4,
    };

    explicit SetupDlg(QWidget* parent = nullptr);
    ~SetupDlg() override;

    // Shows one page and checks its menu button, with the page's side effects
    // (page 0 closes a running camera and re-reads its controls, page 1
    // re-reads, page 4 switches the LED to the stored brightness); runs again
    // when the page shown is chosen again.
    void setMainUIState(SettingsUIState state);
    SettingsUIState mainUIState() const { return m_state; }

    void initialize();

signals:
    void sig_setFactoryReset();

public slots:
    // The home screen's power-off question: dims the dialog on top (the date
    // dialog, else the base-name keyboard, else this screen).
    void slot_set_backLabel(bool show);
    // A page runs a key pad or dialog of its own.
    void slot_setBackStatus(bool show);
    // The busy indicator of the networks page.
    void slot_setProgress(bool show);
    // Leaves only when a service function asked to leave for the launcher.
    void slot_gotoHome();
    void slot_gotoFactoryReset();

    void on_BUTTON_HOME_clicked();
    void on_BUTTON_CELL_COUNTING_clicked();
    void on_BUTTON_SAVE_REVIEW_clicked();
    void on_BUTTON_NETWORKS_clicked();
    void on_BUTTON_DATE_POWER_clicked();
    void on_BUTTON_UPDATE_CALIBRATION_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setFont();

    Ui::SetupDlg* ui;
    std::unique_ptr<DimOverlay> m_pOverlay;
    QMovie* m_pProgressMovie = nullptr;
    SettingsUIState m_state = COUNTING_OPTIONS;
    bool m_bDatePowerConnected = false;
};
