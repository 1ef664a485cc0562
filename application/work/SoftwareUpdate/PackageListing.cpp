#include "SoftwareUpdate/PackageListing.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <cstring>

namespace PackageListing {

namespace {

const QString kVersionFile = QStringLiteral("VERSION");
const QString kInstallScript = QStringLiteral("install.sh");

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

bool parseLine(const QByteArray& line, Member& member)
{
    int at = line.indexOf('"');
    if (line.isEmpty() || at < 0 || !readQuoted(line, at, member.name))
        return false;
    member.type = line[0];
    const QByteArray rest = line.mid(at);
    if (rest.isEmpty())
        return member.type != 'l' && member.type != 'h';
    const QByteArray link = member.type == 'l' ? QByteArray(" -> ") : QByteArray(" link to ");
    if ((member.type != 'l' && member.type != 'h') || !rest.startsWith(link))
        return false;
    at += link.size();
    return readQuoted(line, at, member.linkTarget) && at == line.size();
}

bool leavesFolder(const QString& cleaned)
{
    return cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../"));
}

// Why a name, cleaned, cannot stand in the folder; empty when it can.
QString nameFault(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("a member has no name");
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("absolute member name %1").arg(name);
    if (name.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return QStringLiteral("member name with \"..\": %1").arg(name);
    return QString();
}

// The folders that lead to `cleaned`: "a/b/c" gives "a" and "a/b".
QStringList parentsOf(const QString& cleaned)
{
    QStringList parents;
    for (int slash = cleaned.indexOf(QLatin1Char('/')); slash > 0; slash = cleaned.indexOf(QLatin1Char('/'), slash + 1))
        parents << cleaned.left(slash);
    return parents;
}

// The link that a link's target passes through as a folder, on its way
// from the link's folder; empty when none. Such a target leads where its
// text does not say: with "y" a link to ".", "y/.." is the parent folder.
QString linkPassed(const QString& folder, const QString& target, const QSet<QString>& links)
{
    QStringList steps = target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    steps.removeAll(QStringLiteral("."));
    QString path = folder;
    for (int i = 0; i + 1 < steps.size(); ++i) {
        path = QDir::cleanPath(path + QLatin1Char('/') + steps[i]);
        if (links.contains(path))
            return path;
    }
    return QString();
}

}  // namespace

QStringList tarArguments(const QString& archive)
{
    return {QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--numeric-owner"),
            QStringLiteral("--quoting-style=c"), QStringLiteral("-zf"), archive};
}

bool parse(const QByteArray& listing, QList<Member>& members, QString* errorString)
{
    members.clear();
    for (const QByteArray& line : listing.split('\n')) {
        if (line.isEmpty())
            continue;
        Member member;
        if (!parseLine(line, member)) {
            if (errorString)
                *errorString = QStringLiteral("unreadable listing line: %1").arg(QString::fromUtf8(line));
            return false;
        }
        members << member;
    }
    return true;
}

QString refusal(const QList<Member>& members)
{
    QSet<QString> links;  // cleaned names of the symbolic links
    for (const Member& m : members) {
        if (m.type == 'l')
            links.insert(QDir::cleanPath(m.name));
    }

    QSet<QString> regular;
    QSet<QString> otherwise;  // required names seen as anything but a regular file
    for (const Member& m : members) {
        if (const QString fault = nameFault(m.name); !fault.isEmpty())
            return fault;
        const QString name = QDir::cleanPath(m.name);
        for (const QString& parent : parentsOf(name)) {
            if (links.contains(parent))
                return QStringLiteral("member %1 lies under the link %2").arg(m.name, parent);
        }
        switch (m.type) {
        case '-':
        case 'd':
            break;
        case 'l': {
            const QString folder = QFileInfo(name).path();
            const QString target = QDir::cleanPath(folder + QLatin1Char('/') + m.linkTarget);
            if (m.linkTarget.isEmpty() || m.linkTarget.startsWith(QLatin1Char('/')) || leavesFolder(target))
                return QStringLiteral("link %1 leads out of the package: %2").arg(m.name, m.linkTarget);
            if (const QString passed = linkPassed(folder, m.linkTarget, links); !passed.isEmpty())
                return QStringLiteral("link %1 goes through the link %2").arg(m.name, passed);
            break;
        }
        case 'h': {
            if (const QString fault = nameFault(m.linkTarget); !fault.isEmpty())
                return QStringLiteral("hard link %1: %2").arg(m.name, fault);
            const QString target = QDir::cleanPath(m.linkTarget);
            QStringList through = parentsOf(target);
            through << target;
            for (const QString& link : through) {
                if (links.contains(link))
                    return QStringLiteral("hard link %1 goes through the link %2").arg(m.name, link);
            }
            break;
        }
        default:
            return QStringLiteral("member %1 is a device file, a pipe or of an unknown kind (%2)")
                .arg(m.name, QString(QLatin1Char(m.type)));
        }
        (m.type == '-' ? regular : otherwise).insert(name);
    }

    for (const QString& required : {kVersionFile, kInstallScript}) {
        if (!regular.contains(required) || otherwise.contains(required))
            return QStringLiteral("no regular top-level %1").arg(required);
    }
    return QString();
}

}  // namespace PackageListing
