#include "Count/DiluionCalculatorDlg.h"

#include "Common/CommonResources.h"
#include "Common/ScreenHeader.h"
#include "Keyboard/KeyboardLook.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Saving/SavingThread.h"
#include "platform/Log.h"
#include "ui_DiluionCalculatorDlg.h"

#include <QDoubleValidator>
#include <QIntValidator>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <cmath>
#include <initializer_list>

namespace {

const KeyCode<Ui::DiluionCalculatorDlg> kKeys[] = {
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_0, Qt::Key_0},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_1, Qt::Key_1},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_2, Qt::Key_2},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_3, Qt::Key_3},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_4, Qt::Key_4},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_5, Qt::Key_5},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_6, Qt::Key_6},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_7, Qt::Key_7},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_8, Qt::Key_8},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_9, Qt::Key_9},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_DOT, Qt::Key_Period},
    {&Ui::DiluionCalculatorDlg::BUTTON_KEY_DEL, Qt::Key_Backspace},
};

const char* const kSourceNames[] = {"Total", "Live", "Dead", "Custom"};

// Standard notation with a point, whatever the locale.
QValidator* decimals(double bottom, double top, QObject* parent)
{
    auto* validator = new QDoubleValidator(bottom, top, 2, parent);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    return validator;
}

QString general(double value)
{
    return QString::number(value, 'g', 6);
}

}  // namespace

DiluionCalculatorDlg::DiluionCalculatorDlg(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint), m_BackLabel(this), ui(new Ui::DiluionCalculatorDlg)
{
    initKeyboardResources();
    initCommonResources();
    setAttribute(Qt::WA_TranslucentBackground);
    ui->setupUi(this);
    setFont();
    setCurrentEditable(false);

    for (QLineEdit* edit : {ui->EDIT_CURRENT, ui->EDIT_DESIRED, ui->EDIT_STOCK})
        edit->setValidator(decimals(1.0, 20.0, edit));
    ui->EDIT_FINAL_VOLUME->setValidator(decimals(0.0, 1000.0, ui->EDIT_FINAL_VOLUME));
    for (QLineEdit* edit : {ui->EDIT_CURRENT_EXP, ui->EDIT_DESIRED_EXP, ui->EDIT_STOCK_EXP})
        edit->setValidator(new QIntValidator(0, 9, edit));
    // The pre-dilution and stock fields are kept on the form but not offered.
    for (QWidget* unused : std::initializer_list<QWidget*>{ui->LABEL_PREDILUTION_FACTOR, ui->EDIT_PRE_FACTOR,
                                                          ui->LABEL_STOCK_CONCENTRATION, ui->EDIT_STOCK,
                                                          ui->EDIT_STOCK_EXP})
        unused->hide();
    for (QLineEdit* edit :
         {ui->EDIT_CURRENT, ui->EDIT_CURRENT_EXP, ui->EDIT_DESIRED, ui->EDIT_DESIRED_EXP, ui->EDIT_FINAL_VOLUME})
        edit->installEventFilter(this);
    connectKeyCodes(ui, kKeys, this, [this](int code) { inputKey(code); });

    showCountingMode(ui->LABEL_MODE, ui->LABEL_COMMON_PROTOCOL);
}

DiluionCalculatorDlg::~DiluionCalculatorDlg()
{
    delete ui;
}

