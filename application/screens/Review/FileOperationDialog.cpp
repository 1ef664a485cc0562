#include "Review/FileOperationDialog.h"

#include "ui_FileOperationDialog.h"

#include "KovaCore/Fonts.h"
#include "platform/Log.h"

#include <QPainter>
#include <QThread>

#include <algorithm>

namespace {

QString errorText(FileOperationPasteError code)
{
    switch (code) {
    case PasteErrorSameFolder:
        return QStringLiteral("<p><b>Error</b><br/><br/>Cannot paste files within the same folder.</p>");
    case PasteErrorDiskSpace:
        return QStringLiteral("<p><b>Error!</b><br/><br/><b>Insufficient disk space.</b><br/>Insert another drive.</p>");
    case PasteErrorDestination:
        return QStringLiteral("<p><b>Error!</b><br/><br/>The designated destination could not be<br/>found. Check the "
                              "save file path and<br/>try again.</p>");
    case PasteErrorCopy:
        return QStringLiteral("<p><b>Error!</b><br/><br/>A file could not be copied.</p>");
    }
    return QString();
}

}  // namespace

FileOperationDialog::FileOperationDialog(QWidget* parent) : QDialog(parent), ui(new Ui::FileOperationDialog)
{
    ui->setupUi(this);
    setModal(true);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
    setGeometry(156, 90, 500, 300);
    ui->LABEL_MESSAGE->setFont(notoSans(22, QFont::Normal));
    ui->BUTTON_OK->setFont(notoSans(22, QFont::DemiBold));
    m_timer.setInterval(kCreepIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    initialize();
}

FileOperationDialog::~FileOperationDialog()
{
    delete ui;
}

void FileOperationDialog::initialize()
{
    m_bRunning = false;
    m_fProgress = 0;
    ui->LABEL_MESSAGE->setText(QStringLiteral("<p><b>Saving in Progress …</b><br/><br/>Do not remove the USB or turn "
                                              "off the instrument during the update.</p>"));
    ui->BUTTON_OK->hide();
}

void FileOperationDialog::start()
{
    ui->LABEL_MESSAGE->setText(QStringLiteral("Please wait. Exporting in progress ..."));
    ui->LABEL_MESSAGE->show();
    m_bRunning = true;
    m_fProgress = 0;
    m_timer.start();
}

void FileOperationDialog::setProgress(float percent)
{
    m_fProgress = std::clamp(percent * kBarWidth / 100, 0.0f, static_cast<float>(kBarWidth));
    update();
}

void FileOperationDialog::slotSetTotalFileCountAndSize(int count, unsigned long size)
{
    m_nTotalCount = count;
    m_nTotalSize = size;
}

void FileOperationDialog::slotSetCurrentFileCountAndSize(int, unsigned long size)
{
    // Nothing to copy is all copied.
    setProgress(m_nTotalSize == 0 ? 100.0f : static_cast<float>(size) / static_cast<float>(m_nTotalSize) * 100);
}

void FileOperationDialog::slotSyncStart()
{
    ui->LABEL_MESSAGE->setText(QStringLiteral("Synchronizing ..."));
    m_fProgress = 0;
}

void FileOperationDialog::slotSyncPercentage(float percentage)
{
    setProgress(percentage);
}

void FileOperationDialog::slotCompleted()
{
    m_timer.stop();
    setProgress(100);
    QCoreApplication::processEvents();
    QThread::msleep(kCompletedPauseMs);
    accept();
}

void FileOperationDialog::slotPasteError(FileOperationPasteError code)
{
    KLOG_ENTER;
    m_timer.stop();
    m_bRunning = false;
    repaint();
    QCoreApplication::processEvents();
    QThread::msleep(kCompletedPauseMs);
    const QString text = errorText(code);
    KLOG_VALUE("code", int(code));
    KLOG_VALUE("shown", text);
    if (!text.isEmpty())
        ui->LABEL_MESSAGE->setText(text);
    ui->BUTTON_OK->move(174, 204);
    ui->BUTTON_OK->show();
}

void FileOperationDialog::on_BUTTON_OK_clicked()
{
    reject();
}

void FileOperationDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!m_bRunning)
        return;
    m_fProgress = std::min(m_fProgress + 1, static_cast<float>(kBarWidth));
    QPainter painter(this);
    const QColor track(255, 255, 255, 30);
    painter.setPen(track);
    painter.setBrush(track);
    painter.drawRect(100, 182, kBarWidth - 1, 5);
    painter.fillRect(QRect(100, 182, static_cast<int>(m_fProgress), 7), Qt::white);
}
