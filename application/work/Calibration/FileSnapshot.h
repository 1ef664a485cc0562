#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

// The files a write of several files may change, kept as they were, so that
// a write failing part-way can put every one of them back. Paths are logical
// and mapped under the instrument root, as ini_write maps them. Other writers
// of these files are not held off: a change of theirs in between to a file
// this snapshot puts back is undone with it.
class FileSnapshot
{
public:
    // Keeps the bytes of each file, or that it does not exist, in place of
    // what was kept before. A path held by something other than a file (a
    // folder) is left out: no file write can replace it. False, with the
    // reason, when a file cannot be read: it could not be put back, so the
    // caller must not write.
    bool take(const std::vector<std::string>& logicalPaths, QString* error = nullptr);

    // Puts each kept file back: its bytes through a temporary file and a
    // rename (a file that still holds them is not rewritten), or removed when
    // it did not exist. Goes on past a file it cannot put back; false, with
    // every reason, when any could not be.
    bool restore(QString* error = nullptr) const;

private:
    struct Kept
    {
        QString path;                     // physical
        std::optional<QByteArray> bytes;  // none: the file did not exist
    };
    static bool restore(const Kept& kept, QString* error);

    std::vector<Kept> m_kept;
};
