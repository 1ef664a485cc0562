#pragma once

#include "Common/DimOverlay.h"

#include <QDialog>
#include <QString>

namespace Ui {
class DiluionCalculatorDlg;
}
class QLineEdit;

// The "Dilution Calculator" page of the counting screen: from a current
// concentration (the last count's total, live or dead cells, or one typed in
// as Custom) it works out how much cell sample and buffer give a desired
// concentration in a final volume. Concentrations are a mantissa and a power
// of ten (5.12 and 6: 5.12 × 10^6 cells/mL). Its key pad types into the edit
// last touched; Calculate checks the fields (messages 10, 11, 12) and writes
// the answer, or why there is none, under them.
class DiluionCalculatorDlg : public QDialog
{
    Q_OBJECT

public:
    enum Source { Total = 0, Live = 1, Dead = 2, Custom = 3 };
    static constexpr int kMantissaMessage = 10;
    static constexpr int kExponentMessage = 11;
    static constexpr int kVolumeMessage = 12;

    explicit DiluionCalculatorDlg(QWidget* parent = nullptr);
    ~DiluionCalculatorDlg() override;

    // The three concentrations of the shown result; shows the chosen one.
    void setConcentration(float total, int total_exp, float live, int live_exp, float dead, int dead_exp);
    // Shows the chosen source's concentration (Custom: 0 and 0, editable)
    // and empties the other fields and the result.
    void LoadConcentration();
    // One key press and release to the edit last touched; none touched yet: nothing.
    void inputKey(int key);

public slots:
    void slot_set_backLabel(bool bshow);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_BUTTON_CURRENT_CONCENTRATION_clicked();
    void on_BUTTON_CALCULATE_clicked();
    void on_BUTTON_BACK_clicked();
    // The edits' text changes call for nothing: Calculate reads them.
    void on_EDIT_CURRENT_textChanged(const QString&) {}
    void on_EDIT_CURRENT_EXP_textChanged(const QString&) {}
    void on_EDIT_DESIRED_textChanged(const QString&) {}
    void on_EDIT_DESIRED_EXP_textChanged(const QString&) {}
    void on_EDIT_FINAL_VOLUME_textChanged(const QString&) {}
    void on_EDIT_PRE_FACTOR_textChanged(const QString&) {}
    void on_EDIT_STOCK_textChanged(const QString&) {}
    void on_EDIT_STOCK_EXP_textChanged(const QString&) {}

private:
    void setFont();
    void setCurrentEditable(bool editable);
    // Message `type` about `field` over the dimmed page, then the field is
    // emptied and takes the focus.
    void refuse(int type, const QString& field, QLineEdit* edit);
    // The answer for a current and a wanted concentration (cells/mL) in the final volume.
    QString dilution(float current, float wanted) const;

    float m_fTotal = 0.0f;
    int m_nTotal_Exp = 0;
    float m_fLive = 0.0f;
    int m_nLive_Exp = 0;
    float m_fDead = 0.0f;
    int m_nDead_Exp = 0;
    int m_nCurrentSource = Total;
    float m_fcurrent = 0.0f;
    int m_nCurrentExp = 0;
    float m_final_volume = 0.0f;
    DimOverlay m_BackLabel;  // over the dialog while a box of it runs
    Ui::DiluionCalculatorDlg* ui;
};

// The sum of two concentrations given as mantissa and exponent: the smaller
// is scaled to the larger exponent, the mantissas are added, and a sum of 10
// or more is brought below 10 (no rounding; a mantissa below 1 stays).
void getTotalConcentration(float mantissa1, int exponent1, float mantissa2, int exponent2, float& mantissa,
                           int& exponent);
