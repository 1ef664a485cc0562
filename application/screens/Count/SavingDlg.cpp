#include "Count/SavingDlg.h"

#include "Message/MessageBoxLook.h"
#include "Message/MessageCatalogue.h"
#include "ui_SavingDlg.h"

#include <QCoreApplication>
#include <QPainter>
#include <QThread>

namespace {

constexpr int kInitIntervalMs = 100;
constexpr int kCompletedPauseMs = 50;
const QColor kFaint(255, 255, 255, 30);

}  // namespace

SavingDlg::SavingDlg(QWidget* parent)
    : QDialog(parent), ui(new Ui::SavingDlg)
{
    ui->setupUi(this);
    applyMessageBoxLook(this, ui->LABEL_MESSAGE, ui->BUTTON_OK, nullptr);
    connect(&m_refreshTimer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
    ui->BUTTON_OK->hide();
    setMode(ModeSaving);
}

SavingDlg::~SavingDlg()
{
    if (m_refreshTimer.isActive())
        stop();
    delete ui;
}

void SavingDlg::start()
{
    m_nProgress = 0;
    m_bSaved = false;
    m_bSaving = true;
    setMode(ModeSaving);
}

void SavingDlg::setProgress(int percent)
{
    m_nProgress = 3 * percent;
    repaint();
}

void SavingDlg::complete()
{
    m_refreshTimer.stop();
    m_bSaving = false;
    m_bSaved = true;
}

void SavingDlg::stop()
{
    complete();
}

void SavingDlg::setMode(int mode)
{
    switch (mode) {
    case ModeSaving:
        ui->LABEL_MESSAGE->setText(QStringLiteral("Please wait. Saving in progress ..."));
        ui->BUTTON_OK->hide();
        break;
    case ModeCompleted:
        ui->LABEL_MESSAGE->setText(MessageCatalogue::text(8));
        ui->BUTTON_OK->show();
        break;
    case ModeWriteFailed:
        ui->LABEL_MESSAGE->setText(MessageCatalogue::text(5));
        ui->BUTTON_OK->show();
        break;
    default:
        ui->LABEL_MESSAGE->setText(MessageCatalogue::text(9));
        ui->BUTTON_OK->show();
        break;
    }
    QCoreApplication::processEvents();
    repaint();
}

void SavingDlg::SetFilename(QString a, QString b)
{
    m_strFileName = std::move(a);
    m_strPath = std::move(b);
}

void SavingDlg::SetInitialize(int n)
{
    m_nProgress = 0;
    m_bSaved = false;
    m_bSaving = true;
    m_initTimer.start(kInitIntervalMs);
    emit SendSavingInfo(m_strFileName, m_strPath, n);
}

void SavingDlg::InvalidateProgressbar()
{
    if (m_bSaving && !m_bSaved)
        repaint();
}

void SavingDlg::ReceiveSavingCompleted(bool)
{
    m_nProgress = kBarWidth;
    // The full bar stays a moment before the box goes.
    repaint();
    QThread::msleep(kCompletedPauseMs);
    m_initTimer.stop();
    m_bSaving = false;
    m_bSaved = true;
    close();
}

void SavingDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!m_bSaving || m_bSaved)
        return;
    m_nProgress = qMin(m_nProgress + 1, kBarWidth);
    QPainter painter(this);
    painter.setPen(kFaint);
    painter.drawRect(kBarLeft, kBarTop, kBarWidth - 1, kBarHeight - 1);
    painter.fillRect(kBarLeft, kBarTop, m_nProgress, kBarHeight, Qt::white);
    painter.fillRect(kBarLeft + m_nProgress, kBarTop, kBarWidth - m_nProgress, kBarHeight, kFaint);
}

void SavingDlg::on_BUTTON_OK_clicked()
{
    emit sig_close_dlg();
    accept();
}
