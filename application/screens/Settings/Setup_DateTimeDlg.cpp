#include "Settings/Setup_DateTimeDlg.h"

#include "ui_Setup_DateTimeDlg.h"

#include "Common/DimOverlay.h"
#include "HomeDlg/HomeDlg.h"
#include "Keyboard/KeyboardLook.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/MainSettings.h"
#include "Message/MessageDlg.h"
#include "Settings/CalibrationSupport.h"
#include "Settings/SettingsLook.h"
#include "Settings/SettingsResources.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QIntValidator>
#include <QKeyEvent>

namespace {

constexpr int kDateDoesNotExist = 25;
constexpr int kTimeDoesNotExist = 26;

// timedatectl's reason takes at most this many lines of the box.
constexpr int kReasonLines = 2;

// Why timedatectl did not set the clock, in its own words where it gave any.
QString commandFailure(const platform::CommandResult& result)
{
    if (!result.started)
        return QStringLiteral("timedatectl could not be started.");
    if (result.timedOut)
        return QStringLiteral("timedatectl did not finish in time.");
    if (result.crashed)
        return QStringLiteral("timedatectl stopped unexpectedly.");
    for (const QByteArray& output : {result.standardError, result.standardOutput}) {
        const QString said = QString::fromLocal8Bit(output).trimmed();
        if (!said.isEmpty())
            return said;
    }
    return QStringLiteral("timedatectl ended with code %1.").arg(result.exitCode);
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 ? 28 + checkLeapMonth(year) : days[month - 1];
}

}  // namespace

int checkLeapMonth(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 1 : 0;
}

Setup_DateTimeDlg::Seams& Setup_DateTimeDlg::seams()
{
    static Seams s;
    return s;
}

Setup_DateTimeDlg::Setup_DateTimeDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::Setup_DateTimeDlg)
{
    KLOG_ENTER;
    initSettingsResources();
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    restoreDateTimeUI();
    auto* validator = new QIntValidator(0, 9999, this);
    for (QLineEdit* field : fields()) {
        field->setValidator(validator);
        field->installEventFilter(this);
    }
    setFont();
    connect(&m_printer, &printer::SPP_R200IIG::signalConnectedDevice, this,
            &Setup_DateTimeDlg::slotConnectedPrinterDevice);
    connect(&m_printer, &printer::SPP_R200IIG::signalDisconnectedDevice, this,
            &Setup_DateTimeDlg::slotDisconnectedPrinterDevice);
    m_printer.initialize();
    m_pOverlay = std::make_unique<DimOverlay>(this);
}

Setup_DateTimeDlg::~Setup_DateTimeDlg()
{
    delete ui;
}

QList<QLineEdit*> Setup_DateTimeDlg::fields() const
{
    return {ui->EDIT_DAY, ui->EDIT_MONTH, ui->EDIT_YEAR, ui->EDIT_HOUR, ui->EDIT_MINUTE};
}

void Setup_DateTimeDlg::setFont()
{
    ui->LABEL_DATETIME_TITLE->setFont(notoSans(24, QFont::Bold));
    setFonts({ui->EDIT_DAY, ui->EDIT_MONTH, ui->EDIT_YEAR, ui->EDIT_HOUR, ui->EDIT_MINUTE, ui->BUTTON_KEY_0,
              ui->BUTTON_KEY_1, ui->BUTTON_KEY_2, ui->BUTTON_KEY_3, ui->BUTTON_KEY_4, ui->BUTTON_KEY_5, ui->BUTTON_KEY_6,
              ui->BUTTON_KEY_7, ui->BUTTON_KEY_8, ui->BUTTON_KEY_9},
             notoSans(28, QFont::Normal));
    setFonts({ui->LABEL_DAY, ui->LABEL_MONTH, ui->LABEL_YEAR, ui->LABEL_HOUR, ui->LABEL_MINUTE},
             notoSans(20, QFont::Normal));
    ui->BUTTON_APPLY->setFont(notoSans(22, 63));
}

void Setup_DateTimeDlg::restoreDateTimeUI()
{
    const QDateTime now = HomeDlg::clock();
    ui->EDIT_YEAR->setText(now.toString(QStringLiteral("yyyy")));
    ui->EDIT_MONTH->setText(now.toString(QStringLiteral("MM")));
    ui->EDIT_DAY->setText(now.toString(QStringLiteral("dd")));
    ui->EDIT_HOUR->setText(now.toString(QStringLiteral("hh")));
    ui->EDIT_MINUTE->setText(now.toString(QStringLiteral("mm")));
}

void Setup_DateTimeDlg::ProcessKey(int key)
{
    QWidget* focused = focusWidget();
    if (!focused)
        return;
    const QString text = key >= Qt::Key_0 && key <= Qt::Key_9 ? QString(QChar(key)) : QString();
    sendKeyPair(focused, key, Qt::NoModifier, text);
}

