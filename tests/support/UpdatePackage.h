#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A software-update package for the tests: a gzip tar archive written member
// by member, so that any name (of any length, as GNU tar stores long ones),
// kind or link can stand in it, and damaged packages are as easy to make as
// sound ones.
class UpdatePackage
{
public:
    // The damaged packages an instrument must refuse.
    enum class Damage {
        None,
        CutTail,         // the last part of the file is missing, as after a broken copy
        ParentMember,    // a member "../x"
        AbsoluteMember,  // a member "/etc/x"
        LinkOut,         // a link "out" to "/etc"
        NoScript,        // no install.sh
    };

    // An empty archive.
    UpdatePackage() = default;
    // VERSION with `version` and install.sh running `script` (a shell body),
    // damaged as asked.
    UpdatePackage(const QByteArray& version, const QByteArray& script, Damage damage = Damage::None);

    UpdatePackage& file(const QString& name, const QByteArray& content, int mode = 0644);
    UpdatePackage& folder(const QString& name);
    UpdatePackage& symlink(const QString& name, const QString& target);
    UpdatePackage& hardlink(const QString& name, const QString& target);
    UpdatePackage& characterDevice(const QString& name);
    // A file of `size` bytes that are all a hole (GNU sparse): the package
    // stays a few hundred bytes however large the file is.
    UpdatePackage& sparseFile(const QString& name, qint64 size);
    // A plain file of `size` zero bytes, as a gzip bomb holds: gzip shrinks it
    // a thousandfold, and the package is then compressed hardest.
    UpdatePackage& zeroFile(const QString& name, qint64 size);

    // `size` bytes that gzip cannot shrink, the same on every call.
    static QByteArray noise(int size);

    // Writes the package to a physical path (folders created); false when it
    // could not.
    bool write(const QString& path) const;

private:
    struct Member
    {
        char type;  // the tar type flag
        QString name;
        QByteArray content;
        QString link;
        int mode;
        qint64 sparseSize = 0;
        qint64 zeros = 0;  // a file of that many zero bytes instead of `content`
    };

    QList<Member> m_members;
    bool m_cutTail = false;
};
