#include "Algorithm/VerifierAutofocus.h"

#include "Algorithm/alg_Autofocus.h"
#include "Camera/OV5642Camera.h"
#include "Controller/VerifierController.h"
#include "DebugLine.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <limits>

#include <unistd.h>

namespace verifier {

namespace {

const char kSaveRoot[] = "/mnt/KOVA-II/Autofocus/";
// Bounds the wait for a frame exposed after the stage stopped; a loaded
// machine can take several frame periods for two frames.
constexpr int kSettleTimeoutMs = 5000;

Controller* link()
{
    return Controller::getInstance();
}

QString timeNow()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss,zzz"));
}

}  // namespace

alg_Autofocus::alg_Autofocus(QObject* parent, OV5642Camera* camera, int reference, int width, int height,
                             bool save_image)
    : QObject(parent)
    , m_pCamera(camera)
    , m_InitialRef(reference)
    , m_Width(width)
    , m_Height(height)
    , m_bSaveImage(save_image)
{
    m_replyWindow.setSingleShot(true);
    connect(&m_replyWindow, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("The stage did not answer: autofocus stopped !!!")); });
}

double alg_Autofocus::brennerGradient(const cv::Mat& plane)
{
    return ::alg_Autofocus::brennerGradient(plane);
}

void alg_Autofocus::process()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    m_SavePath.clear();
    if (m_bSaveImage) {
        m_SavePath = QLatin1String(kSaveRoot)
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss"));
        QDir().mkpath(platform::rootPath(m_SavePath + QStringLiteral("/Step1")));
    }
    m_State = kStarted;
    m_AutoFocusingRef = m_InitialRef;
    m_CurrentPosition = link()->currentPosition();
    KLOG << "----->m_AutoFocusingRef :" << m_AutoFocusingRef;
    KLOG << "----->m_CurrentPosition :" << m_CurrentPosition;
    connect(link(), &Controller::sig_z_stage_mvn, this, &alg_Autofocus::slot_z_stage_moved);
    connect(link(), &Controller::sig_z_stage_mvp, this, &alg_Autofocus::slot_z_stage_moved);
    dispatch_proc();
}

void alg_Autofocus::dispatch_proc()
{
    switch (m_State) {
    case kStarted:
        m_State = kSweeping;
        prepareAutoFocusing_Step2(kInterval, kSamples);
        break;
    case kSecondSweep:
        m_State = kSweeping;
        adjust_z_position(kInterval);
        break;
    case kSweeping:
        if (m_AutoFocusingData.size() < std::size_t(kSamples)) {
            emit sig_debug_Message({VERIFIER_SIGNATURE, timeNow()});
            link()->z_stage_mvp(Controller::MODE_BLOCKING, kInterval);
            slot_z_stage_moved();
        } else {
            find_AutoFocusing_Position(false);
            m_State = kEnding;
            prepareEndAutoFocusing();
        }
        break;
    case kFineStart:
    case kThirdStart:
        m_State = m_State == kFineStart ? kFineSweeping : kThirdSweeping;
        adjust_z_position(kFineInterval);
        break;
    case kFineSweeping:
    case kThirdSweeping:
        if (m_AutoFocusingData.size() < std::size_t(kFineSamples)) {
            sendMove(kFineInterval);
        } else if (find_AutoFocusing_Position(true) == AutoFocusingResult_ThirdStepNecessary
                   && m_State == kFineSweeping) {
            // Only the finer sweep may call for the third.
            m_State = kThirdStart;
            prepareAutoFocusing_Step(kFineInterval, kFineSamples);
        } else {
            m_State = kEnding;
            prepareEndAutoFocusing();
        }
        break;
    case kEnding:
        m_State = kEnded;
        endAutoFocusing();
        emit sig_endAutoFocusing(m_AutoFocusingRef);
        break;
    default:
        break;
    }
}

void alg_Autofocus::prepareAutoFocusing_Step2(int interval, int count)
{
    emit sig_debug_Message(
        {VERIFIER_SIGNATURE, QStringLiteral("interval: %1, count: %2").arg(interval).arg(count)});
    sweepFrom(link()->currentPosition(), interval, count, true);
}