void Setup_DateTimeDlg::on_BUTTON_KEY_0_clicked() { ProcessKey(Qt::Key_0); }
void Setup_DateTimeDlg::on_BUTTON_KEY_1_clicked() { ProcessKey(Qt::Key_1); }
void Setup_DateTimeDlg::on_BUTTON_KEY_2_clicked() { ProcessKey(Qt::Key_2); }
void Setup_DateTimeDlg::on_BUTTON_KEY_3_clicked() { ProcessKey(Qt::Key_3); }
void Setup_DateTimeDlg::on_BUTTON_KEY_4_clicked() { ProcessKey(Qt::Key_4); }
void Setup_DateTimeDlg::on_BUTTON_KEY_5_clicked() { ProcessKey(Qt::Key_5); }
void Setup_DateTimeDlg::on_BUTTON_KEY_6_clicked() { ProcessKey(Qt::Key_6); }
void Setup_DateTimeDlg::on_BUTTON_KEY_7_clicked() { ProcessKey(Qt::Key_7); }
void Setup_DateTimeDlg::on_BUTTON_KEY_8_clicked() { ProcessKey(Qt::Key_8); }
void Setup_DateTimeDlg::on_BUTTON_KEY_9_clicked() { ProcessKey(Qt::Key_9); }
void Setup_DateTimeDlg::on_BUTTON_KEY_DEL_clicked() { ProcessKey(Qt::Key_Backspace); }

bool Setup_DateTimeDlg::eventFilter(QObject* watched, QEvent* event)
{
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field || !fields().contains(field))
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Plus || key == Qt::Key_Comma)
            return true;
    } else if (event->type() == QEvent::MouseButtonPress) {
        field->clear();
        field->activateWindow();
    }
    return QDialog::eventFilter(watched, event);
}

void Setup_DateTimeDlg::slot_set_backLabel(bool show)
{
    m_pOverlay->request(show);
}

void Setup_DateTimeDlg::slot_set_value(QString text)
{
    theApp.m_nAgingCount = text.toInt();
}

void Setup_DateTimeDlg::slotConnectedPrinterDevice()
{
    m_bPrinterConnected = true;
}

void Setup_DateTimeDlg::slotDisconnectedPrinterDevice()
{
    m_bPrinterConnected = false;
}

void Setup_DateTimeDlg::slotCompletedAFThread()
{
    KLOG_ENTER;
    openCalibrationCamera();
    setEnabled(true);
}

void Setup_DateTimeDlg::rejectEntry(int message, QLineEdit* field)
{
    m_pOverlay->message(message);
    restoreEntry(field);
}

void Setup_DateTimeDlg::refuseClock(const QString& reason)
{
    MessageDlg box;
    box.setFailure(kDateDoesNotExist, QStringLiteral("The date and time could not be set."), reason, kReasonLines);
    m_pOverlay->runOver(box);
    restoreEntry(nullptr);
}

void Setup_DateTimeDlg::restoreEntry(QLineEdit* field)
{
    restoreDateTimeUI();
    setEnabled(true);
    if (field)
        field->activateWindow();
}

void Setup_DateTimeDlg::on_BUTTON_BACK_clicked()
{
    close();
}

void Setup_DateTimeDlg::on_BUTTON_APPLY_clicked()
{
    KLOG_ENTER;
    setEnabled(false);
    QCoreApplication::processEvents();

    if (ui->EDIT_YEAR->text().isEmpty() || ui->EDIT_MONTH->text().isEmpty() || ui->EDIT_DAY->text().isEmpty()) {
        rejectEntry(kDateDoesNotExist);
        return;
    }
    if (ui->EDIT_HOUR->text().isEmpty() || ui->EDIT_MINUTE->text().isEmpty()) {
        rejectEntry(kTimeDoesNotExist);
        return;
    }
    const int year = ui->EDIT_YEAR->text().toInt();
    const int month = ui->EDIT_MONTH->text().toInt();
    const int day = ui->EDIT_DAY->text().toInt();
    const int hour = ui->EDIT_HOUR->text().toInt();
    const int minute = ui->EDIT_MINUTE->text().toInt();

    if (runService(day, month))
        return;

    if (minute == 0)
        ui->EDIT_MINUTE->setText(QStringLiteral("00"));
    if (hour == 0)
        ui->EDIT_HOUR->setText(QStringLiteral("00"));
    if (year < 2000 || year > 9999) {
        rejectEntry(kDateDoesNotExist, ui->EDIT_YEAR);
        return;
    }
    if (month < 1 || month > 12) {
        rejectEntry(kDateDoesNotExist, ui->EDIT_MONTH);
        return;
    }
    if (day < 1 || day > daysInMonth(year, month)) {
        rejectEntry(kDateDoesNotExist, ui->EDIT_DAY);
        return;
    }
    if (hour < 0 || hour > 23) {
        rejectEntry(kTimeDoesNotExist, ui->EDIT_HOUR);
        return;
    }
    if (minute < 0 || minute > 59) {
        rejectEntry(kTimeDoesNotExist, ui->EDIT_MINUTE);
        return;
    }
    QString reason;
    if (!setClock(year, month, day, hour, minute, &reason)) {
        refuseClock(reason);
        return;
    }
    // The settings, changed on any page, outlast a restart from here on.
    if (!MainSettings::before_loseINI())
        KLOG << "[Error] the settings could not be written after setting the clock";
    setEnabled(true);
    accept();
}

bool Setup_DateTimeDlg::setClock(int year, int month, int day, int hour, int minute, QString* reason)
{
    const QString time = QStringLiteral("%1-%2-%3 %4:%5:00").arg(year).arg(month).arg(day).arg(hour).arg(minute);
    const platform::CommandResult result = platform::CommandRunner::run(
        QStringLiteral("timedatectl"), {QStringLiteral("set-time"), time}, seams().commandTimeoutMs);
    if (result.succeeded())
        return true;
    *reason = commandFailure(result);
    KLOG << "[Error] timedatectl set-time" << time << ":" << *reason;
    return false;
}
