#pragma once

#include "platform/SimulatedVideo.h"

#include <QString>

// What the simulated microcontroller shares with the rest of the virtual
// instrument (the simulated camera renders with it): a small text file at the
// logical path kStateFile under the instrument root, rewritten through a
// temporary file and a rename on every change, one "key=value" per line:
//
//   position=32000     stage position at rest, motor steps (signed decimal)
//   led=on             LED switched on or off ("on" / "off"); on from power-up,
//                      since the application lights it by its brightness alone
//   brightness=100     LED brightness level 0..1000
//   power=on           "off" once a power kill has taken effect
//
// Readers ignore unknown keys and keep the defaults for missing ones.
struct McuState
{
    static constexpr const char* kStateFile = platform::SimulatedVideo::kMcuStateFile;

    int position = 0;
    bool ledOn = true;
    int brightness = 0;
    bool powerOn = true;

    bool operator==(const McuState& other) const
    {
        return position == other.position && ledOn == other.ledOn && brightness == other.brightness
            && powerOn == other.powerOn;
    }

    // The file at a physical path; false when it cannot be read.
    static bool read(const QString& physicalPath, McuState& state);
    bool write(const QString& physicalPath) const;
};
