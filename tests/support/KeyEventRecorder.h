#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QString>
#include <QVector>

// A key-event target that records what it receives, in order.
class KeyEventRecorder : public QObject
{
public:
    struct Key
    {
        QEvent::Type type;
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
    };

    QVector<Key> keys;

    // The codes of the presses, in order.
    QVector<int> pressedCodes() const
    {
        QVector<int> codes;
        for (const Key& k : keys) {
            if (k.type == QEvent::KeyPress)
                codes << k.key;
        }
        return codes;
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const auto* k = static_cast<QKeyEvent*>(event);
            keys.push_back({k->type(), k->key(), k->modifiers(), k->text()});
            return true;
        }
        return QObject::event(event);
    }
};
