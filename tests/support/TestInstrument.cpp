#include "TestInstrument.h"

#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ProtocolFiles.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

using platform::SimulatedVideo;

namespace {

// Exposure 1000 (0x3501, 0x3502), gain 1x (0x350A, 0x350B), the calibrated
// red gain 0x500 and green and blue 1x (0x400): the slide's own levels.
constexpr uint16_t kReferenceValues[kRegisterCount] = {0x03, 0xE8, 0x00, 0x00, 0x05, 0x00, 0x04, 0x00, 0x04, 0x00};
constexpr uint16_t kFullFrameExposure = 1000 * 26 / 100;

}  // namespace

TestInstrument::TestInstrument()
{
    platform::SimulatedI2c::attach(SimulatedVideo::kSensorBus);
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
    for (int table = 0; table < 3; ++table) {
        for (int mode = 0; mode < 3; ++mode)
            std::copy(std::begin(kReferenceValues), std::end(kReferenceValues),
                      global_ini()->regTables[table][mode]);
        // Full resolution: 0.26 of the exposure lines, the same light.
        global_ini()->regTables[table][2][0] = kFullFrameExposure >> 8;
        global_ini()->regTables[table][2][1] = kFullFrameExposure & 0xFF;
    }
    if (!showSlide(generatedSlide().rgb)) {
        m_error = QStringLiteral("slide not written");
        return;
    }
    if (!mcu.start(&m_error) || !mcu.linkAt()) {
        m_error = QStringLiteral("simulated microcontroller: ") + m_error;
        return;
    }
    mcu.setPosition(kFocus);
    controller = std::make_unique<Controller>();
    controller->setTimeouts(500, 1000);
    QSignalSpy connected(controller.get(), &Controller::sig_connected_controller);
    controller->openSerialPort();
    if (connected.count() != 1)
        m_error = QStringLiteral("no handshake");
    else if (!controller->led_brightness(SimulatedVideo::kReferenceBrightness))
        m_error = QStringLiteral("LED brightness refused");
}

TestInstrument::~TestInstrument()
{
    controller.reset();
    mcu.stop();
}

bool TestInstrument::showSlide(const cv::Mat& rgb, int focus)
{
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    QDir().mkpath(path(QStringLiteral("/sim")));
    return cv::imwrite(QFile::encodeName(path(SimulatedVideo::kDefaultSlideImage)).toStdString(), bgr)
        && SimulatedVideo::setSlide(SimulatedVideo::kDefaultSlideImage, focus);
}

bool TestInstrument::showBlankSlide()
{
    return showSlide(cv::Mat(960, 1280, CV_8UC3, cv::Scalar::all(196)));
}

bool TestInstrument::loadDefaultProtocols(counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& total,
                                             counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& viability)
{
    if (!Init_local_protocol())
        return false;
    const QString name = QStringLiteral("DEFAULT");
    PROTOCOL_BF_TOTAL_CELL_COUNTING_t totalText;
    KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(
        name, KovaCoreApp::gen_local_protocol_ini_path(BF_TOTAL_CELL_COUNTING, name), totalText);
    convert_protocol(totalText, total);
    total.gating_min_size = total.gating_max_size = -1;
    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viabilityText;
    KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY(
        name, KovaCoreApp::gen_local_protocol_ini_path(BF_CELL_COUNTING_VIABILITY, name), viabilityText);
    convert_protocol(viabilityText, viability);
    viability.gating_min_size = viability.gating_max_size = -1;
    return true;
}

const slide::Slide& TestInstrument::generatedSlide()
{
    static const slide::Slide generated = [] {
        slide::SlideParams params;
        params.seed = 91;
        params.cellCount = 400;
        params.liveFraction = 0.75;
        params.minDiameter = 8;
        params.maxDiameter = 24;
        return slide::generateSlide(params);
    }();
    return generated;
}
