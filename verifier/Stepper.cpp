#include "Stepper.h"

#include <algorithm>

namespace verifier {

StepOutcome stepValue(unsigned current, unsigned maximum, int step)
{
    if (step > 0) {
        if (current >= maximum)
            return {false, current, false, true};
        const unsigned value = std::min(current + unsigned(step), maximum);
        return {true, value, value != maximum, true};
    }
    if (current == 0)
        return {false, 0, true, false};
    const unsigned down = unsigned(-step);
    const unsigned value = current > down ? current - down : 0;
    if (value >= maximum)
        return {true, value, false, true};
    return {true, value, true, value != 0};
}

}  // namespace verifier
