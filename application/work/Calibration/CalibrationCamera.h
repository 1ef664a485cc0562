#pragma once

#include <cstdint>
#include <functional>

// What one step of the illumination calibration needs of the camera, called
// from the calibration worker's thread: theApp's camera in the program
// (AppCalibrationCamera), a scripted one in tests.
class CalibrationCamera
{
public:
    struct Means
    {
        float r = 0.0f;
        float g = 0.0f;
        float b = 0.0f;
    };

    virtual ~CalibrationCamera() = default;

    // Opens the camera at 1280 × 960 with the register file of CUR_CAL_INI;
    // true when it runs.
    virtual bool open() = 0;
    virtual void close() = 0;
    // A 16-bit sensor value: the high byte at `reg`, the low byte at reg + 1.
    virtual bool setRegister(std::uint16_t reg, std::uint16_t value) = 0;
    virtual std::uint16_t getRegister(std::uint16_t reg) = 0;
    // The driver's buffer index of the newest frame.
    virtual unsigned frameIndex() = 0;
    // One reading: the channel means of the newest frame, without waiting
    // for a new one.
    virtual Means reading() = 0;
};

// theApp's camera. The opening runs in the GUI thread (the home screen's
// openCamera may replace the camera object and ask the user); the calling
// thread waits for it, and gives up with "not running" when it is asked to
// stop (QThread::requestInterruption) meanwhile, so a dialog that ends the
// step never waits on a thread that waits on the dialog's thread.
class AppCalibrationCamera : public CalibrationCamera
{
public:
    explicit AppCalibrationCamera(std::function<void()> openInGuiThread);

    bool open() override;
    void close() override;
    bool setRegister(std::uint16_t reg, std::uint16_t value) override;
    std::uint16_t getRegister(std::uint16_t reg) override;
    unsigned frameIndex() override;
    Means reading() override;

private:
    std::function<void()> m_open;
};
