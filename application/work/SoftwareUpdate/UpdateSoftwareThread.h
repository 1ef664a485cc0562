#pragma once

#include <QFileInfo>
#include <QList>
#include <QMetaType>
#include <QRegExp>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

class QDir;

// The software update dialog's states; the package check answers with four
// of them (-4, -3, -1, 2).
enum SoftWareMessageType {
    SOFTWARE_DOWNGRADE = -4,        // the package is older than the running software
    SOFTWARE_INVALID_VERSION = -3,  // a version text is not number.number.number
    SOFTWARE_INVALID_FILENAME = -2,
    SOFTWARE_NOT_FOUND = -1,  // no package in the stick's top folder
    SOFTWARE_INSERT_USB = 0,
    SOFTWARE_SEARCHING = 1,
    SOFTWARE_FOUND = 2,  // the package is accepted
    SOFTWARE_PREPARING = 3,
    SOFTWARE_READY = 4,
    SOFTWARE_UPDATING = 5,
    SOFTWARE_COMPLETE = 6,
    SOFTWARE_FAILURE = 7,
    SOFTWARE_UNAUTHORIZED = 8,
};

// Why a run of the worker failed.
enum SoftwareUpdaterError {
    NoError = 0,
    NoExistUpdateFile = 1,  // the package is gone
    NoExistUpdateDir = 2,   // the installation folder is gone
    InvalidSettings = 3,    // no installation folder or no package named
    BackupFailed = 4,       // no verified backup archive could be written
    InvalidPackage = 5,     // the package is unreadable or may not be unpacked (see PackageListing)
    UnpackFailed = 6,       // no temporary folder, or the package did not unpack
    InstallFailed = 7,      // nothing unpacked to install, or the install script failed (the installation restored)
};
Q_DECLARE_METATYPE(SoftwareUpdaterError)

// A kind of program file of the installation: the names `pattern` matches in
// the folder `path`.
struct FileInfo
{
    QRegExp pattern;
    QString path;
    int flag = 0;
};

// The software update's worker and the rules of its packages.
//
// A package "KOVA3_*.ko3" in the stick's top folder is a gzip tar archive
// with a top-level VERSION (e.g. "1.0.3") and install.sh. The owning dialog
// sets the worker up, then starts it twice: the prepare run checks the
// settings, lists the package (nothing is unpacked from one that
// PackageListing::Judge refuses, nor from one whose members would leave less
// than kUnpackMarginBytes free there), writes a verified backup archive of the
// installation folder, unpacks the package under the root's /tmp and pauses
// (kUnpackPauseMs); the
// install run runs its install.sh there (at most installTimeLimit; nothing
// the script started outlives the run), reads its output as it comes, removes the unpacked package and, when
// the script failed, puts the backup back in place of the installation.
// Each run ends with exactly one signalUpdated. All paths are logical; every
// path tar is given is mapped under the root.
//
// Threads: the setters are called, and errorString() read, only while the
// worker does not run (before start(), after its report); run() alone touches
// the members meanwhile. The destructor stops a running install script,
// waits for the run to end and removes an unpacked package that was never
// installed.
class UpdateSoftwareThread : public QThread
{
    Q_OBJECT

public:
    enum Mode { Idle = 0, Prepare = 1, Install = 2 };
    enum SoftwareVersionType { MajorVersion = 1, MinorVersion = 2, BuildVersion = 3, PatchVersion = 4 };
    using ProgramVersionType = int;

    static constexpr char kInstallDir[] = "/opt/KOVA3/bin";
    static constexpr char kBackupDir[] = "/opt/KOVA3/restore";
    static constexpr char kUnpackParent[] = "/tmp";
    static constexpr char kPackageFilter[] = "KOVA3_*.ko3";
    // Bounds on tar's listing, archiving and unpacking, and on the install
    // script: minutes, since a large package on a slow stick takes more than
    // the half minute a quick command gets.
    static constexpr int kTarTimeLimitMs = 10 * 60 * 1000;
    static constexpr int kInstallTimeLimitMs = 10 * 60 * 1000;
    // The most of a package's VERSION that is read: a version text is a few
    // bytes, the member may be of any size.
    static constexpr int kMaxVersionBytes = 256;
    // The package check runs on the screen's thread: tar gets this long for
    // VERSION's first bytes, and as long again to end.
    static constexpr int kVersionWaitMs = 30000;
    // What unpacking leaves free at least where the package unpacks: a package
    // whose members take more is refused before anything is unpacked.
    static constexpr qint64 kUnpackMarginBytes = 64LL << 20;
    // The pause after unpacking, before the install script is made runnable.
    static constexpr int kUnpackPauseMs = 10000;

    // What the package check found.
    struct PackageCheck
    {
        SoftWareMessageType outcome = SOFTWARE_NOT_FOUND;  // -4, -3, -1 or 2
        QFileInfo package;                                 // the chosen package
        QString version;                                   // its VERSION, trimmed
    };

    UpdateSoftwareThread();
    ~UpdateSoftwareThread() override;

    void setMode(Mode mode) { m_mode = mode; }
    void setBackupOn(bool on);
    // The archive's bare file name, e.g. backupFileName("1.0.2").
    void setBackupFileName(const QString& name);
    void setBackupDirPath(const QString& path);
    void setUpdateFilePath(const QString& path);
    // The package's folder; kept, no step reads it.
    void setUpdatePath(const QString& path);
    // Taken only when the folder exists; otherwise the folder stays as it was.
    void setUpdateDirPath(const QString& path);
    // The program files of the installation; kept, the backup holds the whole folder all the same.
    void setFileInfoList(const QList<FileInfo>& files);
    void setUpdateVersionType(ProgramVersionType type);
    void setInstallTimeLimit(int ms) { m_installTimeLimitMs = ms; }
    // Interrupted when the worker is destroyed.
    void setUnpackPause(int ms) { m_unpackPauseMs = ms; }

