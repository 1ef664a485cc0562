#pragma once

#include <QByteArray>
#include <QList>
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
};

// The arguments that make GNU tar list `archive` so that parse() can read it:
// verbose, numeric owners, every name in C quotes.
QStringList tarArguments(const QString& archive);

// The members of a listing, in order. False, with the reason, when a line is
// not of tar's form.
bool parse(const QByteArray& listing, QList<Member>& members, QString* errorString);

// Why the members may not be unpacked into a folder of their own, or an empty
// text when they may: an absolute name or one with "..", a device file or
// pipe, a symbolic link whose target is absolute or leads out of the folder, a
// hard link to such a name, a member under a symbolic link, or no regular
// top-level "VERSION" and "install.sh".
QString refusal(const QList<Member>& members);

}  // namespace PackageListing