void DiluionCalculatorDlg::setFont()
{
    for (QLineEdit* edit : {ui->EDIT_CURRENT, ui->EDIT_CURRENT_EXP, ui->EDIT_DESIRED, ui->EDIT_DESIRED_EXP,
                            ui->EDIT_FINAL_VOLUME, ui->EDIT_PRE_FACTOR, ui->EDIT_STOCK, ui->EDIT_STOCK_EXP})
        edit->setFont(notoSans(24, QFont::Normal));
    for (const auto& key : kKeys)
        (ui->*key.button)->setFont(notoSans(28, QFont::Normal));
    for (QLabel* caption : {ui->LABEL_CURRENT_CONCENTRATION, ui->LABEL_DESIRED_CONCENTRATION, ui->LABEL_FINAL_VOLUME,
                            ui->LABEL_PREDILUTION_FACTOR, ui->LABEL_STOCK_CONCENTRATION})
        caption->setFont(notoSans(20, QFont::Normal));
    for (QLabel* unit : {ui->LABEL_10e, ui->LABEL_10e_2, ui->LABEL_10e_3, ui->LABEL_mL, ui->LABEL_mL2, ui->LABEL_mL3,
                         ui->LABEL_mL4, ui->LABEL_1, ui->LABEL_COMMON_PROTOCOL, ui->LABEL_COMMON_DATETIME})
        unit->setFont(notoSans(18, QFont::Normal));
    for (QLabel* title : {ui->LABEL_COMMON_TITLE, ui->LABEL_COMMON_TITLE2, ui->LABEL_LOGIN_ID})
        title->setFont(notoSans(15, QFont::Normal));
    ui->LABEL_DILUTION_TITLE->setFont(notoSans(24, QFont::Bold));
    ui->LABEL_RESULT->setFont(notoSans(18, QFont::Normal));
    ui->BUTTON_CURRENT_CONCENTRATION->setFont(notoSans(22, QFont::Normal));
    ui->BUTTON_CALCULATE->setFont(notoSans(22, QFont::Normal));
}

void DiluionCalculatorDlg::setCurrentEditable(bool editable)
{
    ui->EDIT_CURRENT->setReadOnly(!editable);
    ui->EDIT_CURRENT_EXP->setReadOnly(!editable);
}

void DiluionCalculatorDlg::setConcentration(float total, int total_exp, float live, int live_exp, float dead,
                                            int dead_exp)
{
    m_fTotal = total;
    m_nTotal_Exp = total_exp;
    m_fLive = live;
    m_nLive_Exp = live_exp;
    m_fDead = dead;
    m_nDead_Exp = dead_exp;
    LoadConcentration();
}

void DiluionCalculatorDlg::LoadConcentration()
{
    float mantissa = 0.0f;
    int exponent = 0;
    switch (m_nCurrentSource) {
    case Total: mantissa = m_fTotal; exponent = m_nTotal_Exp; break;
    case Live: mantissa = m_fLive; exponent = m_nLive_Exp; break;
    case Dead: mantissa = m_fDead; exponent = m_nDead_Exp; break;
    default: break;
    }
    m_fcurrent = round2(mantissa, 100);
    m_nCurrentExp = exponent;
    // Two significant digits: 9.87 shows as 9.9; the calculation uses m_fcurrent.
    ui->EDIT_CURRENT->setText(QString::number(double(m_fcurrent), 'g', 2));
    ui->EDIT_CURRENT_EXP->setText(QString::number(exponent));
    for (QLineEdit* edit :
         {ui->EDIT_CURRENT, ui->EDIT_CURRENT_EXP, ui->EDIT_DESIRED, ui->EDIT_DESIRED_EXP, ui->EDIT_FINAL_VOLUME})
        edit->setAlignment(Qt::AlignCenter);
    ui->EDIT_DESIRED->clear();
    ui->EDIT_DESIRED_EXP->clear();
    ui->EDIT_FINAL_VOLUME->clear();
    ui->LABEL_RESULT->clear();
}

void DiluionCalculatorDlg::on_BUTTON_CURRENT_CONCENTRATION_clicked()
{
    // The total count has only its total, and a touch must not wipe what the
    // user typed; viability cycles Total, Live, Dead, Custom.
    if (!isViabilityMode())
        return;
    m_nCurrentSource = (m_nCurrentSource + 1) % 4;
    ui->BUTTON_CURRENT_CONCENTRATION->setText(QLatin1String(kSourceNames[m_nCurrentSource]));
    setCurrentEditable(m_nCurrentSource == Custom);
    LoadConcentration();
}

void DiluionCalculatorDlg::inputKey(int key)
{
    QWidget* target = focusWidget();
    if (!target)
        return;
    const QString text = key == Qt::Key_Backspace ? QString() : QString(QChar(key));
    sendKeyPair(target, key, Qt::NoModifier, text);
}

