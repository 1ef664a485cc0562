// The window's side of the settings files: loading them into the fields,
// the Save button and applying the settings once connected.
#include "KOVA_II_Plus_Verifier.h"

#include "Controller/VerifierController.h"
#include "File_IO/ini.h"
#include "KovaCore/GlobalIni.h"
#include "Settings/VerifierSettings.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include "platform/Root.h"

#include <QMessageBox>
#include <QSettings>

namespace verifier {

void KOVA_II_Plus_Verifier::get_INI_value(QSettings& settings)
{
    readSettings(settings);
    const global_ini_s* record = global_ini();
    ui->EDIT_SKIP_FRAME->setText(QString::number(record->nSkip_frame));
    const QStringList serial = record->serial.split(QLatin1Char('-'));
    if (serial.size() >= 3) {
        ui->EDIT_SERIAL_MIDFIX->setText(serial[1]);
        ui->EDIT_SERIAL_SUFFIX->setText(serial[2]);
    }
    ui->EDIT_MAGNIFICATION->setText(QString::asprintf("%.3f", record->System.Magnification));
    ui->EDIT_VOLUME_FACTOR->setText(QString::asprintf("%.5f", record->System.Volume_factor));
}

bool KOVA_II_Plus_Verifier::set_INI_value(QSettings& settings, QString* failedFile)
{
    bool written = true;
    switch (ui->TAB_MENU->currentIndex()) {
    case 0:
        written = writeStageSettings(settings, failedFile);
        break;
    case 1:
        written = writeCameraSettings(settings, failedFile);
        break;
    case 2:
        writeQcSettings(settings, ui->EDIT_SERIAL_MIDFIX->text().toInt(), ui->EDIT_SERIAL_SUFFIX->text().toInt());
        break;
    }
    writeVersion(settings, ui->LABEL_VERSION->text());
    if (!syncSettings(settings)) {
        *failedFile = m_strSettingsPath;
        written = false;
    }
    return written;
}

void KOVA_II_Plus_Verifier::on_BUTTON_SAVE_INI_clicked()
{
    QString failedFile;
    bool saved;
    {
        QSettings settings(platform::rootPath(m_strSettingsPath), QSettings::IniFormat);
        saved = set_INI_value(settings, &failedFile);
    }
    if (saved)
        QMessageBox::information(this, QLatin1String(kTitle), QStringLiteral("INI saved !"));
    else
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("%1 saving failed !!!").arg(failedFile));
}

void KOVA_II_Plus_Verifier::apply_INI_value()
{
    getCamera_reg();
    const int led = ::global_ini()->LED;
    ui->EDIT_LED->setText(QString::number(led));
    Controller::getInstance()->led_brightness(led);
    enableLedSteps(led < int(kMaxLed), led >= 1);

    const global_ini_s* record = global_ini();
    ui->SPIN_Z_STEP->setValue(record->nZ_step);
    {
        const QSignalBlocker quiet(ui->SPIN_Z_SPEED);
        ui->SPIN_Z_SPEED->setValue(record->nZ_speed);
    }
    ui->EDIT_Z_REFERENCE->setText(QString::number(record->nZ_reference));
    on_BUTTON_Z_MOVE_REFERENCE_clicked();
}

}  // namespace verifier
