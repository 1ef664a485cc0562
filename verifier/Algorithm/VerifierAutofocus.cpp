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

#include <unistd.h>

namespace verifier {

namespace {

const char kSaveRoot[] = "/mnt/KOVA-II/Autofocus/";
// The step number of the one sweep a run makes.
constexpr int kStep = 1;
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
    case kSweeping:
        if (m_AutoFocusingData.size() < std::size_t(kSamples)) {
            emit sig_debug_Message({VERIFIER_SIGNATURE, timeNow()});
            link()->z_stage_mvp(Controller::MODE_BLOCKING, kInterval);
            slot_z_stage_moved();
        } else {
            find_AutoFocusing_Position();
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
    m_AutoFocusingData.clear();
    m_TargetPosition = m_AutoFocusingRef - interval * (count / 2);
    const int current = link()->currentPosition();
    KLOG << "------------> target : " << m_TargetPosition;
    KLOG << "------------> current : " << current;
    KLOG << "------------> Real current : " << link()->z_stage_pos();
    if (current == m_TargetPosition) {
        dispatch_proc();
        return;
    }
    const int difference = m_TargetPosition - current;
    if (difference < 0)
        link()->z_stage_mvn(Controller::MODE_BLOCKING, -difference);
    else
        link()->z_stage_mvp(Controller::MODE_BLOCKING, difference);
    KLOG << "After move m_current_pos  : " << link()->currentPosition();
    KLOG << "After move Real current : " << link()->z_stage_pos();
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
    if (m_State == kSweeping)
        trigger_image_grab();
}

void alg_Autofocus::trigger_image_grab()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    // A frame exposed after the move's answer: one taken at once may predate the move.
    // A camera that gives nothing new for a whole wait has stopped.
    bool stalled = false;
    const unsigned char* rgb = m_pCamera->frameSize() == m_Width * m_Height * 3
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
    const AutoFocusingData_s sample{brennerGradient(green), m_CurrentPosition};
    m_AutoFocusingData.push_back(sample);
    if (m_bSaveImage)
        saveFrame(frame, sample);
    emit sig_progress_AutoFocusing(kStep);
}

AutoFocusingResult_e alg_Autofocus::find_best_focus(const std::vector<AutoFocusingData_s>& data, size_t& best)
{
    if (data.empty())
        return AutoFocusingResult_NoSample;
    double maximum = 0.0;
    best = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i].focus_value > maximum) {
            maximum = data[i].focus_value;
            best = i;
        }
    }
    return AutoFocusingResult_Found;
}

int alg_Autofocus::find_AutoFocusing_Position()
{
    size_t best = 0;
    const AutoFocusingResult_e result = find_best_focus(m_AutoFocusingData, best);
    if (result == AutoFocusingResult_NoSample)
        return result;
    m_AutoFocusingRef = m_AutoFocusingData[best].position;
    if (m_bSaveImage)
        saveSamples(best);
    emit sig_review_AutoFocusing(kStep, m_AutoFocusingData, int(best));
    return result;
}

void alg_Autofocus::prepareEndAutoFocusing()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    const int position = link()->z_stage_pos();
    // A failed query is no position to move from.
    if (position < 0) {
        fail(QStringLiteral("Stage position unknown: autofocus stopped !!!"));
        return;
    }
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

void alg_Autofocus::fail(const QString& reason)
{
    KLOG << "[Error]" << reason;
    m_error = reason;
    m_State = kEnded;
    endAutoFocusing();
    emit sig_endAutoFocusing(m_AutoFocusingRef);
}

void alg_Autofocus::saveFrame(const cv::Mat& rgb, const AutoFocusingData_s& sample) const
{
    const QString file = QStringLiteral("%1/Step%2/Autofocus_%3_%4_%5.tiff")
                             .arg(m_SavePath)
                             .arg(kStep)
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
    QFile file(platform::rootPath(QStringLiteral("%1/Step%2/best_focus_value.csv").arg(m_SavePath).arg(kStep)));
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
