#include "Calibration/CalibratingThread.h"

#include "Calibration/CalibrationMath.h"
#include "Calibration/FileSnapshot.h"
#include "Calibration/RegisterFiles.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"

#include "platform/Log.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t kExposure = 0x3501;
constexpr std::uint16_t kSensorGain = 0x350A;
constexpr std::uint16_t kRedGain = 0x3400;
constexpr std::uint16_t kGreenGain = 0x3402;
constexpr std::uint16_t kBlueGain = 0x3404;
constexpr int kSearchReadings = 10;
constexpr int kColourReadings = 5;
constexpr int kSettleNewFrames = 6;
constexpr int kSettlePolls = 10;
// A frame read while the exposure changed may show either; the next ones show the new one.
constexpr int kFreshFrames = 2;
// How long a pause waits for those frames from a camera that gives none.
constexpr int kFreshFrameWaitMs = 2000;
constexpr int kPollMs = 5;

void storeLast(unsigned* ring, int n, int* index, unsigned value)
{
    ring[*index] = value;
    *index = (*index + 1) % n;
}

void storeLast(float* ring, int n, int* index, float value)
{
    ring[*index] = value;
    *index = (*index + 1) % n;
}

float channel(const CalibrationCamera::Means& means, std::uint16_t reg)
{
    return reg == kBlueGain ? means.b : means.g;
}

int rounded(float value)
{
    return static_cast<int>(std::lround(value));
}

// Runs `write`, which writes `registerFiles` (logical paths) and stamps the
// calibration in the settings file: kCompleted, or kFileNotWritten with each
// of those files as it was before.
int writeAllOrNone(std::vector<std::string> registerFiles, const std::function<bool(QString*)>& write)
{
    registerFiles.emplace_back(kova::kMainIni);
    FileSnapshot before;
    QString error;
    if (!before.take(registerFiles, &error)) {
        KLOG << "[Error]" << error << "; nothing written";
        return CalibratingThread::kFileNotWritten;
    }
    if (write(&error))
        return CalibratingThread::kCompleted;
    KLOG << "[Error]" << error;
    if (!before.restore(&error))
        KLOG << "[Error]" << error;
    return CalibratingThread::kFileNotWritten;
}

}  // namespace

const std::uint16_t CalibratingThread::kPresetsStep1[12] = {200, 300, 400, 500, 600, 700,
                                                             800, 900, 1000, 1100, 1200, 1300};
const std::uint16_t CalibratingThread::kPresetsStep2[12] = {600, 800, 1000, 1200, 1400, 1600,
                                                             1800, 2000, 2200, 2400, 2600, 2800};

CalibratingThread::CalibratingThread(QObject* parent)
    : QThread(parent)
{
}

CalibratingThread::~CalibratingThread()
{
    requestInterruption();
    quit();
    wait();
}

bool CalibratingThread::pause(int atLeastMs)
{
    QElapsedTimer clock;
    clock.start();
    unsigned last = m_camera->frameIndex();
    int fresh = 0;
    while (clock.elapsed() < atLeastMs || (fresh < kFreshFrames && clock.elapsed() < kFreshFrameWaitMs)) {
        if (stopped())
            return false;
        const unsigned index = m_camera->frameIndex();
        if (index != last) {
            last = index;
            ++fresh;
        } else {
            QThread::msleep(kPollMs);
        }
    }
    return !stopped();
}

void CalibratingThread::run()
{
    KLOG_ENTER;
    KLOG_VALUE("step", m_nStep);
    if (!m_camera) {
        emit Calibrate_completed(kCameraNotRunning);
        return;
    }
    int result = setCameraMode();
    if (result == kCompleted)
        result = m_nStep == 1 ? stepOne() : stepTwo();
    KLOG_VALUE("calibration result", result);
    emit Calibrate_completed(result);
    m_camera->close();
}

int CalibratingThread::setCameraMode()
{
    theApp.m_bAutoExposureOn = false;
    CUR_CAL_INI = m_nStep == 1 ? kova::kCalibrationBfnIni : kova::kCalibrationCusIni;
    if (!m_camera->open()) {
        KLOG << "[Error] the camera does not run; no calibration";
        return stopped() ? kStopped : kCameraNotRunning;
    }
    for (std::uint16_t reg : {kRedGain, kGreenGain, kBlueGain}) {
        if (m_camera->getRegister(reg) == 0)
            m_camera->setRegister(reg, kNeutralGain);
    }
    KLOG << "gains r, g, b:" << m_camera->getRegister(kRedGain) << m_camera->getRegister(kGreenGain)
         << m_camera->getRegister(kBlueGain);
    return kCompleted;
}

int CalibratingThread::stepOne()
{
    const Search search = calibrateIntensity(1, kPresetsStep1, kTarget);
    if (search.result != kCompleted)
        return search.result;
    const calibration::StepExposures exposures = calibration::stepExposures(1, search.exposure);
    const Balance blue = balanceColor2(kBlueGain, kTarget);
    if (blue.result != kCompleted)
        return blue.result;
    const Balance green = balanceColor2(kGreenGain, kTarget);
    if (green.result != kCompleted)
        return green.result;
    const std::vector<std::string> registerFiles = {kova::kCalibrationBfnIni, kova::kCalibrationCusIni,
                                                    kova::kAutoExposureIni};
    return writeAllOrNone(registerFiles, [&](QString* error) {
        for (const std::string& file : registerFiles) {
            if (!calibration::saveGainParam(green.gain, blue.gain, file, error))
                return false;
        }
        return calibration::saveRegisterValue(exposures.exposure1280, exposures.exposure5M,
                                              kova::kCalibrationBfnIni, error);
    });
}

