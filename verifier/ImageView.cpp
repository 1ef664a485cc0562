// The view area: the live frame with its navigator and cross line.
#include "KOVA_II_Plus_Verifier.h"

#include "Camera/VerifierGrabThread.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include <QImage>
#include <QPainter>

namespace verifier {

namespace {

// Outlines the pixels from rect's top-left to its bottom-right, both included.
void outline(QPainter& painter, const QRect& rect)
{
    painter.drawRect(rect.x(), rect.y(), rect.width() - 1, rect.height() - 1);
}

}  // namespace

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
    // The focus graph stands in for the live view, which pauses meanwhile.
    if (m_bFocusGraph)
        return;
    QPainter painter(this);
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

}  // namespace verifier
