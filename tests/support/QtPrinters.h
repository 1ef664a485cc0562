#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Readable Qt strings in the tests' failure messages (gtest finds these by
// argument-dependent lookup), instead of their bytes.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (int i = 0; i < list.size(); ++i)
        *os << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
    *os << '}';
}
