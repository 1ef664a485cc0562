#pragma once

#include "Message/MessageDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

// Answers the message boxes that a test's code runs modally, in the order they
// were planned. A box nobody planned for is cancelled and counted, so a fault
// fails the test instead of leaving it waiting in the box's event loop.
class ModalAnswerer
{
public:
    ModalAnswerer()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answerOpenBox(); });
        m_timer.start();
    }

    // The next box is answered OK or CANCEL after `whileShown` has run.
    void plan(bool ok, std::function<void()> whileShown = {}) { m_plan.push_back({ok, std::move(whileShown)}); }
    bool allPlannedAnswered() const { return m_plan.empty(); }

    QStringList shown;  // the text of every box answered, in order
    int unplanned = 0;

private:
    struct Answer
    {
        bool ok;
        std::function<void()> whileShown;
    };

    void answerOpenBox()
    {
        auto* box = qobject_cast<MessageDlg*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        Answer answer{false, {}};
        if (m_plan.empty()) {
            ++unplanned;
        } else {
            answer = std::move(m_plan.front());
            m_plan.pop_front();
        }
        shown << box->findChild<QLabel*>(QStringLiteral("LABEL_MESSAGE"))->text();
        if (answer.whileShown)
            answer.whileShown();
        box->findChild<QPushButton*>(answer.ok ? QStringLiteral("BUTTON_OK") : QStringLiteral("BUTTON_CANCEL"))->click();
    }

    QTimer m_timer;
    std::deque<Answer> m_plan;
};
