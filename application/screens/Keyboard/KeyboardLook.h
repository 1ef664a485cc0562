#pragma once

#include <QObject>
#include <QPushButton>
#include <QString>

#include <cstddef>

// What the keyboard, the keyboard dialog and the keypad share: their images
// and the way a key touch becomes a key event.

// The keyboard images live in the application's static library; this registers them.
void initKeyboardResources();

// Style of an image key: "<base> 1.png" normal, "2" pressed, "3" disabled, under `prefix`.
QString imageKeyStyle(const QString& prefix, const QString& base);

// Delivers a key press and then its release to `target` synchronously.
void sendKeyPair(QObject* target, int key, Qt::KeyboardModifiers modifiers, const QString& text);

// A key of a form that sends one fixed key code.
template <class Form>
struct KeyCode
{
    QPushButton* Form::*button;
    int code;
};

// Connects the click of each key to `send(code)`.
template <class Form, std::size_t N, class Send>
void connectKeyCodes(Form* form, const KeyCode<Form> (&keys)[N], QObject* context, Send send)
{
    for (const KeyCode<Form>& key : keys) {
        const int code = key.code;
        QObject::connect(form->*key.button, &QPushButton::clicked, context, [send, code] { send(code); });
    }
}
