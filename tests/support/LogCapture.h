#pragma once

#include <QString>
#include <QStringList>

// Collects what the system's log category "kova" says while it lives, its
// debug lines included (the test mains silence them otherwise). One at a time.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;
    // True when a line holds `text`.
    bool contains(const QString& text) const;
    // The number of lines that hold `text`.
    int count(const QString& text) const;
};
