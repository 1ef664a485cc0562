#pragma once

#include <QFrame>

namespace Ui {
class CellCountingFrame;
}

// Settings page 0, "Counting Options": counting mode, slide type (which
// also chooses the focus centre) and autofocus before each count. Every
// choice goes straight into theApp. The page remembers the counting mode it
// found when the settings screen opened, so HOME can tell whether the mode
// changed.
class CellCountingFrame : public QFrame
{
    Q_OBJECT

public:
    explicit CellCountingFrame(QWidget* parent = nullptr);
    ~CellCountingFrame() override;

    // Sets the controls from theApp.
    void initialize();
    // Checks the mode's radio button and stores the mode.
    void setModeState(int mode);
    // Checks the slide's radio button, stores the slide and copies its focus
    // reference into theApp's focus centre; a slide other than 2, 9 or 10
    // changes nothing.
    void setSlideState(int slide);

    // True while the chosen counting mode differs from the one at opening.
    bool modeChanged() const { return m_bModeChanged; }

private slots:
    void on_RADIO_MODE_BF_T_clicked();
    void on_RADIO_MODE_BF_V_clicked();
    void on_RADIO_SLIDE_2CH_clicked();
    void on_RADIO_SLIDE_REUSABLE_clicked();
    void on_RADIO_SLIDE_VALIDATION_clicked();
    void on_BUTTON_AUTOFOCUSED_COUNTING_clicked(bool checked);

private:
    void setFont();

    Ui::CellCountingFrame* ui;
    int m_nReferenceMode;
    bool m_bModeChanged = false;
};