bool DiluionCalculatorDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const bool current = watched == ui->EDIT_CURRENT || watched == ui->EDIT_CURRENT_EXP;
        if (!current || m_nCurrentSource == Custom) {
            activateWindow();
            static_cast<QWidget*>(watched)->setFocus();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DiluionCalculatorDlg::refuse(int type, const QString& field, QLineEdit* edit)
{
    m_BackLabel.message(type, field);
    edit->clear();
    activateWindow();
    edit->setFocus();
}

void DiluionCalculatorDlg::on_BUTTON_CALCULATE_clicked()
{
    if (m_nCurrentSource == Custom) {
        m_fcurrent = ui->EDIT_CURRENT->text().toFloat();
        if (m_fcurrent < 1.0f || m_fcurrent > 9.99f)
            return refuse(kMantissaMessage, QStringLiteral("the first field for \nthe current concentration"),
                          ui->EDIT_CURRENT);
        if (ui->EDIT_CURRENT_EXP->text().isEmpty())
            return refuse(kExponentMessage, QStringLiteral("the Second field for \nthe current concentration"),
                          ui->EDIT_CURRENT_EXP);
        m_nCurrentExp = ui->EDIT_CURRENT_EXP->text().toInt();
    }
    const float desired = ui->EDIT_DESIRED->text().toFloat();
    if (desired < 1.0f || desired > 9.99f)
        return refuse(kMantissaMessage, QStringLiteral("the first field for \nthe desired concentration"),
                      ui->EDIT_DESIRED);
    if (ui->EDIT_DESIRED_EXP->text().isEmpty())
        return refuse(kExponentMessage, QStringLiteral("the second field for \nthe desired concentration"),
                      ui->EDIT_DESIRED_EXP);
    const float desiredExp = ui->EDIT_DESIRED_EXP->text().toFloat();
    m_final_volume = ui->EDIT_FINAL_VOLUME->text().toFloat();
    if (m_final_volume < 0.01f || m_final_volume > 1000.0f)
        return refuse(kVolumeMessage, QStringLiteral("final volume"), ui->EDIT_FINAL_VOLUME);

    const float current = float(double(m_fcurrent) * std::pow(10.0, m_nCurrentExp));
    const float wanted = float(double(desired) * std::pow(10.0, double(desiredExp)));
    ui->LABEL_RESULT->setText(dilution(current, wanted));
    KLOG_VALUE("dilution", ui->LABEL_RESULT->text());
}

QString DiluionCalculatorDlg::dilution(float current, float wanted) const
{
    if (wanted > current)
        return QStringLiteral("  Desired concentration cannot exceed \n  current concentration.");
    const float ratio = wanted / current;
    const float sample = round2(ratio * m_final_volume, 1000);
    if (sample < 0.001f)
        return QStringLiteral("  Out of range: the calculated volume is < 0.001");
    return QStringLiteral("  Dilute %1 mL of cell sample in \n  %2 mL of buffer.")
        .arg(general(double(sample)), general(double(m_final_volume) - double(sample)));
}

void DiluionCalculatorDlg::on_BUTTON_BACK_clicked()
{
    close();
}

void DiluionCalculatorDlg::slot_set_backLabel(bool bshow)
{
    m_BackLabel.request(bshow);
}

void DiluionCalculatorDlg::paintEvent(QPaintEvent*)
{
    ui->LABEL_COMMON_DATETIME->setText(theApp.m_strDateTime);
    // A translucent window draws no background of its own: the style sheet's.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void getTotalConcentration(float mantissa1, int exponent1, float mantissa2, int exponent2, float& mantissa,
                           int& exponent)
{
    if (exponent1 > exponent2) {
        exponent = exponent1;
        mantissa2 *= float(std::pow(0.1, exponent1 - exponent2));
    } else if (exponent1 < exponent2) {
        exponent = exponent2;
        mantissa1 *= float(std::pow(0.1, exponent2 - exponent1));
    } else {
        exponent = exponent1;
    }
    mantissa = mantissa1 + mantissa2;
    // As long as its integer part is above 9; a mantissa that is no finite
    // number would never come below 10.
    while (std::isfinite(mantissa) && mantissa >= 10.0f) {
        mantissa *= 0.1f;
        ++exponent;
    }
}
