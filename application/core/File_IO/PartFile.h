#pragma once

#include <QByteArray>
#include <QString>

// Files written whole or not at all, and never through a link (a USB stick
// may hold links planted to lead writes out of it). The content goes to a
// new part file beside the target, created with O_CREAT | O_EXCL | O_NOFOLLOW
// under a free name, so nothing that stands at a name is ever opened; once
// written completely and forced to the medium it takes the target's place by
// a rename, which replaces a file or link at the target instead of following
// it. A failure removes the part and leaves the target as it was. Paths are
// physical.

// Whether anything stands at `physical`, a dangling link included (which
// QFile::exists and QDir::exists take for a free name).
bool nameTaken(const QString& physical);

// Writes `content` as the whole of `target` through a part file; false, the
// target as it was and `errorString` (when given) saying why, when it cannot.
bool writeWhole(const QString& target, const QByteArray& content, QString* errorString = nullptr);

class PartFile
{
public:
    // Creates the part beside `target`: "<target>.part", or when that name
    // is taken "<target>.1.part", "<target>.2.part", ...
    explicit PartFile(const QString& target);
    // Removes a part that was never put in place.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // The part was created and is open for writing.
    bool isOpen() const { return m_fd >= 0; }
    // Its descriptor, for a writer of its own (libtiff); -1 when not open.
    int handle() const { return m_fd; }
    QString partPath() const { return m_part; }
    QString target() const { return m_target; }

    // Writes all of the bytes, continuing after short writes.
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Forces the part to the medium, closes it and renames it over the
    // target. False when a step fails (or an earlier write did): the part is
    // then gone and the target as it was.
    bool commit();
    // Closes and removes the part; the target stays as it was.
    void discard();

    // The system error (errno) of the first step that failed, 0 while none
    // did: ENOSPC for a full medium, EFBIG for a file-size limit, ...
    int error() const { return m_error; }
    QString errorString() const;

private:
    bool fail();
    // fsync, or the failure a test's seam stands in with.
    bool sync();

    QString m_target;
    QString m_part;
    int m_fd = -1;
    int m_error = 0;
};
