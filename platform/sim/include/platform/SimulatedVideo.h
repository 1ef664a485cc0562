#pragma once

#include "platform/VideoDevice.h"

#include <QString>

#include <memory>

namespace platform {

// The simulated camera of a root other than "/".
//
// Scene. Each frame is rendered when it is dequeued, from:
//  - the slide: the image named by the description file kSlideFile
//        image=/sim/slide.png   logical path of any image OpenCV reads
//        focus=32000            stage position (motor steps) where it is
//                               sharp on a 2-chamber slide
//    (one "key=value" per line; missing keys keep these defaults). Without an
//    image the camera sees an empty bright field. The image is scaled to the
//    requested frame size; it is re-read when its file changes. The slide is
//    of the type the settings hold (kSettingsFile, "Cell counting/Slide
//    type"; the 2-chamber slide when they hold none) and sits where the
//    focus references derived from one calibration put it: a validation
//    slide kSlideTypeStep steps lower, a reusable one as much higher;
//  - the simulated microcontroller's state file kMcuStateFile ("position=",
//    "led=", "brightness=", "power=" lines): the slide is blurred by the
//    distance of the stage from the focus position (sigma kDefocusPerStep
//    full-resolution pixels per motor step) and lit in proportion to the LED
//    brightness (kReferenceBrightness gives the slide's own levels); "led=off"
//    or "power=off" is dark. Without the file the stage stands at focus and
//    the LED at the reference. The LED is short of red (kLedRedShare): a
//    sensor whose red gain is kCalibratedRedGain, as the illumination
//    calibration keeps it, and green and blue at 1x sees the slide's own
//    colours;
//  - the image sensor's registers on the simulated bus "/dev/i2c-1", slave
//    0x3C: exposure 0x3501/0x3502 (16 bits, kReferenceExposure gives the
//    slide's own levels), gain 0x350A/0x350B (0x00 = 1x, bits 0-3 add
//    sixteenths, each higher bit doubles) and the white-balance gains of red,
//    green and blue 0x3400-0x3405 (12 bits each, 0x400 = 1x). The first
//    simulated camera of a bus in a process writes the sensor's power-on values
//    there (exposure kReferenceExposure, gain 1x, white balance 1x);
//  - sensor noise (Gaussian, seeded by the frame's sequence number, so a run
//    is repeatable), then 8-bit clipping and packing as YUYV (BT.601, video
//    range, as libswscale reads it back).
// Frames come at the sensor's period for the frame size (framePeriodMs).
//
// Faults. The file kFaultFile under the root switches faults on, one
// "key=value" per line (SimulatedVideo::setFaults writes it; it is read on
// every open, buffer request and frame, so a running camera follows it):
//        open=fail          the device cannot be opened (ENODEV)
//        streamon=fail      the stream cannot be started (EIO)
//        frames=none        no frame is ever ready
//        corrupt=green      frames are corrupt: green (all bytes 0), pink (all
//                           bytes 0xFF) or black (video black)
//        corrupt-share=0.5  ... in this share of the rows, from the bottom (1)
//        grant=6            buffer requests are granted this many buffers
//        bytesused=100      dequeued buffers claim this many bytes used
class SimulatedVideo
{
public:
    static constexpr char kSlideFile[] = "/sim/slide.txt";
    static constexpr char kDefaultSlideImage[] = "/sim/slide.png";
    static constexpr char kMcuStateFile[] = "/run/kova-sim/state";
    static constexpr char kSettingsFile[] = "/opt/KOVA3/conf/KOVA3.ini";
    static constexpr char kFaultFile[] = "/run/kova-sim/camera-faults";
    static constexpr char kSensorBus[] = "/dev/i2c-1";
    static constexpr int kSensorAddress = 0x3C;

    static constexpr int kDefaultFocus = 32000;
    static constexpr int kSlideTypeStep = 2560;
    static constexpr double kDefocusPerStep = 1.5 / 512;
    static constexpr int kReferenceBrightness = 225;
    static constexpr int kReferenceExposure = 1000;
    static constexpr double kNoiseSigma = 1.5;
    static constexpr unsigned kCalibratedRedGain = 0x500;
    static constexpr double kLedRedShare = 0x400 / double(kCalibratedRedGain);

    enum class Corruption { None, Green, Pink, Black };

    struct Faults
    {
        bool openFailure = false;
        bool streamOnFailure = false;
        bool noFrame = false;
        Corruption corrupt = Corruption::None;
        double corruptShare = 1.0;
        int grant = 0;  // buffers granted per request; 0 = as asked
        unsigned bytesUsed = 0;  // bytes a dequeued buffer claims; 0 = the frame's size

        bool operator==(const Faults& other) const;
    };

    // The faults of the current root (none when the file is missing).
    static Faults faults();
    // Writes the fault file of the current root; false on the real instrument
    // or when it cannot be written.
    static bool setFaults(const Faults& faults);

    // Writes the slide description for an image file (logical path) and its
    // focus position; false on the real instrument or when it cannot be written.
    static bool setSlide(const QString& logicalImage, int focus);

    // Milliseconds between frames of a given width.
    static int framePeriodMs(int width);

    // The simulated camera that VideoDevice::open gives under a root other
    // than "/" where no character device stands; null (ENODEV) when the
    // faults say it cannot be opened.
    static std::unique_ptr<VideoDevice> open();
};

}  // namespace platform
