#include "SoftwareUpdate/PackageListing.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <limits>

namespace PackageListing {

namespace {

// Reads the C-quoted text that starts at `at` (on its opening quote) and moves
// `at` past its closing quote. False when there is none.
bool readQuoted(const QByteArray& line, int& at, QString& text)
{
    if (at >= line.size() || line[at] != '"')
        return false;
    QByteArray bytes;
    for (++at; at < line.size(); ++at) {
        const char c = line[at];
        if (c == '"') {
            ++at;
            text = QString::fromUtf8(bytes);
            return true;
        }
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++at >= line.size())
            return false;
        const char e = line[at];
        if (e >= '0' && e <= '7') {
            int value = 0;
            for (int digits = 0; digits < 3 && at < line.size() && line[at] >= '0' && line[at] <= '7'; ++digits)
                value = value * 8 + (line[at++] - '0');
            --at;
            bytes += static_cast<char>(value);
            continue;
        }
        static const char kFrom[] = "abfnrtv";
        static const char kTo[] = "\a\b\f\n\r\t\v";
        const char* escape = std::strchr(kFrom, e);
        bytes += escape && e ? kTo[escape - kFrom] : e;
    }
    return false;
}

bool leavesFolder(const QString& cleaned)
{
    return cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../"));
}

// The longest listing line a member within the limits gives: its name and
// link target, each C-quoted (up to four bytes a byte), and tar's columns.
constexpr int kMaxLineBytes = 2 * 4 * kMaxNameBytes + 1024;

// Why a name or link target is past the limits; empty when it is not.
QString limitFault(const QString& path)
{
    if (path.toUtf8().size() > kMaxNameBytes)
        return QStringLiteral("a member name or link target is longer than %1 bytes").arg(kMaxNameBytes);
    if (path.count(QLatin1Char('/')) >= kMaxDepth && path.split(QLatin1Char('/'), Qt::SkipEmptyParts).size() > kMaxDepth)
        return QStringLiteral("%1... leads more than %2 folders deep").arg(path.left(64)).arg(kMaxDepth);
    return QString();
}

// Why a name cannot stand in the folder; empty when it can.
QString nameFault(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("a member has no name");
    if (const QString fault = limitFault(name); !fault.isEmpty())
        return fault;
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("absolute member name %1").arg(name);
    if (name.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return QStringLiteral("member name with \"..\": %1").arg(name);
    return QString();
}

// FNV-1a over a path's characters: a path and the folders it lies in hash
// alike whether taken whole or on the way along a longer path.
constexpr quint64 kHashStart = 14695981039346656037ull;
quint64 step(quint64 hash, QChar c)
{
    return (hash ^ c.unicode()) * 1099511628211ull;
}

quint64 hashOf(const QString& path)
{
    quint64 hash = kHashStart;
    for (const QChar c : path)
        hash = step(hash, c);
    return hash;
}

// The hashes of the folders a cleaned path lies in: "a/b/c" gives those of
// "a" and "a/b", in one pass along the path.
QList<quint64> foldersOf(const QString& cleaned)
{
    QList<quint64> folders;
    quint64 hash = kHashStart;
    for (const QChar c : cleaned) {
        if (c == QLatin1Char('/'))
            folders << hash;
        hash = step(hash, c);
    }
    return folders;
}

// The folders a link's target passes through on its way from the link's
// folder, cleaned step by step: with "y" a link to ".", the target "y/.."
// passes through "y" and so leads where its text does not say.
QList<quint64> passedByTarget(const QString& folder, const QString& target)
{
    QStringList steps = target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    steps.removeAll(QStringLiteral("."));
    QList<quint64> passed;
    QString path = folder;
    for (int i = 0; i + 1 < steps.size(); ++i) {
        path = QDir::cleanPath(path + QLatin1Char('/') + steps[i]);
        passed << hashOf(path);
    }
    return passed;
}

const QString kRequired[] = {QStringLiteral("VERSION"), QStringLiteral("install.sh")};

}  // namespace

QStringList tarArguments(const QString& archive)
{
    return {QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--numeric-owner"),
            QStringLiteral("--quoting-style=c"), QStringLiteral("-zf"), archive};
}

bool parseLine(const QByteArray& line, Member& member)
{
    int at = line.indexOf('"');
    if (line.isEmpty() || at < 0)
        return false;
    member.type = line[0];
    // "mode owner/group size date time": a device has "major,minor" for its size.
    const QList<QByteArray> columns = line.left(at).simplified().split(' ');
    bool sized = false;
    member.size = columns.size() >= 3 ? columns[2].toLongLong(&sized) : 0;
    if (member.type == '-' && (!sized || member.size < 0))
        return false;
    if (member.type != '-')
        member.size = 0;
    if (!readQuoted(line, at, member.name))
        return false;
    const QByteArray rest = line.mid(at);
    if (rest.isEmpty())
        return member.type != 'l' && member.type != 'h';
    const QByteArray link = member.type == 'l' ? QByteArray(" -> ") : QByteArray(" link to ");
    if ((member.type != 'l' && member.type != 'h') || !rest.startsWith(link))
        return false;
    at += link.size();
    return readQuoted(line, at, member.linkTarget) && at == line.size();
}

bool Judge::read(const QByteArray& piece)
{
    if (!m_refusal.isEmpty())
        return false;
    int from = 0;
    for (int end; (end = piece.indexOf('\n', from)) >= 0; from = end + 1) {
        m_partLine += piece.mid(from, end - from);
        const QByteArray line = m_partLine;
        m_partLine.clear();
        if (!readLine(line))
            return false;
    }
    m_partLine += piece.mid(from);
    return m_partLine.size() <= kMaxLineBytes || readLine(m_partLine);
}

QString Judge::finish()
{
    if (!m_partLine.isEmpty()) {
        readLine(m_partLine);
        m_partLine.clear();
    }
    for (int i = 0; i < 2 && m_refusal.isEmpty(); ++i) {
        if (!m_regular[i] || m_otherwise[i])
            refuse(QStringLiteral("no regular top-level %1").arg(kRequired[i]));
    }
    return m_refusal;
}

bool Judge::refuse(const QString& reason)
{
    if (m_refusal.isEmpty())
        m_refusal = reason;
    return false;
}

bool Judge::readLine(const QByteArray& line)
{
    if (line.size() > kMaxLineBytes)
        return refuse(QStringLiteral("a member name or link target is longer than %1 bytes").arg(kMaxNameBytes));
    if (line.isEmpty())
        return true;
    Member member;
    if (!parseLine(line, member))
        return refuse(QStringLiteral("unreadable listing line: %1").arg(QString::fromUtf8(line.left(200))));
    return add(member);
}

bool Judge::passThrough(const QString& member, const QList<quint64>& paths)
{
    for (const quint64 path : paths) {
        if (m_links.contains(path))
            return refuse(QStringLiteral("%1 lies under a link or passes through one").arg(member));
        m_passed.insert(path);
    }
    return m_passed.size() + m_links.size() <= kMaxPaths
           || refuse(QStringLiteral("more than %1 folders and links").arg(kMaxPaths));
}

bool Judge::takeRoom(const Member& m)
{
    const qint64 blocks = std::max<qint64>(1, m.size / kBlockBytes + (m.size % kBlockBytes != 0));
    m_unpacked = blocks > (std::numeric_limits<qint64>::max() - m_unpacked) / kBlockBytes
                     ? std::numeric_limits<qint64>::max()
                     : m_unpacked + blocks * kBlockBytes;
    if (m_room == kUnlimited || m_unpacked <= m_room)
        return true;
    return refuse(QStringLiteral("unpacked, its members take more than the %1 MiB there is room for (at %2)")
                      .arg(m_room >> 20)
                      .arg(m.name.left(64)));
}

bool Judge::add(const Member& m)
{
    if (!m_refusal.isEmpty())
        return false;
    if (const QString fault = nameFault(m.name); !fault.isEmpty())
        return refuse(fault);
    if (!takeRoom(m))
        return false;
    const QString name = QDir::cleanPath(m.name);
    QList<quint64> passed = foldersOf(name);
    switch (m.type) {
    case '-':
    case 'd':
        break;
    case 'l': {
        const QString folder = QFileInfo(name).path();
        if (m.linkTarget.isEmpty() || m.linkTarget.startsWith(QLatin1Char('/'))
            || leavesFolder(QDir::cleanPath(folder + QLatin1Char('/') + m.linkTarget)))
            return refuse(QStringLiteral("link %1 leads out of the package: %2").arg(m.name, m.linkTarget));
        if (const QString fault = limitFault(m.linkTarget); !fault.isEmpty())
            return refuse(QStringLiteral("link %1: %2").arg(m.name, fault));
        passed << passedByTarget(folder, m.linkTarget);
        break;
    }
    case 'h': {
        if (const QString fault = nameFault(m.linkTarget); !fault.isEmpty())
            return refuse(QStringLiteral("hard link %1: %2").arg(m.name, fault));
        const QString target = QDir::cleanPath(m.linkTarget);
        passed << foldersOf(target) << hashOf(target);
        break;
    }
    default:
        return refuse(QStringLiteral("member %1 is a device file, a pipe or of an unknown kind (%2)")
                          .arg(m.name, QString(QLatin1Char(m.type))));
    }
    if (!passThrough(m.name, passed))
        return false;
    if (m.type == 'l') {
        const quint64 link = hashOf(name);
        if (m_passed.contains(link))
            return refuse(QStringLiteral("members lie under the link %1 or pass through it").arg(m.name));
        m_links.insert(link);
    }
    for (int i = 0; i < 2; ++i) {
        if (name == kRequired[i])
            (m.type == '-' ? m_regular[i] : m_otherwise[i]) = true;
    }
    return true;
}

}  // namespace PackageListing
