#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acts on a modal dialog that a test's code runs and so never returns from
// until it closes: once a dialog of type Dialog is the active modal widget
// (and `ready` holds for it, when given), `action` runs on it, once; an
// action ended by a failed assertion closes the dialog. The message boxes
// have ModalAnswerer.
template <class Dialog>
class WhenModal
{
public:
    explicit WhenModal(std::function<void(Dialog*)> action) : WhenModal(nullptr, std::move(action)) {}

    // `ready` is asked at each look, and never waits: a dialog that runs the
    // events inside its own slot would otherwise be held in the middle of it.
    WhenModal(std::function<bool(Dialog*)> ready, std::function<void(Dialog*)> action)
        : m_ready(std::move(ready)), m_action(std::move(action))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || (m_ready && !m_ready(dialog)))
                return;
            m_timer.stop();
            m_done = true;
            const QPointer<Dialog> guard(dialog);
            m_action(dialog);
            // An assertion that ended the action must not leave the test
            // hanging in the dialog's own loop.
            if (::testing::Test::HasFatalFailure() && guard && guard->isVisible())
                guard->close();
        });
        m_timer.start();
    }

    bool done() const { return m_done; }

private:
    QTimer m_timer;
    std::function<bool(Dialog*)> m_ready;
    std::function<void(Dialog*)> m_action;
    bool m_done = false;
};
