#pragma once

namespace verifier {

// What one press of a step button does to a value from 0 to `maximum`: a
// step up (+1, or the coarse +16 / +10) stops at the maximum, a step down
// at 0. `write` says whether a new value is set; the up and down buttons are
// enabled as the outcome says.
struct StepOutcome
{
    bool write;
    unsigned value;
    bool upEnabled;
    bool downEnabled;
};

StepOutcome stepValue(unsigned current, unsigned maximum, int step);

}  // namespace verifier
