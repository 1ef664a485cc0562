#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <deque>
#include <vector>

// Answers the plain QMessageBoxes (question, information, critical) that a
// test's code runs modally, in the order they were planned: each planned box
// gets its planned button. A box nobody planned
// for is answered with its escape button (No for a question, OK for a
// notice) and counted, so a fault fails the test instead of leaving it
// waiting in the box's event loop. The catalogue's own boxes have
// ModalAnswerer.
class MessageBoxAnswerer
{
public:
    struct Shown
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    MessageBoxAnswerer()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answerOpenBox(); });
        m_timer.start();
    }

    void plan(QMessageBox::StandardButton button) { m_plan.push_back(button); }
    bool allPlannedAnswered() const { return m_plan.empty(); }
    // The text of the last box answered; "" before the first.
    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }

    std::vector<Shown> shown;  // every box answered, in order
    int unplanned = 0;

private:
    void answerOpenBox()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        shown.push_back({box->windowTitle(), box->text(), box->icon()});
        QAbstractButton* button = nullptr;
        if (m_plan.empty()) {
            ++unplanned;
            button = box->escapeButton();
        } else {
            button = box->button(m_plan.front());
            m_plan.pop_front();
        }
        if (button)
            button->click();
        else
            box->reject();
    }

    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_plan;
};
