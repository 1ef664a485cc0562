#pragma once

#include "Camera/OV5642Camera.h"
#include "HomeDlg/HomeDlg.h"
#include "Keyboard/NumberKeypadDlg.h"
#include "Message/MessageCatalogue.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <initializer_list>

// The texts of catalogue messages, as ModalAnswerer records them.
inline QStringList messages(std::initializer_list<int> numbers)
{
    QStringList texts;
    for (int number : numbers)
        texts << MessageCatalogue::text(number);
    return texts;
}

// Replaces the keypad's entry with `digits` typed on its keys, then presses Apply.
inline void typeAndApply(NumberKeypadDlg* pad, const QString& digits)
{
    auto* field = pad->findChild<QLineEdit*>(QStringLiteral("EDIT_NORMAL"));
    while (!field->text().isEmpty())
        pad->findChild<QPushButton*>(QStringLiteral("BUTTON_KEY_DELETE"))->click();
    for (const QChar digit : digits)
        pad->findChild<QPushButton*>(QStringLiteral("BUTTON_KEY_%1").arg(digit))->click();
    pad->findChild<QPushButton*>(QStringLiteral("BUTTON_KEY_APPLY"))->click();
}

inline void closeKeypad(NumberKeypadDlg* pad)
{
    pad->findChild<QPushButton*>(QStringLiteral("BUTTON_X"))->click();
}

// Every screen's clock stands at `at` for the object's life.
class FixedClock
{
public:
    explicit FixedClock(const QDateTime& at) { HomeDlg::seams().now = [at] { return at; }; }
    ~FixedClock() { HomeDlg::seams().now = nullptr; }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

// A camera that reports itself running, without a device, and counts closes.
class RunningCamera : public OV5642Camera
{
public:
    bool isRunning() const override { return m_running; }
    bool close() override
    {
        ++closes;
        m_running = false;
        return true;
    }
    void run() { m_running = true; }
    int closes = 0;

private:
    bool m_running = true;
};
