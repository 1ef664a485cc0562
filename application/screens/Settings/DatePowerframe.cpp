#include "Settings/DatePowerframe.h"

#include "ui_DatePowerframe.h"

#include "HomeDlg/HomeDlg.h"
#include "Keyboard/NumberKeypadDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Settings/SettingsLook.h"
#include "Settings/Setup_DateTimeDlg.h"

#include <QEvent>

#include <cstdio>

namespace {

constexpr int kMaxHours = 24;

}  // namespace

DatePowerframe::DatePowerframe(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::DatePowerframe)
{
    ui->setupUi(this);
    initialize();
    setFont();
}

DatePowerframe::~DatePowerframe()
{
    delete ui;
}

void DatePowerframe::setFont()
{
    setFonts({ui->BUTTON_DATETIME, ui->BUTTON_POWERSAVER}, notoSans(20, 57));
    setFonts({ui->LABEL_DATETIME, ui->BUTTON_SETDATETIME, ui->LABEL_POWERSAVER, ui->BUTTON_POWERSAVER_ENABLE},
             notoSans(20, 63));
    setFonts({ui->LABEL_AUTO_SHUTDOWN1, ui->EDIT_AUTO_SHUTDOWN_TIME, ui->LABEL_AUTO_SHUTDOWN2, ui->LABEL_AUTO_SHUTDOWN3},
             notoSans(20, QFont::Normal));
}

void DatePowerframe::initialize()
{
    setOnOff(ui->BUTTON_POWERSAVER_ENABLE, theApp.m_bAutoShutdown);
    ui->EDIT_AUTO_SHUTDOWN_TIME->setEnabled(theApp.m_bAutoShutdown);
    ui->EDIT_AUTO_SHUTDOWN_TIME->setText(QString::number(theApp.m_nAutoShutdownTime));
    setUIState(DATE_TIME);
    ui->EDIT_AUTO_SHUTDOWN_TIME->installEventFilter(this);
}

void DatePowerframe::setUIState(DatePowerUIState state)
{
    ui->BUTTON_DATETIME->setChecked(state == DATE_TIME);
    ui->BUTTON_POWERSAVER->setChecked(state == POWER_SAVER);
    ui->DATE_TIME->setVisible(state == DATE_TIME);
    ui->POWER_SAVER->setVisible(state == POWER_SAVER);
}

void DatePowerframe::on_BUTTON_DATETIME_clicked()
{
    setUIState(DATE_TIME);
}

void DatePowerframe::on_BUTTON_POWERSAVER_clicked()
{
    setUIState(POWER_SAVER);
}

void DatePowerframe::on_BUTTON_POWERSAVER_ENABLE_clicked()
{
    const bool on = ui->BUTTON_POWERSAVER_ENABLE->isChecked();
    setOnOff(ui->BUTTON_POWERSAVER_ENABLE, on);
    ui->EDIT_AUTO_SHUTDOWN_TIME->setEnabled(on);
    theApp.m_bAutoShutdown = on;
}

void DatePowerframe::on_BUTTON_SETDATETIME_clicked()
{
    m_pDateTimeDlg = std::make_unique<Setup_DateTimeDlg>();
    m_bDateDialogOpen = true;
    m_pDateTimeDlg->exec();
    m_bDateDialogOpen = false;
    theApp.m_strDateTime = HomeDlg::clock().toString(QStringLiteral("dd MMM yyyy hh:mm"));
    if (theApp.m_bProgramExit || theApp.m_bFactoryReset)
        emit sig_gotoLoaderMode();
    update();
}

void DatePowerframe::slot_set_value_auto_shutdown(QString value)
{
    const int hours = value.toInt();
    std::printf("DatePowerframe::slot_set_value_auto_shutdown : %d\n", hours);
    std::fflush(stdout);
    ui->EDIT_AUTO_SHUTDOWN_TIME->setText(value);
    theApp.m_nAutoShutdownTime = hours;
}

void DatePowerframe::slot_set_backLabel(bool show)
{
    if (m_pDateTimeDlg && m_pDateTimeDlg->isVisible())
        m_pDateTimeDlg->slot_set_backLabel(show);
}

bool DatePowerframe::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->EDIT_AUTO_SHUTDOWN_TIME && event->type() == QEvent::MouseButtonPress
        && ui->EDIT_AUTO_SHUTDOWN_TIME->isEnabled())
        editHours();
    return QFrame::eventFilter(watched, event);
}

void DatePowerframe::editHours()
{
    NumberKeypadDlg keypad;
    keypad.set_mode(NUMBER_KEYPAD_NUMBER);
    keypad.set_range_value(kMaxHours, 1, 2);
    keypad.set_value(ui->EDIT_AUTO_SHUTDOWN_TIME->text());
    connect(&keypad, &NumberKeypadDlg::signal_set_value, this, &DatePowerframe::slot_set_value_auto_shutdown);
    emit signal_setBackStatus(true);
    keypad.exec();
    emit signal_setBackStatus(false);
}

void DatePowerframe::paintEvent(QPaintEvent* event)
{
    ui->LABEL_DATETIME->setText(theApp.m_strDateTime);
    QFrame::paintEvent(event);
}