void alg_Autofocus::prepareAutoFocusing_Step(int interval, int count)
{
    emit sig_debug_Message(
        {VERIFIER_SIGNATURE, QStringLiteral("interval: %1, count: %2").arg(interval).arg(count)});
    int current = 0;
    if (queryPosition(current))
        sweepFrom(current, interval, count, false);
}

void alg_Autofocus::sweepFrom(int current, int interval, int count, bool logMoves)
{
    m_AutoFocusingData.clear();
    m_TargetPosition = m_AutoFocusingRef - interval * (count / 2);
    if (logMoves) {
        KLOG << "------------> target : " << m_TargetPosition;
        KLOG << "------------> current : " << current;
        KLOG << "------------> Real current : " << link()->z_stage_pos();
    }
    // The dispatcher makes the first move itself.
    if (current == m_TargetPosition) {
        dispatch_proc();
        return;
    }
    const int difference = m_TargetPosition - current;
    if (difference < 0)
        link()->z_stage_mvn(Controller::MODE_BLOCKING, -difference);
    else
        link()->z_stage_mvp(Controller::MODE_BLOCKING, difference);
    if (logMoves) {
        KLOG << "After move m_current_pos  : " << link()->currentPosition();
        KLOG << "After move Real current : " << link()->z_stage_pos();
    }
    // Its answer takes the first sample.
    sendMove(interval);
}

void alg_Autofocus::sendMove(int interval)
{
    if (interval < 0)
        link()->z_stage_mvn(Controller::MODE_NON_BLOCKING, -interval);
    else
        link()->z_stage_mvp(Controller::MODE_NON_BLOCKING, interval);
    m_replyWindow.start(link()->readTimeout());
}

void alg_Autofocus::slot_z_stage_moved()
{
    m_replyWindow.stop();
    emit sig_debug_Message({VERIFIER_SIGNATURE, timeNow()});
    function_Z_stage();
    if (m_State != kEnded)
        dispatch_proc();
}

void alg_Autofocus::function_Z_stage()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    m_CurrentPosition = link()->currentPosition();
    emit sig_move_z_position(m_CurrentPosition);
    if (m_State >= kSecondSweep && m_State <= kThirdSweeping)
        trigger_image_grab();
}

void alg_Autofocus::trigger_image_grab()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    // A frame exposed after the move's answer: one taken at once may predate the move.
    // A camera that gives nothing new for a whole wait has stopped.
    bool stalled = false;
    const unsigned char* rgb = m_pCamera && m_pCamera->frameSize() == m_Width * m_Height * 3
        ? m_pCamera->getSettledFrame(kSettleTimeoutMs, &stalled)
        : nullptr;
    if (!rgb || stalled) {
        fail(QStringLiteral("No frame from the camera: autofocus stopped !!!"));
        return;
    }
    // The camera's buffer is the GUI thread's own: no copy needed.
    analyze_grabbed_image_bG(cv::Mat(m_Height, m_Width, CV_8UC3, const_cast<unsigned char*>(rgb)));
}

void alg_Autofocus::analyze_grabbed_image_bG(const cv::Mat& frame)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    cv::Mat green;
    cv::extractChannel(frame, green, 1);
    addSample(frame, brennerGradient(green));
}

void alg_Autofocus::analyze_grabbed_image(const cv::Mat& frame)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    addSample(frame, varianceOfLaplacian(frame));
}

void alg_Autofocus::analyze_grabbed_image_prev(const cv::Mat& frame)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    // Measured on the frame's own size: the camera may have changed mode since it was taken.
    cv::Mat packed = frame.isContinuous() ? frame : frame.clone();
    double value = 0.0;
    find_focus_value(packed.data, packed.cols, packed.rows, value, FOCUS_VALUE_DARK_EDGE, 3, FOCUS_WINDOW_640x480);
    addSample(frame, value);
    const bool finished = keepBest(value, int(m_AutoFocusingData.size()) - 1, m_AutoFocusingData.size() > 6);
    KLOG << "bfinish : " << (finished ? "true" : "false");
}

