// The STAGE tab's autofocus: starting a run around the reference, following
// it, its review lines and the focus graph.
#include "KOVA_II_Plus_Verifier.h"

#include "DebugLine.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPainter>

namespace verifier {

namespace {

const QString kSeparator = QStringLiteral("#########################");

}  // namespace

void KOVA_II_Plus_Verifier::on_BUTTON_AUTOFOCUS_clicked()
{
    const bool saving = ui->CHECK_DEBUG_AUTOFOCUS->isChecked();
    if (saving && !stickMounted())
        return;
    int reference = ui->EDIT_Z_REFERENCE->text().toInt();
    emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("----->reference :"), QString::number(reference)});
    if (ui->RADIO_2CH_SLIDE->isChecked()) {
        reference += 2560;
        emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("----->2ch reference :"), QString::number(reference)});
    }
    m_pAutofocus = new alg_Autofocus(this, m_pCamera, reference, m_nFrameWidth, m_nFrameHeight, saving);
    connect(m_pAutofocus, &alg_Autofocus::sig_move_z_position, this, &KOVA_II_Plus_Verifier::slot_move_z_position);
    connect(m_pAutofocus, &alg_Autofocus::sig_endAutoFocusing, this, &KOVA_II_Plus_Verifier::slot_endAutoFocusing);
    connect(m_pAutofocus, &alg_Autofocus::sig_debug_Message, this, &KOVA_II_Plus_Verifier::slot_debug_Message);
    connect(m_pAutofocus, &alg_Autofocus::sig_progress_AutoFocusing, this,
            &KOVA_II_Plus_Verifier::slot_progress_AutoFocusing);
    connect(m_pAutofocus, &alg_Autofocus::sig_review_AutoFocusing, this,
            &KOVA_II_Plus_Verifier::slot_review_AutoFocusing);
    ui->PROGRESS_AUTOFOCUS->setValue(0);
    m_nProgressCount = 0;
    for (int step = 0; step < 3; ++step) {
        m_AutoFocusingData[step].clear();
        m_nBestIndex[step] = 0;
    }
    ui->BUTTON_AUTOFOCUS->setEnabled(false);
    QCoreApplication::processEvents();
    m_pAutofocus->process();
}

void KOVA_II_Plus_Verifier::slot_move_z_position(int position)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE, QString::number(position)});
    showPosition(position);
}

void KOVA_II_Plus_Verifier::slot_progress_AutoFocusing(int step)
{
    ++m_nProgressCount;
    const double percent = m_nProgressCount / double(alg_Autofocus::kSamples) * 100.0;
    ui->PROGRESS_AUTOFOCUS->setValue(int(percent));
    emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("[%1]").arg(step),
                            QStringLiteral("%1/%2").arg(m_nProgressCount).arg(alg_Autofocus::kSamples),
                            QStringLiteral("%1%").arg(QString::number(percent, 'g', 6))});
}

void KOVA_II_Plus_Verifier::slot_review_AutoFocusing(int step, std::vector<AutoFocusingData_t> data, int best_index)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    emit sig_debug_Message({kSeparator});
    if (step >= 1 && step <= 3) {
        m_AutoFocusingData[step - 1] = data;
        m_nBestIndex[step - 1] = best_index;
        emit sig_debug_Message({QStringLiteral("[%1] best_index:").arg(step), QString::number(best_index)});
        for (std::size_t k = 0; k < data.size(); ++k)
            emit sig_debug_Message({QStringLiteral("[%1](%2) focus_value:").arg(step).arg(k + 1),
                                    QString::number(data[k].focus_value, 'g', 6), QStringLiteral(", position:"),
                                    QString::number(data[k].position)});
    }
    emit sig_debug_Message({kSeparator});
}

void KOVA_II_Plus_Verifier::slot_endAutoFocusing(int position)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE, QString::number(position)});
    disconnect(m_pAutofocus, nullptr, this, nullptr);
    const QString failure = m_pAutofocus->errorString();
    // Released from the event loop: the run may still be on the stack.
    m_pAutofocus->deleteLater();
    m_pAutofocus = nullptr;
    ui->BUTTON_AUTOFOCUS->setEnabled(true);
    if (failure.isEmpty())
        QMessageBox::information(this, QLatin1String(kTitle), QStringLiteral("Finish AutoFocus !"));
    else
        QMessageBox::critical(this, QStringLiteral("Error"), failure);
}

void KOVA_II_Plus_Verifier::paintGraph(QPainter& painter)
{
    painter.fillRect(QRect(QPoint(0, 0), QPoint(639, 479)), Qt::white);
    painter.drawImage(QPoint(50, 100), QImage(QStringLiteral(":/GUI/Graph.png")));
    const std::vector<AutoFocusingData_s>& record = m_AutoFocusingData[0];
    const int samples = int(std::min<std::size_t>(record.size(), alg_Autofocus::kSamples));
    const int chosen = m_nBestIndex[0] < samples ? m_nBestIndex[0] : -1;
    const bool vga = m_nCurrentResolution == 0;

    QFont font = painter.font();
    font.setPointSize(9);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int n = 1; n <= alg_Autofocus::kSamples; ++n) {
        if (n - 1 != chosen)
            painter.drawText(QRect(40 * n, 360, 20, 20), Qt::AlignCenter, QString::number(n));
    }
    for (int k = 0; k <= 10; ++k)
        painter.drawText(QRect(15, 341 - 25 * k, 30, 20), Qt::AlignCenter, QString::number(k * (vga ? 100 : 50)));
    if (samples == 0)
        return;

    const double divisor = vga ? 4.0 : 2.0;
    const auto at = [&](int i) { return QPoint(50 + 40 * i, int(351 - record[i].focus_value / divisor)); };
    painter.setPen(QPen(QColor(0, 170, 255), 2));
    for (int i = 0; i + 1 < samples; ++i)
        painter.drawLine(at(i), at(i + 1));
    const auto sample = [&](int i, const QColor& dot, const QColor& text) {
        painter.setPen(dot);
        painter.setBrush(dot);
        painter.drawEllipse(QRect(at(i) - QPoint(3, 3), QSize(6, 6)));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(text);
        font.setPointSize(8);
        painter.setFont(font);
        painter.drawText(QRect(30 + 40 * i, 385, 40, 20), Qt::AlignCenter, QString::number(record[i].position));
    };
    for (int i = 0; i < samples; ++i) {
        if (i != chosen)
            sample(i, QColor(0, 0, 255), Qt::black);
    }
    if (chosen >= 0) {
        const QColor red(255, 0, 0);
        sample(chosen, red, red);
        font.setPointSize(9);
        painter.setFont(font);
        painter.drawText(QRect(40 * (chosen + 1), 360, 20, 20), Qt::AlignCenter, QString::number(chosen + 1));
    }
}

}  // namespace verifier
