#pragma once

#include <QFileInfo>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QThread>

// Why a copy job stopped.
enum FileOperationPasteError {
    PasteErrorSameFolder = 1,   // a source is the destination, or holds it
    PasteErrorDiskSpace = 2,    // the sources need more than the free space at "/mnt", or the medium filled up
    PasteErrorDestination = 3,  // the destination folder is missing, or a folder could not be made there
    PasteErrorCopy = 4,         // a file could not be read or written (other than a full medium)
};
Q_DECLARE_METATYPE(FileOperationPasteError)

// A copy job: the operation and the files and folders it copies, in order.
struct file_operations_t
{
    enum { Copy = 0, CopyAllResults = 1, Move = 2 };
    int operation = Copy;  // CopyAllResults passes over the previous-counts tables
    QStringList sources;   // logical paths
};

// A one-shot worker thread that copies a job's sources into one destination
// folder and, for a move, erases them afterwards. Nothing is ever overwritten:
// a name that is taken (by anything, a dangling link included) gets a number,
// "R(1)", "a(1).tif". Hidden and system entries (links leading nowhere,
// FIFOs, sockets, devices) of a copied folder are passed over. It checks the
// free space first, reports its totals, then its running totals after every
// file, and ends with exactly one of signalCompleted or signalPasteError;
// sources and files copied before a failure stay at the destination, each
// complete: a file that fails leaves nothing under its name (copy()). The
// worker shares nothing with other threads once started; a caller connects
// finished() to deleteLater(). Paths are logical.
class FileOperator : public QThread
{
    Q_OBJECT

public:
    FileOperator() = default;

    // Set both before start().
    void setData(file_operations_t data);
    void setDst(QFileInfo dst);

    // A name free in `folder` (nothing standing there, not even a dangling
    // link) for a file of `base` and `extension` (with its dot, or empty):
    // "base.ext", then "base(1).ext", "base(2).ext", ...
    static QString rename_for_file(QString folder, QString base, QString extension);
    // A name free in `folder` for a folder: "name", "name(1)", ...
    static QString rename_for_dir(QString folder, QString name);
    // Removes a file, or a folder with everything in it (a link: the link
    // alone, never what it leads to); the outcome is logged only.
    static void erase(QFileInfo fi);

    // Adds what a job copies of `source` to the totals: its files and bytes,
    // and 4096 bytes per folder; a path that is gone adds nothing.
    static void calculateCopyList(const QFileInfo& source, int& count, unsigned long& size);
    // One step of a job, in the calling thread: copies `source` into the
    // folder `dst`, advancing the running counts by each file handled (a
    // previous-counts table passed over when copying all results counts too)
    // and sending signalSetCurrentFileCountAndSize for each. False at the
    // first folder or file that could not be made; what was copied stays.
    // A folder is never copied into itself or a folder of its own (false,
    // nothing made), by either copy.
    bool copyRecursively(QFileInfo source, QFileInfo dst, int& count, unsigned long& size);
    // Copies `source` into the folder `dst` as a job does (free names, part
    // files), here in the calling thread and without counts or signals,
    // copying the previous-counts tables too. Every entry of a folder is
    // tried, whatever fails among them; true when all of it was copied.
    bool copyRecursively(QFileInfo source, QFileInfo dst);

signals:
    void signalSetTotalFileCountAndSize(int count, unsigned long size);
    void signalSetCurrentFileCountAndSize(int count, unsigned long size);
    void signalCompleted();
    void signalPasteError(FileOperationPasteError code);
    // A phase of flushing the medium after the copy: a progress box shows it.
    // Never sent: every file is forced to the medium before it counts as copied.
    void signalSyncStart();
    void signalSyncPercentage(float percentage);

protected:
    void run() override;

private:
    // Copies one source into `folder`, advancing the running counts; false,
    // with the reason in m_failure, when a folder or a file could not be made.
    bool copyInto(const QFileInfo& source, const QString& folder, int& count, unsigned long& size);
    // Records why making something in `folder` failed with the system's `error`.
    bool fail(const QString& folder, int error, FileOperationPasteError otherwise);
    // Copies as copyRecursively(source, dst) does, into `folder`.
    bool copyInto(const QFileInfo& source, const QString& folder);
    // Whether `folder` is the source or lies inside it.
    static bool holds(const QFileInfo& source, const QString& folder);

    int m_operation = file_operations_t::Copy;
    QStringList m_sources;
    QFileInfo m_dst;
    FileOperationPasteError m_failure = PasteErrorDestination;  // the worker thread's, after a failed copyRecursively
};
