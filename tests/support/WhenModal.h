#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acts on a modal dialog that a test's code runs and so never returns from
// until it closes: once a dialog of type Dialog is the active modal widget,
// `action` runs on it, once. The message boxes have ModalAnswerer.
template <class Dialog>
class WhenModal
{
public:
    explicit WhenModal(std::function<void(Dialog*)> action) : m_action(std::move(action))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            m_timer.stop();
            m_done = true;
            m_action(dialog);
        });
        m_timer.start();
    }

    bool done() const { return m_done; }

private:
    QTimer m_timer;
    std::function<void(Dialog*)> m_action;
    bool m_done = false;
};
