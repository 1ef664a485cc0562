#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>

class DebugMessage;
class alg_Autofocus;

namespace Ui {
class CalibrateAutofocusDlg;
}

// The focus centre calibration: with the validation slide in, START opens
// the camera with the bright-field register file and runs the autofocus
// search round the focus centre; where it ends becomes the focus reference,
// stamped with the header clock. The camera is closed afterwards.
class CalibrateAutofocusDlg : public QDialog
{
    Q_OBJECT

public:
    enum AF_CALI { MESSAGE_STEP1 = 0, MESSAGE_PROCESSING = 1, MESSAGE_COMPLETE = 2 };

    static constexpr int kProgressIntervalMs = 150;
    static constexpr int kProgressStep = 5;

    // The search's waits, which tests shorten.
    struct Seams
    {
        int stageWaitMs;
        int settleMs;
        Seams();
    };
    static Seams& seams();

    explicit CalibrateAutofocusDlg(QWidget* parent = nullptr);
    ~CalibrateAutofocusDlg() override;

    void setMessageType(AF_CALI type);
    AF_CALI messageType() const { return m_MessageType; }
    int progress() const { return m_nProgress; }
    void do_autoFocusing();

signals:
    void sig_debug_Message(QStringList items);

public slots:
    void on_BUTTON_START_clicked();
    void on_BUTTON_EXIT_clicked();
    void slot_move_z_position(int position);
    void slot_endAutoFocusing(int position);
    // Appends the search's debug lines to the (hidden) debug panel.
    void slot_debug_Message(QStringList items);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setFont();
    void closeCamera();

    Ui::CalibrateAutofocusDlg* ui;
    alg_Autofocus* m_pAutofocus = nullptr;  // the running search's
    DebugMessage* m_pDebugMessage = nullptr;
    int m_nProgress = 0;
    bool m_bProgressOn = false;
    AF_CALI m_MessageType = MESSAGE_STEP1;
    QTimer m_Timer;
};
