#include "VirtualInstrument.h"

#include "NetSim.h"
#include "Slide.h"
#include "UsbSticks.h"
#include "VirtualPrinter.h"

#include "platform/SimulatedI2c.h"
#include "platform/Root.h"
#include "platform/SimulatedVideo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fstream>

// Resources of a static library must be registered from the global namespace.
static void initInstrumentResources()
{
    Q_INIT_RESOURCE(instrument_standins);
}

namespace kovasim {

namespace {

const char* const kFolders[] = {
    "/opt/KOVA3/bin", "/opt/KOVA3/conf", "/opt/KOVA3/log", "/KOVA", "/dev/input/by-id", "/etc/logrotate.d",
    "/var/log", "/run/kova-sim", "/sim", "/tmp",
};
// Each stand-in and where it stands.
const struct
{
    const char* name;
    const char* folder;
} kStandIns[] = {
    {"systemctl", "/bin"},   {"shutdown", "/bin"}, {"logrotate", "/bin"},
    {"timedatectl", "/bin"}, {"Factory_Reset.sh", "/opt/KOVA3/bin"},
};
const char kDisplayLayer[] = "/sys/module/disp/parameters/disp_layer_protect";

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

}  // namespace

bool VirtualInstrument::writeFactoryCalibration(const QString& root)
{
    using platform::SimulatedVideo;
    const struct
    {
        const char* high;
        const char* low;
        unsigned gain;
    } colourGains[] = {
        {"0x3400", "0x3401", SimulatedVideo::kCalibratedRedGain}, {"0x3402", "0x3403", 0x400}, {"0x3404", "0x3405", 0x400}};
    const unsigned exposure1280 = 1000;
    const unsigned exposure5M = static_cast<unsigned>(exposure1280 * 0.26);
    const auto hex = [](unsigned byte) { return QString::asprintf("0x%02X", byte & 0xFF); };
    for (const char* name : {"/opt/KOVA3/conf/Calibration_BFN.ini", "/opt/KOVA3/conf/Calibration_CUS.ini"}) {
        const QString path = root + name;
        if (QFileInfo::exists(path))
            continue;  // a calibration made on this root stays
        QSettings file(path, QSettings::IniFormat);
        for (const char* group : {"VGA", "1280", "5M"}) {
            const unsigned exposure = qstrcmp(group, "5M") == 0 ? exposure5M : exposure1280;
            file.beginGroup(QString::fromLatin1(group));
            file.setValue("0x3501", hex(exposure >> 8));
            file.setValue("0x3502", hex(exposure));
            file.setValue("0x350A", hex(0));
            file.setValue("0x350B", hex(0));
            for (const auto& colour : colourGains) {
                file.setValue(colour.high, hex(colour.gain >> 8));
                file.setValue(colour.low, hex(colour.gain));
            }
            file.endGroup();
        }
        file.sync();
        if (file.status() != QSettings::NoError)
            return false;
    }
    return true;
}

VirtualInstrument::VirtualInstrument(const QString& root)
    : m_root(QDir(root).absolutePath())
{
    initInstrumentResources();
    qputenv("KOVA3_ROOT", QFile::encodeName(m_root));
}

VirtualInstrument::~VirtualInstrument()
{
    stop();
}

bool VirtualInstrument::installStandIns() const
{
    for (const auto& standIn : kStandIns) {
        const QString folder = m_root + standIn.folder;
        const QString target = folder + "/" + standIn.name;
        QFile::remove(target);
        if (!QDir().mkpath(folder) || !QFile::copy(QStringLiteral(":/instrument/standins/") + standIn.name, target)
            || !QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                  | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                                  | QFile::ExeOther))
            return false;
    }
    return true;
}

bool VirtualInstrument::writeSlide(const Options& options) const
{
    const QString image = platform::rootPath(QString::fromLatin1(kSlideImage));
    if (!QFile::exists(image)) {
        slide::SlideParams params;
        params.seed = options.slideSeed;
        const slide::Slide generated = slide::generateSlide(params);
        cv::Mat bgr;
        cv::cvtColor(generated.rgb, bgr, cv::COLOR_RGB2BGR);
        if (!cv::imwrite(image.toStdString(), bgr))
            return false;
        std::ofstream truth(platform::rootPath(QString::fromLatin1(kSlideTruth)).toStdString());
        slide::writeTruthCsv(truth, generated.truth);
        if (!truth.flush())
            return false;
    }
    // A description made on this root (another image, another focus) stays.
    if (QFile::exists(platform::rootPath(QString::fromLatin1(platform::SimulatedVideo::kSlideFile))))
        return true;
    return platform::SimulatedVideo::setSlide(QString::fromLatin1(kSlideImage), options.focus);
}

bool VirtualInstrument::assemble(const Options& options, QString* error)
{
    for (const char* folder : kFolders) {
        if (!QDir().mkpath(m_root + folder))
            return fail(error, QStringLiteral("cannot create %1%2").arg(m_root, folder));
    }
    if (!installStandIns())
        return fail(error, QStringLiteral("cannot install the command stand-ins"));
    if (!UsbSticks(m_root).installStandIns())
        return fail(error, QStringLiteral("cannot install the USB stand-ins"));
    const NetSim net(m_root);
    if (!net.installStandIns() || !(net.interfaceExists(QStringLiteral("eth0")) || net.add(QStringLiteral("eth0"))))
        return fail(error, QStringLiteral("cannot install the network"));
    if (!sim::VirtualPrinter(m_root).install() || !sim::installReportResources(m_root))
        return fail(error, QStringLiteral("cannot install the printer and report files"));
    for (const char* bus : {"/dev/i2c-0", "/dev/i2c-1"}) {
        if (!platform::SimulatedI2c::attach(QString::fromLatin1(bus)))
            return fail(error, QStringLiteral("cannot attach %1").arg(bus));
    }
    const QString layer = m_root + kDisplayLayer;
    QDir().mkpath(QFileInfo(layer).path());
    QFile layerFile(layer);
    if (!layerFile.exists() && (!layerFile.open(QIODevice::WriteOnly) || layerFile.write("0") != 1))
        return fail(error, QStringLiteral("cannot write %1").arg(layer));
    if (!writeSlide(options))
        return fail(error, QStringLiteral("cannot write the slide"));
    if (!writeFactoryCalibration(m_root))
        return fail(error, QStringLiteral("cannot write the camera calibration files"));
    return true;
}

bool VirtualInstrument::start(const Options& options, QString* error)
{
    m_mcu.setPosition(options.focus);
    m_mcu.recordFrames(true);
    if (options.silent)
        m_mcu.setFault(McuSimulator::Fault::Silence);
    if (!m_mcu.start(error))
        return false;
    if (!m_mcu.linkAt(QStringLiteral("/dev/ttyS2"))) {
        m_mcu.stop();
        return fail(error, QStringLiteral("cannot link /dev/ttyS2"));
    }
    return true;
}

void VirtualInstrument::stop()
{
    m_mcu.stop();
    QFile::remove(m_root + "/dev/ttyS2");
}

}  // namespace kovasim
