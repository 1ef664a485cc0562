#pragma once

#include <QFrame>
#include <QString>

namespace Ui {
class UpdateCalibrationFrame;
}

// Settings page 4, "Update & Calibration", in two views: the software (last
// update, versions, the software update, the system information) and the calibration (last
// illumination and focus calibration with their values, and the two
// calibration dialogs). Opening the calibration view moves the stage to the
// focus centre. After a calibration the page reads back what it produced.
class UpdateCalibrationFrame : public QFrame
{
    Q_OBJECT

public:
    enum UpdateUIState { SOFTWARE = 0, CALIBRATION = 1 };

    explicit UpdateCalibrationFrame(QWidget* parent = nullptr);
    ~UpdateCalibrationFrame() override;

    void setUIState(UpdateUIState state);
    void InitPosition();
    // Reads the background value from the two register files ("BFN, CUS",
    // each exposure pair as one hexadecimal number) into theApp and shows it;
    // the changed flag tells whether it differs from what the page showed.
    void update_Background();
    // Derives the slide references from the focus reference (validation = z,
    // 2 channels = z + 2560, reusable = z + 5120), takes the current slide's
    // as the centre and current position, and shows them. No stage command.
    void update_Autofocus();

    // The background value changed while the page was shown.
    bool backgroundChanged() const { return m_bBackgroundChanged; }

signals:
    void signal_setBackStatus(bool show);

public slots:
    void initialize();
    void on_BUTTON_SWUPDATE_clicked();
    void on_BUTTON_CALIBRATION_clicked();
    void on_BUTTON_SW_UPDATE_clicked();
    void on_BUTTON_IQOQ_clicked();
    void on_BUTTON_CALIBRATE_BACKGROUND_clicked();
    void on_BUTTON_CALIBRATE_AUTOFOCUS_clicked();

private:
    void setFont();

    Ui::UpdateCalibrationFrame* ui;
    bool m_bBackgroundChanged = false;
    QString m_strShownBackground;
};
