#pragma once

#include <QByteArray>
#include <QStringList>

// The microcontroller's bytes cut into lines, however the reads cut them: a
// line ends at "\n" and is its bytes up to its first NUL, as Latin-1, cut at
// its first "\r\n". A line longer than the limit (its "\n" included) is
// dropped whole, with whatever completes it, so bytes that never end a line
// cannot grow the memory.
class LineReader
{
public:
    explicit LineReader(int maxLineBytes);

    // Appends to `lines` every line that `bytes` completes.
    void take(const QByteArray& bytes, QStringList& lines);
    // Forgets the line begun.
    void clear();

private:
    int m_maxLineBytes;
    QByteArray m_partialLine;     // bytes of a line whose end has not come yet
    bool m_droppingLine = false;  // the current line grew past the limit
};
