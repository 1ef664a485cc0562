#pragma once

#include "NetSim.h"

#include <QStringList>
#include <QTest>
#include <QTimer>

// Lets a network tool the simulator holds (NetSim::setHold) go from a timer
// of this thread's event loop, which fires only while the thread answers.
// The calls the stand-ins had made when it fired; empty when it did not
// fire within `waitMs`.
inline QStringList releaseFromTheEventLoop(const kovasim::NetSim& sim, const QString& tool, int waitMs)
{
    bool fired = false;
    QStringList calls;
    QTimer::singleShot(0, [&] {
        fired = true;
        calls = sim.calls();
        sim.setHold(tool, false);
    });
    if (!QTest::qWaitFor([&] { return fired; }, waitMs))
        return {};
    return calls;
}
