// The counting screen's image area: the live view with its frame hand-shake
// and camera restarts, painting by page, zoom, drag and navigator, and the
// result image.
#include "Count/CountDlg.h"

#include "ui_CountDlg.h"

#include "Camera/GrabThread.h"
#include "Camera/OV5642Camera.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"

#include "velimbio/CellCounter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QThread>

#include <cstring>

namespace {

constexpr int kNewFramePollMs = 2;
const QColor kProgressBackground(25, 25, 25);
const QColor kProgressFill(62, 185, 255);
const QColor kProgressText(195, 203, 226);
// The progress bar and its caption.
const QRect kProgressBar(QPoint(319, 281), QPoint(678, 286));
constexpr QPoint kProgressStart{319, 281};
const QRect kProgressCaption(QPoint(319, 230), QPoint(678, 259));
// The navigator's frame (100 × 68) for the live view and the result image.
const QRect kLiveNavigatorFrame(201, 81, 99, 67);
const QRect kResultNavigatorFrame(200, 80, 99, 67);

}  // namespace

void CountDlg::startCamera(int mode, bool restartAllowed)
{
    KLOG_ENTER;
    m_nCameraMode = mode;
    m_pGrabThread = new GrabThread(this);
    connect(m_pGrabThread, &GrabThread::grabDone, this, &CountDlg::updateFrame);
    connect(m_pGrabThread, &GrabThread::signalCameraInitialize, this, &CountDlg::slotCameraInitialize);
    connect(m_pGrabThread, &GrabThread::signalTransmissionError, this, &CountDlg::slotTransmissionError);
    connect(this, &CountDlg::updateFrameDone, m_pGrabThread, &GrabThread::grab, Qt::QueuedConnection);
    m_pGrabThread->registerCamera(theApp.m_pCamera, m_pFrameBuffer[m_nCameraMode]);
    // Past the last restart a corrupt start is reported instead.
    m_pGrabThread->setReportStartupError(!restartAllowed);
    m_pGrabThread->start(QThread::InheritPriority);
}

void CountDlg::stopCamera(bool closeCamera)
{
    KLOG_ENTER;
    if (m_pGrabThread) {
        if (m_pGrabThread->isRunning()) {
            disconnect(m_pGrabThread, nullptr, this, nullptr);
            disconnect(this, &CountDlg::updateFrameDone, m_pGrabThread, nullptr);
            m_pGrabThread->requestStop();
            m_pGrabThread->quit();
            m_pGrabThread->wait();
        }
        m_pGrabThread->deleteLater();
        m_pGrabThread = nullptr;
    }
    m_bNewFrame = false;
    if (closeCamera && theApp.m_pCamera && theApp.m_pCamera->isRunning())
        theApp.m_pCamera->close();
}

void CountDlg::updateFrame()
{
    // A frame a stopped thread sent before it stopped is no frame of this live view.
    if (!m_pGrabThread || sender() != m_pGrabThread)
        return;
    if (m_State == StateResult) {
        CountButtonState(true);
        update();
        applyFocusWindow(theApp.m_nZstageCurrentPos);
    } else {
        m_bNewFrame = true;
        update(m_ProgressRect);
    }
    if (!m_bFirstFrameUpdated) {
        m_bFirstFrameUpdated = true;
        emit signalFirstFrameUpdated();
    }
}

void CountDlg::slotCameraInitialize()
{
    KLOG_ENTER;
    ++m_nCameraInitRetry;
    KLOG_VALUE("m_nCameraInitRetry", m_nCameraInitRetry);
    stopCamera(true);
    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    QThread::msleep(static_cast<unsigned long>(seams().cameraRestartPauseMs));
    if (m_home.openCamera)
        m_home.openCamera();
    if (!theApp.m_pCamera || !theApp.m_pCamera->isRunning()) {
        KLOG << "[Error] the camera did not reopen";
        slotTransmissionError();
        return;
    }
    startCamera(Mode1280, m_nCameraInitRetry < kCameraRestarts);
}

