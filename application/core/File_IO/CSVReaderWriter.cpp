#include "File_IO/CSVReaderWriter.h"

#include "platform/Log.h"
#include "platform/Root.h"
#include "platform/SaveFile.h"

#include <QFile>

#include <cstdarg>
#include <cstdio>

namespace {

constexpr size_t kDefaultMaxLines = 100;

// printf-style expansion of any length: a long file name must never be cut
// off the middle of a table row.
std::string vformat(const char* format, va_list args)
{
    if (!format)
        return std::string();
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

QString physical(const char* path)
{
    return platform::rootPath(QString::fromUtf8(path ? path : ""));
}

}  // namespace

CSVReaderWriter::CSVReaderWriter(size_t maxLines, const char* format, ...)
    : m_nMaxLines(maxLines)
{
    va_list args;
    va_start(args, format);
    m_strHeader = vformat(format, args);
    va_end(args);
    m_Lines.push_back(m_strHeader);
}

CSVReaderWriter::CSVReaderWriter(const char* format, ...)
    : m_nMaxLines(kDefaultMaxLines)
{
    va_list args;
    va_start(args, format);
    m_strHeader = vformat(format, args);
    va_end(args);
}

CSVReaderWriter::~CSVReaderWriter() = default;

void CSVReaderWriter::fillDataField(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string line = vformat(format, args);
    va_end(args);

    if (m_Lines.size() < m_nMaxLines) {
        m_Lines.push_back(std::move(line));
        return;
    }
    std::vector<std::string> rolled;
    rolled.reserve(m_Lines.size());
    rolled.push_back(m_strHeader);
    if (m_Lines.size() > 2)
        rolled.insert(rolled.end(), std::make_move_iterator(m_Lines.begin() + 2),
                      std::make_move_iterator(m_Lines.end()));
    rolled.push_back(std::move(line));
    m_Lines.swap(rolled);
}

bool CSVReaderWriter::read(const char* path)
{
    QFile file(physical(path));
    if (!file.open(QIODevice::ReadOnly)) {
        KLOG << "CSVReaderWriter::read: cannot open" << file.fileName();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        KLOG << "CSVReaderWriter::read: cannot read" << file.fileName();
        return false;
    }

    // Line by line up to the end: a final line feed leaves one empty line.
    int start = bytes.indexOf('\n');
    if (start < 0)
        return true;  // the header alone (or nothing)
    ++start;
    while (true) {
        const int end = bytes.indexOf('\n', start);
        if (end < 0) {
            m_Lines.emplace_back(bytes.constData() + start, static_cast<size_t>(bytes.size() - start));
            break;
        }
        m_Lines.emplace_back(bytes.constData() + start, static_cast<size_t>(end - start));
        start = end + 1;
    }
    return true;
}

bool CSVReaderWriter::write(const char* path) const
{
    std::string bytes;
    for (size_t i = 0; i < m_Lines.size(); ++i) {
        if (i > 0)
            bytes += '\n';
        bytes += m_Lines[i];
    }
    return save(path, bytes);
}

bool CSVReaderWriter::reverseWrite(const char* path) const
{
    std::string bytes;
    if (!m_Lines.empty()) {
        bytes = m_Lines.front();
        bytes += '\n';
        for (size_t i = m_Lines.size() - 1; i >= 1; --i) {
            bytes += m_Lines[i];
            if (i > 1)
                bytes += '\n';
        }
    }
    return save(path, bytes);
}

bool CSVReaderWriter::save(const char* path, const std::string& bytes) const
{
    // Up to 1000 earlier counts live in this file: a full disk must leave the
    // old table in place rather than an empty or cut one.
    QSaveFile file(physical(path));
    if (!platform::openSaveFile(file)) {
        KLOG << "CSVReaderWriter: cannot open" << file.fileName();
        return false;
    }
    const qint64 size = static_cast<qint64>(bytes.size());
    if (file.write(bytes.data(), size) != size || !file.commit()) {
        KLOG << "CSVReaderWriter: cannot write" << file.fileName() << file.errorString();
        return false;
    }
    return true;
}

std::vector<std::string> CSVReaderWriter::csv() const
{
    return m_Lines;
}

void CSVReaderWriter::parse(std::string line, std::vector<std::string>& fields)
{
    fields.clear();
    std::string::size_type start = 0;
    for (std::string::size_type j = 0; j < line.size(); ++j) {
        if (line[j] == ',') {
            fields.push_back(line.substr(start, j - start));
            start = j + 1;
        } else if (j + 1 == line.size()) {
            fields.push_back(line.substr(start));
        }
    }
}

bool CSVReaderWriter::replaceName(std::string name, int fromEnd)
{
    const size_t n = m_Lines.size();
    if (n < 2 || fromEnd < 1 || static_cast<size_t>(fromEnd) > n - 1)
        return false;

    std::string& line = m_Lines[n - static_cast<size_t>(fromEnd)];
    const std::string::size_type first = line.find(',');
    if (first == std::string::npos) {
        line = name;
    } else {
        const std::string::size_type second = line.find(',', first + 1);
        const std::string::size_type length = second == std::string::npos ? std::string::npos : second - first - 1;
        line.replace(first + 1, length, name);
    }
    KLOG << "CSVReaderWriter::replaceName : " << QString::fromStdString(line);
    return true;
}

bool CSVReaderWriter::replaceName(std::string name)
{
    if (m_Lines.size() < 2)
        return false;
    std::string& line = m_Lines.back();
    line.replace(0, line.find(','), name);
    return true;
}

void CSVReaderWriter::erase()
{
    m_Lines.clear();
}
