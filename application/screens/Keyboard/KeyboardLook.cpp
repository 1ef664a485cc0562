#include "Keyboard/KeyboardLook.h"

#include <QCoreApplication>
#include <QKeyEvent>

void initKeyboardResources()
{
    Q_INIT_RESOURCE(Keyboard);
}

QString imageKeyStyle(const QString& prefix, const QString& base)
{
    return QStringLiteral("QPushButton { border: none; border-image: url(\"%1/%2 1.png\"); }\n"
                          "QPushButton:pressed { border-image: url(\"%1/%2 2.png\"); }\n"
                          "QPushButton:disabled { border-image: url(\"%1/%2 3.png\"); }")
        .arg(prefix, base);
}

void sendKeyPair(QObject* target, int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text, false, 1);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text, false, 1);
    QCoreApplication::sendEvent(target, &release);
}