void CountDlg::slotTransmissionError()
{
    KLOG_ENTER;
    stopCamera(true);
    m_BackLabel.message(kTransmissionError);
    leave();
}

void CountDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    ui->LABEL_COMMON_DATETIME->setText(theApp.m_strDateTime);
    QPainter painter(this);
    switch (m_State) {
    case StateCount:
        paintLive(painter);
        break;
    case StateCounting:
        paintProgress(painter);
        break;
    case StateImage:
        if (m_bCounted)
            paintResult(painter);
        break;
    default:
        break;
    }
}

void CountDlg::paintLive(QPainter& painter)
{
    m_FramePixmap[Mode1280] = QPixmap::fromImage(m_FrameImage[Mode1280]);
    const QRect source = ImageNavigation::liveSource(view());
    if (!source.isNull())
        painter.drawPixmap(m_ProgressRect.topLeft().x(), m_ProgressRect.top(), m_ProgressRect.width(),
                           m_ProgressRect.height(), m_FramePixmap[Mode1280], source.x(), source.y(),
                           source.width(), source.height());
    painter.setPen(QColor(255, 0, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(kLiveNavigatorFrame);
    QRect box;
    SetNavigatorRect(box);
    painter.drawRect(box);
    if (m_bNewFrame) {
        m_bNewFrame = false;
        emit updateFrameDone();
    }
}

void CountDlg::paintProgress(QPainter& painter)
{
    painter.fillRect(m_ProgressRect, kProgressBackground);
    m_nProgress = std::min(m_nProgress + 1, kProgressMax);
    painter.setPen(Qt::white);
    painter.setBrush(Qt::white);
    painter.fillRect(kProgressBar, Qt::white);
    painter.fillRect(QRect(kProgressStart, QPoint(kProgressStart.x() - 1 + m_nProgress, kProgressBar.bottom() + 1)),
                     kProgressFill);
    painter.setFont(notoSans(20, QFont::Medium));
    painter.setPen(kProgressText);
    const bool focusing = theApp.m_bAutofocusedCounting && m_bFocusingBeforeCount;
    painter.drawText(kProgressCaption, Qt::AlignCenter,
                     focusing ? QStringLiteral("Autofocusing ...") : QStringLiteral("Counting cells ..."));
}

void CountDlg::paintResult(QPainter& painter)
{
    const int index = m_nZoom == 1 ? ModeVga : m_nZoom == 2 ? Mode1280 : ModeFull;
    painter.drawPixmap(m_ProgressRect.topLeft(), m_FramePixmap[index],
                       QRect(QPoint(m_nViewX, m_nViewY), m_ProgressRect.size()));
    painter.setPen(QColor(255, 0, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(kResultNavigatorFrame);
    QRect box;
    SetNavigatorRect(box);
    painter.drawRect(box);
}

void CountDlg::SetNavigatorRect(QRect& rect)
{
    rect = ImageNavigation::navigatorRect(view(), m_bCounted);
}

void CountDlg::mousePressEvent(QMouseEvent* event)
{
    if (m_bCounting && !m_bCounted)
        return;
    const QPoint point = event->localPos().toPoint();
    m_bMousePressed = m_ProgressRect.contains(point, true);
    if (m_bMousePressed) {
        m_nPressX = point.x() - m_ProgressRect.left();
        m_nPressY = point.y() - m_ProgressRect.top();
    }
}

void CountDlg::mouseReleaseEvent(QMouseEvent*)
{
    m_bMousePressed = false;
}

void CountDlg::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->localPos().toPoint();
    if (!m_bMousePressed || !m_ProgressRect.contains(point))
        return;
    const QPoint now = point - m_ProgressRect.topLeft();
    const ImageNavigation::View moved = ImageNavigation::drag(view(), QPoint(m_nPressX, m_nPressY), now, m_bCounted);
    m_nViewX = moved.origin.x();
    m_nViewY = moved.origin.y();
    m_nPressX = now.x();
    m_nPressY = now.y();
    update(m_ProgressRect);
}

void CountDlg::on_BUTTON_ZOOM_clicked()
{
    stepZoom(ui->BUTTON_ZOOM);
}

void CountDlg::on_BUTTON_RESULT_ZOOM_clicked()
{
    stepZoom(ui->BUTTON_RESULT_ZOOM);
}

void CountDlg::stepZoom(QPushButton* button)
{
    KLOG_ENTER;
    const ImageNavigation::View next = ImageNavigation::zoomStep(view(), m_bCounted);
    if (next.zoom == m_nZoom)
        return;
    m_nZoom = next.zoom;
    m_nViewX = next.origin.x();
    m_nViewY = next.origin.y();
    button->setText(ImageNavigation::zoomCaption(m_nZoom));
    if (m_bCounted)
        rebuildResultImage();
    update(m_ProgressRect);
}

void CountDlg::rebuildResultImage()
{
    VelimBio::CellCounter* engine = theApp.m_pCellCounter;
    if (!engine)
        return;
    const cv::Mat source = m_bTagOn && theApp.m_SaveReview.m_bEnableScaleBar ? theApp.getScaleBarImg()
                                                                             : engine->getOverlayImageData2(m_bTagOn);
    if (!copyResultImage(source))
        return;
    switch (m_nZoom) {
    case 1:
        m_FramePixmap[ModeVga] = QPixmap::fromImage(m_FrameImage[ModeFull].scaled(
            m_FrameImage[ModeVga].size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        break;
    case 2:
        m_FramePixmap[Mode1280] = QPixmap::fromImage(m_FrameImage[ModeFull].scaled(
            m_FrameImage[Mode1280].size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        break;
    default:
        m_FramePixmap[ModeFull] = QPixmap::fromImage(m_FrameImage[ModeFull]);
        break;
    }
}

bool CountDlg::copyResultImage(const cv::Mat& image)
{
    const std::size_t bytes = std::size_t(m_FrameImage[ModeFull].sizeInBytes());
    // Anything but a whole full-resolution image would be read past its end.
    if (!image.isContinuous() || image.total() * image.elemSize() != bytes) {
        KLOG << "[Error] no full-resolution result image to show";
        return false;
    }
    std::memcpy(m_pFrameBuffer[ModeFull], image.data, bytes);
    return true;
}

void CountDlg::set_ScalebarImage(cv::Mat image)
{
    if (!image.data || image.empty())
        return;
    m_bdarkness = cv::mean(image)[1] > kDarkGreenMean;
    if (theApp.m_SaveReview.m_bEnableScaleBar) {
        theApp.setScaleBarImg(image);
        theApp.prepareScalebar(m_bdarkness);
    }
}

unsigned char* CountDlg::getFrame(int skip, QDeadlineTimer deadline)
{
    OV5642Camera* camera = theApp.m_pCamera;
    if (!camera || !camera->isRunning())
        return nullptr;
    unsigned int index = 0;
    unsigned char* frame = camera->getFrame(index);
    for (int take = 0; frame && take < kFrameChecks; ++take) {
        if (take > 0) {
            // The next take is the next frame the camera delivers.
            if (deadline.hasExpired())
                return nullptr;
            QDeadlineTimer wait(seams().newFrameTimeoutMs);
            if (deadline < wait)
                wait = deadline;
            unsigned int next = index;
            do {
                QThread::msleep(kNewFramePollMs);
                frame = camera->getFrame(next);
            } while (frame && next == index && !wait.hasExpired());
            if (frame && next == index) {
                KLOG << "[Error] the camera gave no new frame";
                return nullptr;
            }
            index = next;
        }
        int green = 0, pink = 0, black = 0;
        if (frame && take > skip && !camera->checkGreenPinkBlackImage(frame, green, pink, black, kBlackRatio))
            return frame;
    }
    return frame;
}
