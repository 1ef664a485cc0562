#include "Algorithm/alg_Autofocus.h"

#include "Camera/OV5642Camera.h"
#include "Controller/Controller.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QThread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char kSaveRoot[] = "/mnt/KOVA-3/Autofocus/";
// Bounds the wait for a frame exposed after the stage stopped when the
// camera delivers nothing new; a loaded machine can take several frame
// periods for two frames, and the wait ends when they came.
constexpr int kSettleFrameTimeoutMs = 5000;

void flushFile(const QString& physicalPath)
{
    const int fd = ::open(QFile::encodeName(physicalPath).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

alg_Autofocus::alg_Autofocus(QObject* parent, OV5642Camera* camera, int width, int height)
    : QObject(parent)
    , m_pCamera(camera)
    , m_width(width)
    , m_height(height)
{
    KLOG_ENTER;
    m_timer.setSingleShot(true);
    if (Controller* link = Controller::instance) {
        connect(link, &Controller::sig_z_stage_mvp, this, &alg_Autofocus::slot_stage_moved);
        connect(link, &Controller::sig_z_stage_mvn, this, &alg_Autofocus::slot_stage_moved);
        // A restart ends the moves under way unanswered and leaves the stage elsewhere.
        connect(link, &Controller::sig_device_reset, this, &alg_Autofocus::slot_stage_moved);
    }
    connect(&m_timer, &QTimer::timeout, &m_eventLoop, &QEventLoop::quit);
}

alg_Autofocus::~alg_Autofocus()
{
    KLOG_ENTER;
}

void alg_Autofocus::setParam(int center_position, int step_offset, bool early_stop, bool save_images)
{
    KLOG_ENTER;
    m_center_position = center_position;
    m_step_offset = step_offset;
    m_bEarlyStop = early_stop;
    m_bSaveImages = save_images;
}

void alg_Autofocus::setWaitTimes(int stageWaitMs, int settleMs)
{
    m_nStageWaitMs = stageWaitMs;
    m_nSettleMs = settleMs;
}

void alg_Autofocus::process()
{
    KLOG_ENTER;
    if (m_bSaveImages) {
        m_strSavePath = QLatin1String(kSaveRoot)
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss"));
        QDir().mkpath(platform::rootPath(m_strSavePath + QStringLiteral("/Step1")));
    } else {
        m_strSavePath.clear();
    }
    const Controller::StageUse stageUse(Controller::instance);
    int relative_move = 0;
    const int state = executeAutofocusing(m_center_position, relative_move);
    KLOG << "process" << "State:" << state << "Ref Pos:" << m_center_position << "Rel Pos:" << relative_move;
    endAutoFocusing(relative_move);
}

bool alg_Autofocus::moveRelZ(int steps, bool wait)
{
    if (steps == 0) {
        m_bMoving = false;
        return true;
    }
    Controller* link = Controller::instance;
    bool sent = false;
    if (link) {
        // Written whatever the link's last status said: its acknowledgement will come.
        sent = steps > 0 ? link->z_stage_mvp(Controller::MODE_NON_BLOCKING, steps)
                         : link->z_stage_mvn(Controller::MODE_NON_BLOCKING, -steps);
    }
    m_bMoving = true;
    if (wait)
        wait_stage_moved();
    return sent;
}

void alg_Autofocus::wait_stage_moved()
{
    // The link counts the moves under way; nothing written (no link, a closed
    // port) gets no acknowledgement.
    Controller* link = Controller::instance;
    if (!m_bMoving || m_bStageSilent || !link || link->movesUnderWay() == 0)
        return;
    // Ends when no move is under way any more, or at the time-out; a missing
    // acknowledgement is not reported.
    const int pending = link->movesUnderWay();
    m_timer.start(m_nStageWaitMs);
    m_eventLoop.exec();
    const bool ranOut = !m_timer.isActive();
    m_timer.stop();
    // A slow stage still answers a query; a silent one is not waited for
    // again. (The link may have gone meanwhile, with the program leaving.)
    link = Controller::instance;
    if (ranOut && (!link || (link->movesUnderWay() == pending && link->z_stage_pos() < 0))) {
        KLOG << "[Error] the stage does not answer; no further waits in this run";
        m_bStageSilent = true;
    }
}

void alg_Autofocus::slot_stage_moved()
{
    // A late acknowledgement of an earlier move: the stage is still on its
    // way, and a position read now would be none of the stops.
    if (Controller* link = Controller::instance; link && link->movesUnderWay() > 0)
        return;
    m_bMoving = false;
    m_z_position = stagePosition();
    emit sig_move_z_position(m_z_position);
    m_eventLoop.quit();
}

int alg_Autofocus::stagePosition() const
{
    Controller* link = Controller::instance;
    if (!link)
        return m_z_position;
    const int queried = link->z_stage_pos();
    // -1 is a failed query, not a position: the link's tracked count stands in.
    return queried >= 0 ? queried : link->currentPosition();
}

double alg_Autofocus::brennerGradient(const cv::Mat& plane)
{
    if (plane.type() != CV_8UC1)
        return 0.0;
    uint64_t total = 0;
    for (int r = 0; r < plane.rows; ++r) {
        const uchar* row = plane.ptr<uchar>(r);
        uint32_t sum = 0;
        for (int c = 0; c + 2 < plane.cols; ++c) {
            const int d = int(row[c + 2]) - int(row[c]);
            sum += uint32_t(d * d);
        }
        total += sum;
    }
    return double(total) / 1000000.0;
}

void alg_Autofocus::analyze_grabbed_image_bG(unsigned char* rgb24)
{
    cv::Mat image;
    if (rgb24)
        image = cv::Mat(m_height, m_width, CV_8UC3, rgb24);
    analyze_grabbed_image_bG(image);
}

void alg_Autofocus::analyze_grabbed_image_bG(cv::Mat& image)
{
    AutoFocusingData_s sample;
    sample.z_position = m_z_position;
    cv::Mat green;
    if (image.type() == CV_8UC3) {
        cv::extractChannel(image, green, 1);
        sample.focus_value = brennerGradient(green);
    }
    m_samples.push_back(sample);
    if (m_bSaveImages && !image.empty())
        saveFrame(image, sample);
}

void alg_Autofocus::saveFrame(const cv::Mat& rgb, const AutoFocusingData_s& sample) const
{
    const QString file = QStringLiteral("%1/Step1/Autofocus_%2_%3_%4.tiff")
                             .arg(m_strSavePath)
                             .arg(int(m_samples.size()), 2, 10, QLatin1Char('0'))
                             .arg(sample.z_position)
                             .arg(QString::number(sample.focus_value, 'g', 6));
    const QString physical = platform::rootPath(file);
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    // A missing medium only loses the record; the search goes on.
    if (cv::imwrite(QFile::encodeName(physical).toStdString(), bgr))
        flushFile(physical);
    else
        KLOG << "[Error] autofocus frame not written:" << file;
}

cv::Mat alg_Autofocus::settledFrame()
{
    // Another mode's buffer would not hold a frame of the run's size.
    if (!m_pCamera || std::size_t(m_pCamera->frameSize()) != std::size_t(m_width) * m_height * 3)
        return cv::Mat();
    unsigned int index = 0;
    bool stalled = false;
    // A camera that gave nothing new for a whole wait is not waited for again.
    unsigned char* rgb = m_bCameraStalled ? m_pCamera->getFrame(index)
                                          : m_pCamera->getSettledFrame(kSettleFrameTimeoutMs, &stalled);
    m_bCameraStalled = m_bCameraStalled || stalled;
    if (!rgb)
        return cv::Mat();
    // A copy: the live view's thread rewrites the camera's buffer at any time.
    return cv::Mat(m_height, m_width, CV_8UC3, rgb).clone();
}

int alg_Autofocus::executeAutofocusing(int center_position, int& relative_move)
{
    KLOG_ENTER;
    // Where the stage stands until the first acknowledgement says otherwise.
    const int current = stagePosition();
    m_z_position = current;
    m_target_position = center_position - kStepsBelowCentre * kStepSize;
    KLOG << "executeAutofocusing" << "target : " << m_target_position << "current : " << current;

    moveRelZ(m_target_position - current, true);
    QThread::msleep(static_cast<unsigned long>(m_nSettleMs));

    m_samples.clear();
    cv::Mat frame = settledFrame();

    double best = 0.0;
    int bestStep = 0;
    int bestPosition = 0;
    for (int step = 0; step < kSteps; ++step) {
        moveRelZ(kStepSize, false);
        analyze_grabbed_image_bG(frame);
        const AutoFocusingData_s& sample = m_samples.back();
        KLOG << "Step:" << step << sample.z_position << sample.focus_value;
        if (sample.focus_value > best) {
            best = sample.focus_value;
            bestStep = step;
            bestPosition = sample.z_position;
        }
        wait_stage_moved();
        frame = settledFrame();
        if (step >= kEarlyStopStep && m_bEarlyStop && best > m_focus_threshold
            && sample.focus_value < best - kEarlyStopDrop)
            break;
    }

    const bool found = best >= m_focus_threshold;
    const int result = found ? bestPosition : center_position;
    relative_move = result - m_z_position + m_step_offset * kStepSize;
    KLOG << "Abs Pos:" << relative_move + m_z_position << "Center Pos:" << center_position;
    for (const AutoFocusingData_s& s : m_samples)
        KLOG << s.z_position << s.focus_value;
    if (!found)
        return 0;
    return bestStep == 0 ? 1 : 2;
}

void alg_Autofocus::endAutoFocusing(int relative_move)
{
    KLOG_ENTER;
    moveRelZ(relative_move, true);
    // The run is over: what the link reports from now on is the screen's
    // (a restart must not move the position the screen keeps).
    if (Controller* link = Controller::instance)
        disconnect(link, nullptr, this, nullptr);
    KLOG << "endAutoFocusing" << "Pos:" << m_z_position;
    // The receiver releases this object: nothing of it is touched after this.
    emit sig_endAutoFocusing(m_z_position);
}
