#include "RestartLoopGuard.h"

#include <gtest/gtest.h>

#include <vector>

// Three ends asking for a start within the window are one too many; the
// window slides with each end, and a refusal forgets what came before.
TEST(RestartLoopGuard, RefusesTheThirdEndWithinTheWindow)
{
    struct Case
    {
        const char* name;
        std::vector<qint64> ends;    // when each end came, in ms
        std::vector<bool> allowed;   // the answer to each
    };
    const Case cases[] = {
        {"at once", {0, 0, 0}, {true, true, false}},
        {"just within", {0, 30000, 59999}, {true, true, false}},
        {"just out", {0, 30000, 60000}, {true, true, true}},
        {"the window slides", {0, 50000, 70000, 115000, 120000}, {true, true, true, true, false}},
        {"a refusal forgets", {0, 1, 2, 3, 4, 5}, {true, true, false, true, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RestartLoopGuard guard;
        for (std::size_t i = 0; i < c.ends.size(); ++i)
            EXPECT_EQ(guard.allowRestart(c.ends[i]), c.allowed[i]) << "end " << i;
    }
}
