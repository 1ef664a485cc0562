#include "RestartLoopGuard.h"

RestartLoopGuard::RestartLoopGuard(int maxEnds, qint64 windowMs)
    : m_maxEnds(maxEnds)
    , m_windowMs(windowMs)
{
}

bool RestartLoopGuard::allowRestart(qint64 nowMs)
{
    while (!m_ends.empty() && nowMs - m_ends.front() >= m_windowMs)
        m_ends.pop_front();
    m_ends.push_back(nowMs);
    if (static_cast<int>(m_ends.size()) < m_maxEnds)
        return true;
    m_ends.clear();
    return false;
}
