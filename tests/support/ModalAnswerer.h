#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

// Answers the message boxes that a test's code runs modally, in the order they
// were planned: any modal box with a LABEL_MESSAGE and a visible BUTTON_OK
// (the catalogue's boxes, the save dialog's error and saving boxes; a saving
// box at work shows no OK and is left alone). A box nobody planned for is
// cancelled and counted, so a fault fails the test instead of leaving it
// waiting in the box's event loop. A box without CANCEL is answered OK.
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
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        auto* label = box->findChild<QLabel*>(QStringLiteral("LABEL_MESSAGE"));
        auto* ok = box->findChild<QPushButton*>(QStringLiteral("BUTTON_OK"));
        if (!label || !ok || !ok->isVisible())
            return;
        Answer answer{false, {}};
        if (m_plan.empty()) {
            ++unplanned;
        } else {
            answer = std::move(m_plan.front());
            m_plan.pop_front();
        }
        shown << label->text();
        if (answer.whileShown)
            answer.whileShown();
        auto* cancel = box->findChild<QPushButton*>(QStringLiteral("BUTTON_CANCEL"));
        (answer.ok || !cancel ? ok : cancel)->click();
    }

    QTimer m_timer;
    std::deque<Answer> m_plan;
};