int CalibratingThread::stepTwo()
{
    const Search search = calibrateIntensity(2, kPresetsStep2, kTarget);
    if (search.result != kCompleted)
        return search.result;
    const calibration::StepExposures exposures = calibration::stepExposures(2, search.exposure);
    return writeAllOrNone({kova::kCalibrationCusIni}, [&](QString* error) {
        return calibration::saveRegisterValue(exposures.exposure1280, exposures.exposure5M,
                                              kova::kCalibrationCusIni, error);
    });
}

CalibrationCamera::Means CalibratingThread::readings(int count)
{
    CalibrationCamera::Means means;
    for (int i = 0; i < count; ++i)
        means = m_camera->reading();
    return means;
}

bool CalibratingThread::settle()
{
    if (!pause(m_nSettleMs))
        return false;
    waitForSettledFrames();
    return pause(m_nSettleMs);
}

void CalibratingThread::waitForSettledFrames()
{
    unsigned last = 0;
    int newFrames = 0;
    int polls = 0;
    while (newFrames < kSettleNewFrames && polls < kSettlePolls && !stopped()) {
        const unsigned index = m_camera->frameIndex();
        if (index != last) {
            last = index;
            ++newFrames;
            polls = 1;
        } else {
            ++polls;
        }
    }
}

bool CalibratingThread::writeExposure(std::uint16_t exposure)
{
    for (int attempt = 0; attempt < kReadBackTries; ++attempt) {
        m_camera->setRegister(kExposure, exposure);
        if (m_camera->getRegister(kExposure) == exposure)
            return true;
    }
    KLOG << "[Error] the exposure register does not hold" << exposure;
    return false;
}

CalibratingThread::Search CalibratingThread::calibrateIntensity(int step, const std::uint16_t* presets, float target)
{
    KLOG_VALUE("intensity search of step", step);
    Search search;
    m_camera->setRegister(kSensorGain, 0);
    bool bracketed = false;
    for (int i = 0; i < 12; ++i) {
        if (!writeExposure(presets[i])) {
            search.result = kNoConvergence;
            return search;
        }
        if (!settle()) {
            search.result = kStopped;
            return search;
        }
        const float intensity = readings(kSearchReadings).g;
        KLOG << "exposure" << presets[i] << "green" << intensity;
        search.points.emplace_back(presets[i], intensity);
        if (i >= 2 && intensity > target) {
            bracketed = true;
            break;
        }
    }
    search.result = calibration::isCorrectSlope(search.points);
    if (search.result != kCompleted)
        return search;
    if (bracketed) {
        const auto& [x1, y1] = search.points[search.points.size() - 2];
        const auto& [x2, y2] = search.points.back();
        search.exposure = calibration::estimateExposure(x1, y1, x2, y2, target);
    }
    m_camera->setRegister(kExposure, search.exposure);
    if (!settle()) {
        search.result = kStopped;
        return search;
    }
    const float verified = readings(kSearchReadings).g;
    KLOG << "estimated exposure" << search.exposure << "green" << verified;
    search.result = std::abs(rounded(verified) - rounded(target)) <= kTolerance ? kCompleted : kNotReached;
    return search;
}

CalibratingThread::Balance CalibratingThread::balanceColor2(std::uint16_t reg, float target)
{
    Balance balance;
    balance.gain = m_camera->getRegister(reg);
    float intensity = channel(readings(1), reg);
    const int low = rounded(target - kTolerance);
    const int high = rounded(target + kTolerance);
    const int aim = rounded(target);
    if (rounded(intensity) >= low && rounded(intensity) <= high)
        return balance;
    const bool up = rounded(intensity) < low;
    for (int round = 0; round < kColourRounds; ++round) {
        if (stopped()) {
            balance.result = kStopped;
            return balance;
        }
        // A gain never wraps: at 0 (or at the top) there is no further step.
        if (up ? balance.gain > 0xFFFF - kGainStep : balance.gain == 0)
            break;
        balance.gain = up ? balance.gain + kGainStep : std::max(0, balance.gain - kGainStep);
        m_camera->setRegister(reg, balance.gain);
        if (!pause(0)) {
            balance.result = kStopped;
            return balance;
        }
        intensity = channel(readings(kColourReadings), reg);
        storeLast(m_lastGain, 5, &m_nLastGainIndex, balance.gain);
        storeLast(m_fLastIntensity, 5, &m_nLastIntensityIndex, intensity);
        KLOG << "gain" << Qt::hex << reg << balance.gain << Qt::dec << "reads" << intensity;
        if (std::abs(rounded(intensity) - aim) <= kTolerance)
            return balance;
        const bool passed = up ? rounded(intensity) > high : rounded(intensity) < low;
        if (round >= 1 && passed) {
            const auto newest = [](int index, int back) { return (index + 5 - back) % 5; };
            const std::uint16_t secant = calibration::secantGain(
                m_lastGain[newest(m_nLastGainIndex, 2)], m_fLastIntensity[newest(m_nLastIntensityIndex, 2)],
                m_lastGain[newest(m_nLastGainIndex, 1)], m_fLastIntensity[newest(m_nLastIntensityIndex, 1)], target);
            if (secant != balance.gain) {
                balance.gain = secant;
                m_camera->setRegister(reg, secant);
            }
            KLOG << "secant gain" << secant << "reads" << channel(readings(kColourReadings), reg);
            return balance;
        }
    }
    KLOG << "[Error] the colour of gain" << Qt::hex << reg << Qt::dec << "does not reach" << target;
    balance.result = kNoConvergence;
    return balance;
}
