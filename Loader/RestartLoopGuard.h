#pragma once

#include <QtGlobal>

#include <deque>

// Tells a main program that restarts now and then from one that ends at once
// every time it is started (a broken installation, a camera that never
// opens): such a program must not be started again for ever, wearing the
// flash with every start's settings write and never reaching the panel.
class RestartLoopGuard
{
public:
    explicit RestartLoopGuard(int maxEnds = 3, qint64 windowMs = 60000);

    // Records an end that asks for a new start at `nowMs` (a monotonic
    // clock). False when it is the `maxEnds`-th such end within the window:
    // no new start then, and the ends recorded are forgotten, so a start
    // the user asks for later gets its tries again.
    bool allowRestart(qint64 nowMs);

private:
    int m_maxEnds;
    qint64 m_windowMs;
    std::deque<qint64> m_ends;  // the recorded ends still within the window, oldest first
};
