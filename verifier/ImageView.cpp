// The view area: the live frame with its navigator and cross line, panned by
// dragging, or the focus graph; the screenshot key.
#include "KOVA_II_Plus_Verifier.h"

#include "Camera/VerifierGrabThread.h"
#include "Outline.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "File_IO/PartFile.h"
#include "platform/Root.h"

namespace verifier {

QRect KOVA_II_Plus_Verifier::navigatorRect() const
{
    struct Marker
    {
        int frameWidth, frameHeight, width, height;
    };
    static constexpr Marker kMarkers[3] = {{640, 480, 80, 60}, {1280, 960, 40, 30}, {2592, 1944, 20, 15}};
    if (m_nCurrentResolution < 0 || m_nCurrentResolution > 2)
        return QRect();
    const Marker& m = kMarkers[m_nCurrentResolution];
    const int left = std::max(0, m_nCurrX * 80 / m.frameWidth);
    const int top = std::max(0, m_nCurrY * 60 / m.frameHeight);
    return QRect(left, top, m.width, m.height);
}

void KOVA_II_Plus_Verifier::SetNavigatorPos()
{
    switch (m_pCamera ? m_nCurrentResolution : -1) {
    case 0:
        m_nCurrX = 0;
        m_nCurrY = 0;
        break;
    case 1:
        m_nCurrX = std::min(m_nCurrX, 640);
        m_nCurrY = std::min(m_nCurrY, 480);
        break;
    default:
        break;
    }
}

void KOVA_II_Plus_Verifier::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
    QPainter painter(this);
    // The focus graph stands in for the live view, which pauses meanwhile.
    if (m_bFocusGraph)
        paintGraph(painter);
    else
        paintLive(painter);
}

void KOVA_II_Plus_Verifier::paintLive(QPainter& painter)
{
    if (m_nCurrentResolution < 0)
        return;
    const QImage frame(m_FrameBuffer[m_nCurrentResolution].data(), m_nFrameWidth, m_nFrameHeight,
                       m_nFrameWidth * 3, QImage::Format_RGB888);
    if (ui->CHECK_SCALED_TO_FIT->isChecked()) {
        painter.drawImage(m_ViewRect, frame);
    } else {
        painter.drawImage(m_ViewRect.topLeft(), frame, QRect(m_nCurrX, m_nCurrY, 640, 480));
        painter.setPen(QColor(255, 255, 0));
        outline(painter, QRect(0, 0, 80, 60));
        outline(painter, navigatorRect());
    }
    if (ui->CHECK_CROSS_LINE->isChecked()) {
        painter.setPen(QColor(255, 0, 0));
        painter.drawLine(0, 240, 640, 240);
        painter.drawLine(320, 0, 320, 480);
    }
    if (m_pGrabThread && m_pGrabThread->isRunning())
        emit updateFrameDone();
}

void KOVA_II_Plus_Verifier::on_CHECK_SCALED_TO_FIT_clicked(bool checked)
{
    if (checked) {
        m_nCurrX = 0;
        m_nCurrY = 0;
    }
    update(m_ViewRect);
}

void KOVA_II_Plus_Verifier::mousePressEvent(QMouseEvent* event)
{
    // A press on the area's outermost pixels starts no drag.
    m_bDragging = m_ViewRect.adjusted(1, 1, -1, -1).contains(event->pos());
    if (m_bDragging)
        m_LastPos = event->pos();
}

void KOVA_II_Plus_Verifier::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->pos();
    if (!m_bDragging || !m_ViewRect.contains(position))
        return;
    const auto pan = [](int offset, int delta, int frameSize, int viewSize) {
        const int moved = offset + delta;
        if (moved < 0)
            return 0;
        return moved < frameSize - viewSize + 1 ? moved : frameSize - viewSize;
    };
    m_nCurrX = pan(m_nCurrX, m_LastPos.x() - position.x(), m_nFrameWidth, m_ViewRect.width());
    m_nCurrY = pan(m_nCurrY, m_LastPos.y() - position.y(), m_nFrameHeight, m_ViewRect.height());
    m_LastPos = position;
    update(m_ViewRect);
}

void KOVA_II_Plus_Verifier::mouseReleaseEvent(QMouseEvent*)
{
    m_bDragging = false;
}

void KOVA_II_Plus_Verifier::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Print) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
    takeScreenshot();
}

void KOVA_II_Plus_Verifier::takeScreenshot()
{
    if (!stickMounted())
        return;
    // Numbers already on the stick are kept, not overwritten.
    QString file;
    do {
        file = QString::asprintf("/mnt/VelimCap-%04d.png", m_nScreenshotCount);
    } while (nameTaken(platform::rootPath(file)) && ++m_nScreenshotCount <= 9999);
    QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    // A display that cannot give the whole screen still shows the window, which fills it.
    if (screen.isNull())
        screen = grab();
    QByteArray png;
    QBuffer buffer(&png);
    if (m_nScreenshotCount > 9999 || screen.isNull() || !buffer.open(QIODevice::WriteOnly)
        || !screen.save(&buffer, "png") || !writeWhole(platform::rootPath(file), png)) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("%1 saving failed !!!").arg(file));
        return;
    }
    ++m_nScreenshotCount;
    m_fileSync();
    QMessageBox::information(this, QLatin1String(kTitle), QStringLiteral("%1 saved !").arg(file));
}

}  // namespace verifier
