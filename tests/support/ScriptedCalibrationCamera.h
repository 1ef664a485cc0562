#pragma once

#include "Calibration/CalibrationCamera.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>

// A camera for the calibration worker that answers from a script. Its
// registers are a map of 16-bit values by their first register (writes stick
// unless `holdsWrites` is false) and every write is recorded; each frame
// index asked for is the next of `indices`, then a count going up; a reading
// is whatever `scene` makes of the registers.
class ScriptedCalibrationCamera : public CalibrationCamera
{
public:
    static constexpr std::uint16_t kExposure = 0x3501;

    std::function<Means(const ScriptedCalibrationCamera&)> scene;
    std::map<std::uint16_t, std::uint16_t> registers;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> writes;
    std::deque<unsigned> indices;
    bool opens = true;
    bool holdsWrites = true;
    int indexCalls = 0;
    int readingCalls = 0;
    int closes = 0;

    std::uint16_t value(std::uint16_t reg) const
    {
        const auto found = registers.find(reg);
        return found == registers.end() ? 0 : found->second;
    }
    // The values written to one register, in order.
    std::vector<std::uint16_t> writesTo(std::uint16_t reg) const
    {
        std::vector<std::uint16_t> values;
        for (const auto& [written, value] : writes) {
            if (written == reg)
                values.push_back(value);
        }
        return values;
    }

    bool open() override { return opens; }
    void close() override { ++closes; }
    bool setRegister(std::uint16_t reg, std::uint16_t value) override
    {
        writes.emplace_back(reg, value);
        if (holdsWrites)
            registers[reg] = value;
        return holdsWrites;
    }
    std::uint16_t getRegister(std::uint16_t reg) override { return value(reg); }
    unsigned frameIndex() override
    {
        ++indexCalls;
        if (indices.empty())
            return m_next++;
        const unsigned index = indices.front();
        indices.pop_front();
        return index;
    }
    Means reading() override
    {
        ++readingCalls;
        return scene ? scene(*this) : Means();
    }

private:
    unsigned m_next = 1;
};

// An evenly lit field: each channel's level at exposure 1000 and gain 1x
// (0x400), in proportion to the exposure and the channel's colour gain, up to
// 255 when `clip`.
inline std::function<CalibrationCamera::Means(const ScriptedCalibrationCamera&)> evenField(float r, float g, float b,
                                                                                           bool clip = true)
{
    return [=](const ScriptedCalibrationCamera& camera) {
        const float exposure = camera.value(ScriptedCalibrationCamera::kExposure) / 1000.0f;
        const auto level = [&](float base, std::uint16_t gainRegister) {
            const float value = base * exposure * camera.value(gainRegister) / 0x400;
            return clip ? std::min(value, 255.0f) : value;
        };
        return CalibrationCamera::Means{level(r, 0x3400), level(g, 0x3402), level(b, 0x3404)};
    };
}
