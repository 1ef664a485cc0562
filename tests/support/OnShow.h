#pragma once

#include <QApplication>
#include <QEvent>
#include <QObject>

#include <functional>

// Runs `action` whenever a widget of class T is shown, at the moment it is
// shown: before a modal dialog's event loop runs, so the action lands before
// anything the dialog waits for. The action must not close the widget (a
// dialog closed before its loop runs would never leave exec()); WhenModal is
// for that.
template <class T>
class OnShow : public QObject
{
public:
    explicit OnShow(std::function<void()> action)
        : m_action(std::move(action))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<T*>(watched))
            m_action();
        return false;
    }

private:
    std::function<void()> m_action;
};