void alg_Autofocus::addSample(const cv::Mat& frame, double value)
{
    const AutoFocusingData_s sample{value, m_CurrentPosition};
    m_AutoFocusingData.push_back(sample);
    if (m_bSaveImage)
        saveFrame(frame, sample);
    emit sig_progress_AutoFocusing(stepNumber());
}

double alg_Autofocus::varianceOfLaplacian(const cv::Mat& image)
{
    if (image.empty())
        return 0.0;
    cv::Mat laplacian;
    cv::Laplacian(image, laplacian, CV_16S, 1, 1, 0);
    cv::Scalar mean, deviation;
    cv::meanStdDev(laplacian, mean, deviation);
    return deviation[0] * deviation[0];
}

double alg_Autofocus::find_focus_value(unsigned char* data, int width, int height, double& value,
                                       FOCUS_VALUE_CRITERIA criteria, int channel, FOCUS_WINDOW_SIZE window)
{
    const int64 start = cv::getTickCount();
    if (criteria == FOCUS_VALUE_DARK_EDGE && data && width > 0 && height > 0) {
        const cv::Mat frame(height, width, CV_8UC3, data);
        value = find_fv_velimbio_dark_edge(frame, channel, window);
        m_FocusValues.push_back(value);
    }
    return double(cv::getTickCount() - start) / cv::getTickFrequency();
}

int alg_Autofocus::find_fv_velimbio_dark_edge(const cv::Mat& frame, int channel, FOCUS_WINDOW_SIZE window)
{
    if (frame.empty() || frame.channels() != 3)
        return 0;
    cv::Mat grey;
    if (channel == 1)
        cv::extractChannel(frame, grey, 1);
    else if (channel == 3)
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
    else
        return 0;
    const cv::Size size = window == FOCUS_WINDOW_320x240 ? cv::Size(320, 240) : cv::Size(640, 480);
    // A 640 × 480 frame is its own window.
    const cv::Rect centre(grey.cols / 2 - size.width / 2, grey.rows / 2 - size.height / 2, size.width, size.height);
    cv::Mat dark;
    cv::inRange(grey(centre & cv::Rect(0, 0, grey.cols, grey.rows)), 5, 35, dark);
    return cv::countNonZero(dark);
}

int alg_Autofocus::compare_focus(double value, int index)
{
    return keepBest(value, index, index > 6) ? 1 : 0;
}

bool alg_Autofocus::keepBest(double value, int index, bool mayFinish)
{
    if (value >= m_BestFocusValue) {
        m_BestFocusValue = value;
        m_BestIndex = index;
        return false;
    }
    if (!mayFinish || value >= m_BestFocusValue - kFocusDrop)
        return false;
    // A best that is no sample of this sweep gives no position.
    if (m_BestIndex >= 0 && std::size_t(m_BestIndex) < m_AutoFocusingData.size())
        m_AutoFocusingRef = m_AutoFocusingData[std::size_t(m_BestIndex)].position;
    return true;
}

AutoFocusingResult_e alg_Autofocus::find_best_focus(const std::vector<AutoFocusingData_s>& data, size_t& best,
                                                    bool third_step)
{
    if (data.empty())
        return AutoFocusingResult_NoSample;
    double maximum = 0.0;
    size_t top = 0;
    double minimum = std::numeric_limits<double>::max();
    size_t bottom = data.size();  // none yet
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i].focus_value > maximum) {
            maximum = data[i].focus_value;
            top = i;
        }
        if (data[i].focus_value < minimum) {
            minimum = data[i].focus_value;
            bottom = i;
        }
    }
    best = top;
    if (!third_step)
        return AutoFocusingResult_Found;
    const size_t last = data.size() - 1;
    if ((top == 0 && bottom == last) || (top == last && bottom == 0)) {
        emit sig_debug_Message(
            {QStringLiteral("AutoFocusingResult_e alg_Autofocus::find_best_focus(std::vector<AutoFocusingData_s>&, "
                            "size_t&, bool)"),
             QStringLiteral("!!! AutoFocusingResult_ThirdStepNecessary !!!")});
        return AutoFocusingResult_ThirdStepNecessary;
    }
    if (top != 0 && minimum + (maximum - minimum) * 0.5 < maximum)
        best = top - 1;
    return AutoFocusingResult_Found;
}

