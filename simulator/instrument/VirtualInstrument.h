#pragma once

#include "McuSimulator.h"

#include <QString>

#include <cstdint>

namespace kovasim {

// A whole virtual instrument in one root folder, for the demo and the
// end-to-end tests: the file tree the application expects, the stand-ins for
// the machine-changing commands (systemctl, shutdown, logrotate, timedatectl,
// and mount, umount, mountpoint, lsusb, ip, ifup, ifdown, wpa_cli from the
// USB, printer and network simulators), the installation's factory-reset
// script, the on-board Ethernet port eth0 with its cable plugged in (down
// after every power-up), the report's font and logo, the I2C buses, a generated slide under the simulated camera, and the
// simulated microcontroller linked at "/dev/ttyS2".
//
// The constructor makes `root` the instrument root of this process
// (KOVA3_ROOT), since the simulators resolve their paths through it.
class VirtualInstrument
{
public:
    struct Options
    {
        bool silent = false;         // the microcontroller never answers
        std::uint64_t slideSeed = 1;
        int focus = 32000;           // the stage starts there; a new slide description's focus
    };

    static constexpr char kSlideImage[] = "/sim/slide.png";
    // The generated slide's cells (slide::writeTruthCsv), beside its image.
    static constexpr char kSlideTruth[] = "/sim/slide-truth.csv";
    static constexpr char kSystemctlCalls[] = "/run/kova-sim/systemctl.calls";
    static constexpr char kSystemctlHang[] = "/run/kova-sim/systemctl-hang";
    static constexpr char kShutdownCalls[] = "/run/kova-sim/shutdown.calls";
    // One line per call, every argument in brackets: "[set-time][2024-2-9 8:5:00]".
    static constexpr char kTimedatectlCalls[] = "/run/kova-sim/timedatectl.calls";
    // While it exists timedatectl refuses to set the time, as with network time on.
    static constexpr char kTimedatectlNtp[] = "/run/kova-sim/timedatectl-ntp";
    static constexpr char kFactoryResetCalls[] = "/run/kova-sim/factory-reset.calls";

    explicit VirtualInstrument(const QString& root);
    ~VirtualInstrument();

    // Lays out the root. The slide image is generated, its description
    // written and the factory calibration files made only where the root has
    // none: what a user or a calibration put there stays. False with a
    // reason when something cannot be written.
    bool assemble(const Options& options, QString* error = nullptr);
    // Starts the microcontroller on a pseudo-terminal linked at "/dev/ttyS2".
    bool start(const Options& options, QString* error = nullptr);
    void stop();

    McuSimulator& mcu() { return m_mcu; }
    QString root() const { return m_root; }

    // The stand-ins of the machine-changing commands (systemctl, shutdown,
    // logrotate, timedatectl) in /bin and the factory-reset script in
    // /opt/KOVA3/bin; each records its calls under /run/kova-sim.
    bool installStandIns() const;

    // The factory's illumination calibration, Calibration_BFN.ini and
    // Calibration_CUS.ini, where the root has none (a calibration made there
    // stays): the slide's own levels at exposure 1000 in the preview modes,
    // 0.26 of it at full resolution (as the calibration stores it), sensor
    // gain 0, the red gain the calibration keeps (which makes up for the LED's
    // short red), green and blue 1x. False when a file cannot be written.
    static bool writeFactoryCalibration(const QString& root);

private:
    bool writeSlide(const Options& options) const;

    QString m_root;
    McuSimulator m_mcu;
};

}  // namespace kovasim
