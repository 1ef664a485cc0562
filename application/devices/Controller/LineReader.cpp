#include "Controller/LineReader.h"

#include "platform/Log.h"

LineReader::LineReader(int maxLineBytes)
    : m_maxLineBytes(maxLineBytes)
{
}

void LineReader::take(const QByteArray& bytes, QStringList& lines)
{
    int start = 0;
    for (int end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n', start)) {
        m_partialLine += bytes.mid(start, end + 1 - start);
        start = end + 1;
        if (!m_droppingLine && m_partialLine.size() <= m_maxLineBytes) {
            const int nul = m_partialLine.indexOf('\0');
            QString line = QString::fromLatin1(nul >= 0 ? m_partialLine.left(nul) : m_partialLine);
            const int lineEnd = line.indexOf(QLatin1String("\r\n"));
            if (lineEnd >= 0)
                line.truncate(lineEnd);
            lines << line;
        }
        clear();
    }
    m_partialLine += bytes.mid(start);
    if (m_partialLine.size() > m_maxLineBytes) {
        if (!m_droppingLine)
            KLOG << "dropping a line longer than" << m_maxLineBytes << "bytes";
        m_droppingLine = true;
        m_partialLine.clear();
    }
}

void LineReader::clear()
{
    m_partialLine.clear();
    m_droppingLine = false;
}