int alg_Autofocus::find_AutoFocusing_Position(bool third_step)
{
    size_t best = 0;
    const AutoFocusingResult_e result = find_best_focus(m_AutoFocusingData, best, third_step);
    if (result == AutoFocusingResult_NoSample)
        return result;
    m_AutoFocusingRef = m_AutoFocusingData[best].position;
    if (result == AutoFocusingResult_ThirdStepNecessary)
        m_AutoFocusingRef += best == 0 ? -kThirdStepShift : kThirdStepShift;
    if (m_bSaveImage)
        saveSamples(best);
    emit sig_review_AutoFocusing(stepNumber(), m_AutoFocusingData, int(best));
    return result;
}

int alg_Autofocus::stepNumber() const
{
    return m_State <= kSweeping ? 1 : m_State <= kFineSweeping ? 2 : 3;
}

void alg_Autofocus::prepareEndAutoFocusing()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    int position = 0;
    if (!queryPosition(position))
        return;
    if (position != m_AutoFocusingRef)
        adjust_z_position(m_AutoFocusingRef - position);
    else
        dispatch_proc();
}

void alg_Autofocus::adjust_z_position(int interval)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("interval: %1").arg(interval)});
    sendMove(interval);
}

void alg_Autofocus::endAutoFocusing()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    m_replyWindow.stop();
    disconnect(link(), &Controller::sig_z_stage_mvn, this, &alg_Autofocus::slot_z_stage_moved);
    disconnect(link(), &Controller::sig_z_stage_mvp, this, &alg_Autofocus::slot_z_stage_moved);
}

bool alg_Autofocus::queryPosition(int& position)
{
    position = link()->z_stage_pos();
    // A failed query is no position to move from.
    if (position < 0) {
        fail(QStringLiteral("Stage position unknown: autofocus stopped !!!"));
        return false;
    }
    return true;
}

void alg_Autofocus::fail(const QString& reason)
{
    KLOG << "[Error]" << reason;
    m_error = reason;
    m_State = kEnded;
    endAutoFocusing();
    emit sig_endAutoFocusing(m_AutoFocusingRef);
}

QString alg_Autofocus::stepFolder() const
{
    // Only Step1 is made at the start; a later step makes its own.
    const QString folder = QStringLiteral("%1/Step%2").arg(m_SavePath).arg(stepNumber());
    QDir().mkpath(platform::rootPath(folder));
    return folder;
}

void alg_Autofocus::saveFrame(const cv::Mat& rgb, const AutoFocusingData_s& sample) const
{
    const QString file = QStringLiteral("%1/Autofocus_%2_%3_%4.tiff")
                             .arg(stepFolder())
                             .arg(int(m_AutoFocusingData.size()), 2, 10, QLatin1Char('0'))
                             .arg(sample.position)
                             .arg(QString::number(sample.focus_value, 'g', 6));
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    // A lost record does not stop the run.
    if (!cv::imwrite(QFile::encodeName(platform::rootPath(file)).toStdString(), bgr))
        KLOG << "[Error] not written:" << file;
    ::sync();
}

void alg_Autofocus::saveSamples(size_t best) const
{
    QFile file(platform::rootPath(stepFolder() + QStringLiteral("/best_focus_value.csv")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        KLOG << "[Error] not written:" << file.fileName();
        return;
    }
    QTextStream out(&file);
    const auto line = [&](size_t i) {
        out << i + 1 << ',' << m_AutoFocusingData[i].position << ',' << m_AutoFocusingData[i].focus_value;
    };
    for (size_t i = 0; i < m_AutoFocusingData.size(); ++i) {
        line(i);
        out << '\n';
    }
    out << '\n';
    line(best);
    out.flush();
    file.close();
    ::sync();
}

}  // namespace verifier