    QString updatePath() const { return m_UpdatePath; }
    QList<FileInfo> fileInfoList() const { return m_fileInfoList; }
    ProgramVersionType updateVersionType() const { return m_versionType; }

    SoftwareUpdaterError error() const { return m_error; }
    // Why the last run failed; empty after a success.
    QString errorString() const { return m_errorString; }
    static QString message(SoftwareUpdaterError error);

    // Writes the verified backup archive of the installation folder into the
    // backup folder, then removes everything else there. False, with the old
    // content untouched, when it cannot.
    bool backup();
    // Puts the installation folder back as the backup folder's archive holds
    // it: unpacked beside the installation, then swapped in by renaming. False,
    // with nothing changed, when there is no archive or it does not unpack.
    bool restore();

    // --- the package and its versions (no worker needed)

    // "KOVA3_restore_1_0_2.ko3" for "1.0.2".
    static QString backupFileName(const QString& version);
    // Points `dir` at the stick ("/mnt") and fills `list` with its plain files
    // that match a filter (ignoring case), by name; true when there is one.
    static bool existUpdateFiles(QDir& dir, QList<QFileInfo>& list, const QStringList& nameFilters);
    // The installation's program files in `folder`: the versioned main
    // programs ("^KOVA3_\d_\d_\d-?[A-Z]*$") and the verifier ("Verifier"), flag 0.
    static QList<FileInfo> programFiles(const QString& folder);

    // The package's VERSION (the path logical, or mapped already), read with
    // tar without unpacking, as versionText() takes it; empty when tar gives
    // none (no VERSION, not an archive) or has given none within `waitMs`, or
    // has not ended within `waitMs` more without VERSION's first
    // kMaxVersionBytes. A package damaged after its VERSION passes here and
    // is refused by the prepare run.
    static QString CheckInternalVersion(const QString& packagePath, int waitMs = kVersionWaitMs);
    // A VERSION file's bytes as its text: of the first kMaxVersionBytes, those
    // up to a NUL, as UTF-8, trimmed.
    static QString versionText(const QByteArray& bytes);

    // Takes VERSION's bytes as tar writes them and keeps the first
    // kMaxVersionBytes; then it wants no more.
    class VersionReader
    {
    public:
        // False once it has its fill: the rest need not be read.
        bool take(const QByteArray& piece);
        bool full() const { return m_bytes.size() >= kMaxVersionBytes; }
        QByteArray bytes() const { return m_bytes; }

    private:
        QByteArray m_bytes;
    };

    // major × 10000 + minor × 100 + build of "major.minor.build<anything>";
    // -1 when the text is not of that form or that number is past int.
    static int getVersion(const QString& text);
    // Finds the first package on the stick by name and judges it against the
    // running version: -1 none, -3 a version not of the form (or not read in
    // time, see CheckInternalVersion), -4 older, else 2 (also for the same
    // version, and always for 0.0.0).
    static PackageCheck checkPackage(const QString& runningVersion, int versionWaitMs = kVersionWaitMs);

    // File-name versions: "KOVA3_1_0_2.ko3" and the like.
    static QVector<int> splitVersion(const QString& fileName);  // [0, 0, 0] when the name is not of the form
    static int CompareVersion(const QString& nameA, const QString& nameB);  // 1 A newer, -1 older, 0 equal
    static int IntegerToSoftwareVersion(const QString& name, const QString& prefix, const QString& suffix);
    static int VersionToSoftware(SoftwareVersionType place, const QString& name, const QString& prefix,
                                 const QString& suffix);
    static int MajorVersionToSoftwareVersion(const QString& name, const QString& prefix, const QString& suffix);
    static int MinorVersionToSoftwareVersion(const QString& name, const QString& prefix, const QString& suffix);
    static int BuildVersionToSoftwareVersion(const QString& name, const QString& prefix, const QString& suffix);
    static int PatchVersionToSoftwareVersion(const QString& name, const QString& prefix, const QString& suffix);
    static QString StringToSoftwareVersion(const QString& name, const QString& prefix, const QString& suffix);
    static bool IntegerToSoftwareVersion3(const QList<QFileInfo>& files, QFileInfo& chosen, int& version);

signals:
    void signalUpdated(bool success, SoftwareUpdaterError errorCode);
    // Declared for the dialog; no run sends it.
    void updatingComplete(bool success);

protected:
    void run() override;

private:
    SoftwareUpdaterError prepare();
    SoftwareUpdaterError install();
    // Sets the reason and hands the error back.
    SoftwareUpdaterError fail(SoftwareUpdaterError error, const QString& reason);
    // Removes the unpacked package, if any.
    void removeUnpacked();
    // The free space where the package unpacks, less the margin; false when unknown.
    bool unpackRoom(qint64& bytes);
    // Waits `ms`, or until the worker is to end.
    void pause(int ms);

    Mode m_mode = Idle;
    bool m_backupOn = false;
    QString m_backupFileName;
    QString m_backupDir = QString::fromLatin1(kBackupDir);
    QString m_updateFilePath;
    QString m_UpdatePath;
    QString m_updateDir = QString::fromLatin1(kInstallDir);
    QList<FileInfo> m_fileInfoList;
    ProgramVersionType m_versionType = 0;
    int m_installTimeLimitMs = kInstallTimeLimitMs;
    int m_unpackPauseMs = kUnpackPauseMs;
    QString m_unpackDir;  // physical; from the prepare run to the install run
    SoftwareUpdaterError m_error = NoError;
    QString m_errorString;
};
