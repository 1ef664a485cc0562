#include "Stepper.h"

#include <gtest/gtest.h>

using verifier::stepValue;

// One press of a step button: new value (if any) and the buttons' states.
TEST(Stepper, StepsStopAtTheLimits)
{
    const struct {
        unsigned current, maximum;
        int step;
        bool write;
        unsigned value;
        bool up, down;
    } cases[] = {
        {0x1F8, 0x1FF, 16, true, 0x1FF, false, true},  // coarse up stops at the maximum
        {0x1EF, 0x1FF, 16, true, 0x1FF, false, true},
        {0x1EE, 0x1FF, 16, true, 0x1FE, true, true},
        {0x1FE, 0x1FF, 1, true, 0x1FF, false, true},
        {0x1FF, 0x1FF, 1, false, 0x1FF, false, true},  // at the maximum nothing is written
        {0x2000, 0x1FF, -1, true, 0x1FFF, false, true},  // still above the maximum
        {5, 0xFFFF, -16, true, 0, true, false},  // coarse down stops at 0
        {16, 0xFFFF, -16, true, 0, true, false},
        {17, 0xFFFF, -16, true, 1, true, true},
        {0, 0xFFFF, -1, false, 0, true, false},
        {995, 1000, 10, true, 1000, false, true},  // the LED's coarse step
        {989, 1000, 10, true, 999, true, true},
        {7, 1000, -10, true, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.current) + " by " + std::to_string(c.step));
        const auto outcome = stepValue(c.current, c.maximum, c.step);
        EXPECT_EQ(outcome.write, c.write);
        if (c.write)
            EXPECT_EQ(outcome.value, c.value);
        EXPECT_EQ(outcome.upEnabled, c.up);
        EXPECT_EQ(outcome.downEnabled, c.down);
    }
}
