#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

// What an update package holds, read from tar's verbose listing before
// anything is unpacked, and whether it may be unpacked at all.
namespace PackageListing {

// One member as tar lists it.
struct Member
{
    char type = '-';     // '-' file, 'd' folder, 'l' symbolic link, 'h' hard link, 'c', 'b', 'p', ...
    QString name;        // as stored, e.g. "VERSION", "./lib/", "../x"
    QString linkTarget;  // of a symbolic or hard link
    qint64 size = 0;     // the bytes a file unpacks to; 0 for any other kind
};

// The longest member name or link target, in bytes, and the most levels of
// folders one may have ("a/b/c" has 3): far beyond any package's own, and
// short enough that judging a name costs little.
inline constexpr int kMaxNameBytes = 4096;
inline constexpr int kMaxDepth = 64;
// The most folders, with the links, that a package may name: each is
// remembered while the listing is read.
inline constexpr int kMaxPaths = 1000000;
// What a member is counted to take once unpacked: its size in whole blocks of
// this many bytes, and at least one block (a folder, a link, an empty file).
inline constexpr qint64 kBlockBytes = 4096;
// No limit on what the members take.
inline constexpr qint64 kUnlimited = -1;

// The arguments that make GNU tar list `archive` so that reading it works:
// verbose, numeric owners, every name in C quotes.
QStringList tarArguments(const QString& archive);

// One line of that listing, without its line end. False when it is not of
// tar's form (a file's size included).
bool parseLine(const QByteArray& line, Member& member);

// Judges a package member by member as tar lists it: whether its members may
// be unpacked into a folder of their own. Refused are an absolute name or one
// with "..", a name or link target longer than kMaxNameBytes or deeper than
// kMaxDepth, a device file or pipe, a symbolic link whose target is absolute
// or leads out of the folder, a member under a symbolic link or a link whose
// target passes through one (in whatever order they are listed), a hard link
// to such a name, and a package without a regular top-level "VERSION" and
// "install.sh". It keeps no member: only hashes of the links' names and of
// the folders the members pass through, so its memory does not grow with the
// names' lengths, and a name costs time in its length alone. Given a room,
// it also refuses the package as soon as the running total of what its
// members take unpacked (in kBlockBytes) passes it: a package that would fill
// the medium it unpacks on is never unpacked, however small it is itself.
class Judge
{
public:
    explicit Judge(qint64 roomBytes = kUnlimited) : m_room(roomBytes) {}

    // Takes the next piece of the listing, as tar writes it. False once the
    // package is refused: the rest of the listing need not be read.
    bool read(const QByteArray& piece);
    // Takes the next member. False once the package is refused.
    bool add(const Member& member);
    // After the whole listing: why the package is refused, or an empty text
    // when it may be unpacked.
    QString finish();
    // Why the package is refused so far; empty while it is not.
    QString refusal() const { return m_refusal; }
    // What the members judged so far take unpacked, in bytes.
    qint64 unpackedBytes() const { return m_unpacked; }

private:
    bool refuse(const QString& reason);
    bool readLine(const QByteArray& line);
    // Notes the paths a member passes through; false, refused, when one is a link.
    bool passThrough(const QString& member, const QList<quint64>& paths);
    // Adds what a member takes; false, refused, once the total passes the room.
    bool takeRoom(const Member& member);

    QByteArray m_partLine;   // the listing's last line, until its end comes
    QSet<quint64> m_links;   // the cleaned names of the symbolic links
    QSet<quint64> m_passed;  // the folders the members pass through
    // Of "VERSION" and "install.sh": seen as a regular file, seen as anything else.
    bool m_regular[2] = {};
    bool m_otherwise[2] = {};
    const qint64 m_room;
    qint64 m_unpacked = 0;
    QString m_refusal;
};

}  // namespace PackageListing
