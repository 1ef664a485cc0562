// The STAGE tab: steps, travel, absolute moves, homing, the Z reference, the
// self-diagnosis and the connection.
#include "KOVA_II_Plus_Verifier.h"

#include "Controller/VerifierController.h"
#include "DebugLine.h"
#include "Settings/VerifierSettings.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

namespace verifier {

namespace {

Controller* link()
{
    return Controller::getInstance();
}

QString checkedText(bool checked)
{
    return checked ? QStringLiteral("true") : QStringLiteral("false");
}

}  // namespace

template <class Command>
void KOVA_II_Plus_Verifier::busyButton(QPushButton* button, Command command)
{
    setHighlighted(button, true);
    button->setEnabled(false);
    QCoreApplication::processEvents();
    command();
    setHighlighted(button, false);
    button->setEnabled(true);
    repaint();
}

void KOVA_II_Plus_Verifier::showPosition(int position)
{
    ui->EDIT_Z_POSITION->setText(QString::number(position));
}

void KOVA_II_Plus_Verifier::on_SPIN_Z_STEP_valueChanged(int value)
{
    global_ini()->nZ_step = value;
}

void KOVA_II_Plus_Verifier::on_SPIN_Z_SPEED_valueChanged(int value)
{
    global_ini()->nZ_speed = value;
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_MOVE_PLUS_clicked()
{
    if (link()->z_stage_mvp(Controller::MODE_BLOCKING, global_ini()->nZ_step))
        showPosition(link()->currentPosition());
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_MOVE_MINUS_clicked()
{
    if (!link()->z_stage_mvn(Controller::MODE_BLOCKING, global_ini()->nZ_step))
        return;
    // Below 0 the kept position cannot be trusted: ask the stage.
    if (link()->currentPosition() >= 0)
        showPosition(link()->currentPosition());
    else
        on_BUTTON_Z_POSITION_clicked();
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_ROTATE_PLUS_pressed()
{
    link()->z_stage_rop(ui->SPIN_Z_SPEED->value());
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_ROTATE_MINUS_pressed()
{
    link()->z_stage_ron(ui->SPIN_Z_SPEED->value());
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_ROTATE_PLUS_released()
{
    link()->z_stage_stop();
    on_BUTTON_Z_POSITION_clicked();
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_ROTATE_MINUS_released()
{
    on_BUTTON_Z_ROTATE_PLUS_released();
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_STOP_clicked()
{
    link()->z_stage_stop();
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_ORIGIN_clicked()
{
    busyButton(ui->BUTTON_Z_ORIGIN, [] { link()->z_stage_origin(Controller::MODE_BLOCKING); });
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_POSITION_clicked()
{
    showPosition(link()->z_stage_pos());
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_ABS_clicked()
{
    setEnabled(false);
    QCoreApplication::processEvents();
    link()->z_stage_abs(Controller::MODE_NON_BLOCKING, ui->EDIT_Z_ABS->text().toInt());
    // An answer that never comes must not leave the window disabled for good.
    m_pAbsTimer->start(link()->readTimeout());
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_SET_REFERENCE_clicked()
{
    bool isNumber = false;
    const int position = ui->EDIT_Z_POSITION->text().toInt(&isNumber);
    // -1 is a failed position query, no position.
    if (!isNumber || position < 0) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Stage position unknown !!!"));
        return;
    }
    global_ini()->nZ_reference = position;
    ui->EDIT_Z_REFERENCE->setText(ui->EDIT_Z_POSITION->text());
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_MOVE_REFERENCE_clicked()
{
    const int reference = ui->EDIT_Z_REFERENCE->text().toInt();
    busyButton(ui->BUTTON_Z_MOVE_REFERENCE,
               [reference] { link()->z_stage_abs(Controller::MODE_BLOCKING, reference); });
}

void KOVA_II_Plus_Verifier::on_BUTTON_Z_DIAGNOSIS_clicked()
{
    busyButton(ui->BUTTON_Z_DIAGNOSIS,
               [this] { ui->EDIT_Z_DIAGNOSIS->setText(QString::number(link()->z_stage_diagnosis())); });
}

void KOVA_II_Plus_Verifier::on_RADIO_VALIDATION_SLIDE_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("----->check validation slide"),
                            QStringLiteral("----->2ch check : "), checkedText(ui->RADIO_2CH_SLIDE->isChecked())});
}

void KOVA_II_Plus_Verifier::on_RADIO_2CH_SLIDE_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("----->check 2ch slide"),
                            QStringLiteral("----->vali check : "),
                            checkedText(ui->RADIO_VALIDATION_SLIDE->isChecked())});
}

void KOVA_II_Plus_Verifier::on_BUTTON_CONNECT_clicked()
{
    setHighlighted(ui->BUTTON_CONNECT, false);
    ui->BUTTON_CONNECT->setText(QStringLiteral("X"));
    QCoreApplication::processEvents();
    link()->trySerialPort();
}

void KOVA_II_Plus_Verifier::slot_connected_controller()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    if (global_ini()->bZig_mode) {
        setHighlighted(ui->BUTTON_CONNECT, true);
        ui->BUTTON_CONNECT->setText(QStringLiteral("O"));
        repaint();
    }
    link()->z_stage_origin(Controller::MODE_BLOCKING);
    apply_INI_value();
}

void KOVA_II_Plus_Verifier::slot_z_stage_origin()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    showPosition(link()->z_stage_pos());
    setEnabled(true);
}

void KOVA_II_Plus_Verifier::slot_z_stage_mvn()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    showPosition(link()->z_stage_pos());
}

void KOVA_II_Plus_Verifier::slot_z_stage_mvp()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    showPosition(link()->z_stage_pos());
}

void KOVA_II_Plus_Verifier::slot_z_stage_abs()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    m_pAbsTimer->stop();
    showPosition(link()->z_stage_pos());
    setEnabled(true);
}

}  // namespace verifier
