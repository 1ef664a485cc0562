#include "SoftwareUpdate/UpdateSoftwareThread.h"

#include "KovaCore/ResultTree.h"
#include "SoftwareUpdate/PackageListing.h"
#include "platform/CommandRunner.h"
#include "platform/DiskSpace.h"
#include "platform/InstallScript.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

const QString kTar = QStringLiteral("tar");

// The program files whose mode a restore sets again: the versioned main
// programs, the verifier, the touch-calibration program the launcher starts,
// and the start script.
const QStringList kProgramFiles = {
    QStringLiteral("KOVA3*_*_*"), QStringLiteral("Verifier"), QStringLiteral("PanelTrim"), QStringLiteral("kova.sh"),
};

constexpr QFileDevice::Permissions kProgramMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                  | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                                  | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                                  | QFileDevice::ExeOther;

QString clean(const QString& logical)
{
    return logical.isEmpty() ? QString() : QDir::cleanPath(logical);
}

bool liesIn(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// A logical folder as tar names it from "-C /": without its leading slash.
QString relativeToRoot(const QString& logicalFolder)
{
    return QDir::cleanPath(logicalFolder).mid(1);
}

// Why a tar run failed.
QString tarFailure(const platform::CommandResult& result)
{
    if (!result.started)
        return QStringLiteral("tar did not start");
    if (result.timedOut)
        return QStringLiteral("tar took longer than %1 minutes").arg(UpdateSoftwareThread::kTarTimeLimitMs / 60000);
    return QStringLiteral("tar failed (%1): %2")
        .arg(result.crashed ? QStringLiteral("crashed") : QString::number(result.exitCode),
             QString::fromLocal8Bit(result.standardError).trimmed());
}

// "tar <arguments>" within the tar limit; the reason when it failed.
bool runTar(const QStringList& arguments, QString* reason, QByteArray* output = nullptr)
{
    const platform::CommandResult result =
        platform::CommandRunner::run(kTar, arguments, UpdateSoftwareThread::kTarTimeLimitMs);
    if (output)
        *output = result.standardOutput;
    if (!result.succeeded())
        *reason = tarFailure(result);
    return result.succeeded();
}

// The texts left of a file name once every prefix and suffix is taken out.
QString withoutAffixes(QString name, const QString& prefix, const QString& suffix)
{
    if (!prefix.isEmpty())
        name.remove(prefix, Qt::CaseSensitive);
    if (!suffix.isEmpty())
        name.remove(suffix, Qt::CaseSensitive);
    return name;
}

// A whole decimal number of a text; 0 when it is too long for an int.
int decimal(const QString& digits)
{
    bool ok = false;
    const int value = digits.toInt(&ok, 10);
    return ok ? value : 0;
}

}  // namespace

UpdateSoftwareThread::UpdateSoftwareThread()
{
    qRegisterMetaType<SoftwareUpdaterError>("SoftwareUpdaterError");
}

UpdateSoftwareThread::~UpdateSoftwareThread()
{
    requestInterruption();
    wait();
    removeUnpacked();  // a package prepared but never installed
}

void UpdateSoftwareThread::setBackupOn(bool on)
{
    KLOG_VALUE("setBackupOn", on);
    m_backupOn = on;
}

void UpdateSoftwareThread::setBackupFileName(const QString& name)
{
    KLOG_VALUE("setBackupFileName", name);
    m_backupFileName = name;
}

void UpdateSoftwareThread::setBackupDirPath(const QString& path)
{
    KLOG_VALUE("setBackupDirPath", path);
    m_backupDir = clean(path);
}

void UpdateSoftwareThread::setUpdateFilePath(const QString& path)
{
    KLOG_VALUE("setUpdateFilePath", path);
    m_updateFilePath = clean(path);
}

void UpdateSoftwareThread::setUpdatePath(const QString& path)
{
    KLOG_VALUE("setUpdatePath", path);
    m_UpdatePath = path;
}

void UpdateSoftwareThread::setUpdateDirPath(const QString& path)
{
    KLOG_VALUE("setUpdateDirPath", path);
    if (!path.isEmpty() && QFileInfo(platform::rootPath(path)).isDir())
        m_updateDir = clean(path);
}

void UpdateSoftwareThread::setFileInfoList(const QList<FileInfo>& files)
{
    KLOG_VALUE("setFileInfoList", files.size());
    m_fileInfoList = files;
}

void UpdateSoftwareThread::setUpdateVersionType(ProgramVersionType type)
{
    KLOG_VALUE("setUpdateVersionType", type);
    m_versionType = type;
}

QList<FileInfo> UpdateSoftwareThread::programFiles(const QString& folder)
{
    return {{QRegExp(QStringLiteral("^KOVA3_\\d_\\d_\\d-?[A-Z]*$"), Qt::CaseSensitive, QRegExp::RegExp), folder, 0},
            {QRegExp(QStringLiteral("Verifier"), Qt::CaseSensitive, QRegExp::RegExp), folder, 0}};
}

QString UpdateSoftwareThread::message(SoftwareUpdaterError error)
{
    switch (error) {
    case NoError: return QStringLiteral("NoError");
    case NoExistUpdateFile: return QStringLiteral("NoExistUpdateFile");
    case NoExistUpdateDir: return QStringLiteral("NoExistUpdateDir");
    case InvalidSettings: return QStringLiteral("InvalidSettings");
    case BackupFailed: return QStringLiteral("BackupFailed");
    case InvalidPackage: return QStringLiteral("InvalidPackage");
    case UnpackFailed: return QStringLiteral("UnpackFailed");
    case InstallFailed: return QStringLiteral("InstallFailed");
    }
    return QString();
}

void UpdateSoftwareThread::run()
{
    KLOG_ENTER;
    m_errorString.clear();
    SoftwareUpdaterError error = NoError;
    if (m_mode == Prepare)
        error = prepare();
    else if (m_mode == Install)
        error = install();
    if (error != NoError) {
        m_error = error;
        KLOG << "run() :" << message(error) << m_errorString;
        emit signalUpdated(false, error);
        return;
    }
    KLOG << "run() : Update completed";
    ::sync();
    emit signalUpdated(true, NoError);
}

SoftwareUpdaterError UpdateSoftwareThread::fail(SoftwareUpdaterError error, const QString& reason)
{
    m_errorString = reason;
    return error;
}

SoftwareUpdaterError UpdateSoftwareThread::prepare()
{
    if (m_updateDir.isEmpty() || m_updateFilePath.isEmpty())
        return fail(InvalidSettings, QStringLiteral("no installation folder or no package"));
    if (!QFileInfo(platform::rootPath(m_updateDir)).isDir())
        return fail(NoExistUpdateDir, QStringLiteral("no installation folder %1").arg(m_updateDir));
    const QString package = platform::rootPath(m_updateFilePath);
    if (!QFileInfo(package).isFile())
        return fail(NoExistUpdateFile, QStringLiteral("no package %1").arg(m_updateFilePath));

    // The whole listing is judged before anything of the package is written
    // anywhere; it is read as tar writes it, and a refusal ends tar at once.
    qint64 room = 0;
    if (!unpackRoom(room))
        return fail(UnpackFailed, QStringLiteral("the free space of %1 cannot be read").arg(kUnpackParent));
    PackageListing::Judge judge(room);
    const platform::CommandResult listed = platform::CommandRunner::run(
        kTar, PackageListing::tarArguments(package), kTarTimeLimitMs,
        [&judge](const QByteArray& piece) { return judge.read(piece); });
    QString reason = judge.refusal();
    if (reason.isEmpty() && !listed.succeeded())
        return fail(InvalidPackage, QStringLiteral("%1 cannot be read: %2").arg(m_updateFilePath, tarFailure(listed)));
    if (reason.isEmpty())
        reason = judge.finish();
    if (!reason.isEmpty())
        return fail(InvalidPackage, QStringLiteral("%1 refused: %2").arg(m_updateFilePath, reason));

    if (m_backupOn && !backup())
        return fail(BackupFailed, m_errorString);

    removeUnpacked();
    QTemporaryDir unpacked(platform::rootPath(QString::fromLatin1(kUnpackParent)) + QStringLiteral("/KOVA3_update-XXXXXX"));
    if (!unpacked.isValid())
        return fail(UnpackFailed, QStringLiteral("no temporary folder: %1").arg(unpacked.errorString()));
    if (!runTar({QStringLiteral("-xzf"), package, QStringLiteral("-C"), unpacked.path(), QStringLiteral("--no-same-owner")},
                &reason))
        return fail(UnpackFailed, QStringLiteral("%1 did not unpack: %2").arg(m_updateFilePath, reason));
    unpacked.setAutoRemove(false);
    m_unpackDir = unpacked.path();
    KLOG_VALUE("unpacked into", m_unpackDir);
    pause(m_unpackPauseMs);
    return NoError;
}

bool UpdateSoftwareThread::unpackRoom(qint64& bytes)
{
    platform::DiskSpace space;
    if (!platform::diskSpace(QString::fromLatin1(kUnpackParent), space))
        return false;
    const quint64 free = space.availableBlocks * space.blockSize;
    bytes = free > quint64(kUnpackMarginBytes) ? qint64(std::min<quint64>(free - kUnpackMarginBytes, LLONG_MAX)) : 0;
    return true;
}

void UpdateSoftwareThread::pause(int ms)
{
    const QDeadlineTimer end(ms);
    while (!end.hasExpired() && !isInterruptionRequested())
        msleep(static_cast<unsigned long>(std::min<qint64>(end.remainingTime(), 100)));
}

SoftwareUpdaterError UpdateSoftwareThread::install()
{
    if (m_unpackDir.isEmpty() || !QFileInfo(m_unpackDir).isDir())
        return fail(InstallFailed, QStringLiteral("no unpacked package to install"));
    const platform::InstallScriptRun script =
        platform::runInstallScript(m_unpackDir, m_installTimeLimitMs, [this] { return isInterruptionRequested(); });
    KLOG << "install script output, the last" << script.output.size() << "of" << script.outputBytes
         << "bytes:" << QString::fromLocal8Bit(script.output);
    removeUnpacked();
    if (script.succeeded)
        return NoError;
    QString reason = script.errorString;
    if (m_backupOn)
        reason += restore() ? QStringLiteral("; the installation was restored from its backup")
                            : QStringLiteral("; the installation could not be restored: %1").arg(m_errorString);
    return fail(InstallFailed, reason);
}

void UpdateSoftwareThread::removeUnpacked()
{
    if (!m_unpackDir.isEmpty())
        QDir(m_unpackDir).removeRecursively();
    m_unpackDir.clear();
}

bool UpdateSoftwareThread::backup()
{
    KLOG_ENTER;
    // Neither folder may hold the other: the backup folder is emptied.
    if (m_updateDir.isEmpty() || m_updateDir == QLatin1String("/") || m_backupDir.isEmpty()
        || liesIn(m_backupDir, m_updateDir) || liesIn(m_updateDir, m_backupDir) || m_backupFileName.isEmpty()
        || m_backupFileName.contains(QLatin1Char('/'))) {
        m_errorString = QStringLiteral("the backup folder %1 or its file name %2 does not suit the installation %3")
                            .arg(m_backupDir, m_backupFileName, m_updateDir);
        return false;
    }
    const QString folder = platform::rootPath(m_backupDir);
    if (!QDir().mkpath(folder)) {
        m_errorString = QStringLiteral("the backup folder %1 cannot be made").arg(m_backupDir);
        return false;
    }
    // The old archive stays until the new one has been read back whole.
    const QString archive = folder + QLatin1Char('/') + m_backupFileName;
    const QString part = folder + QStringLiteral("/.") + m_backupFileName + QStringLiteral(".part");
    QString reason;
    QByteArray members;
    const bool written =
        runTar({QStringLiteral("-czf"), part, QStringLiteral("-C"), platform::rootPath(QStringLiteral("/")),
                relativeToRoot(m_updateDir)},
               &reason)
        && runTar({QStringLiteral("-tzf"), part}, &reason, &members)
        && members.startsWith(relativeToRoot(m_updateDir).toUtf8() + '/');
    if (!written || std::rename(QFile::encodeName(part).constData(), QFile::encodeName(archive).constData()) != 0) {
        QFile::remove(part);
        m_errorString = QStringLiteral("the backup archive %1 was not written: %2")
                            .arg(m_backupFileName, reason.isEmpty() ? QStringLiteral("not readable") : reason);
        return false;
    }
    const QFileInfoList others =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& other : others) {
        if (other.fileName() == m_backupFileName)
            continue;
        if (other.isDir() && !other.isSymLink())
            QDir(other.filePath()).removeRecursively();
        else
            QFile::remove(other.filePath());
    }
    return true;
}

bool UpdateSoftwareThread::restore()
{
    KLOG_ENTER;
    const QFileInfoList archives = QDir(platform::rootPath(m_backupDir))
                                       .entryInfoList({QStringLiteral("*.ko3")}, QDir::Files, QDir::Name);
    if (archives.isEmpty() || m_updateDir.isEmpty() || m_updateDir == QLatin1String("/")) {
        m_errorString = QStringLiteral("no backup archive in %1").arg(m_backupDir);
        return false;
    }
    // Unpacked beside the installation, on its medium, so that the swap is two renames.
    const QString installation = platform::rootPath(m_updateDir);
    QTemporaryDir staging(QFileInfo(installation).path() + QStringLiteral("/.KOVA3_restore-XXXXXX"));
    QString reason;
    if (!staging.isValid()
        || !runTar({QStringLiteral("-xzf"), archives.first().filePath(), QStringLiteral("-C"), staging.path()}, &reason)) {
        m_errorString = QStringLiteral("%1 did not unpack: %2").arg(archives.first().fileName(), reason);
        return false;
    }
    const QString restored = staging.path() + QLatin1Char('/') + relativeToRoot(m_updateDir);
    if (!QFileInfo(restored).isDir()) {
        m_errorString = QStringLiteral("%1 holds no %2").arg(archives.first().fileName(), m_updateDir);
        return false;
    }
    // What stands there now (a failed install may have removed it) goes aside first.
    const QString replaced = staging.path() + QStringLiteral("/replaced");
    const bool present = QFileInfo(installation).exists() || QFileInfo(installation).isSymLink();
    if (present && !QDir().rename(installation, replaced)) {
        m_errorString = QStringLiteral("%1 could not be moved aside").arg(m_updateDir);
        return false;
    }
    if (!QDir().rename(restored, installation)) {
        if (present && !QDir().rename(replaced, installation))
            staging.setAutoRemove(false);  // the only copy left
        m_errorString = QStringLiteral("the restored %1 could not be put in place").arg(m_updateDir);
        return false;
    }
    for (const QFileInfo& program :
         QDir(installation).entryInfoList(kProgramFiles, QDir::Files | QDir::NoSymLinks))
        QFile::setPermissions(program.filePath(), kProgramMode);
    KLOG << "restored" << m_updateDir << "from" << archives.first().fileName();
    return true;
}

QString UpdateSoftwareThread::backupFileName(const QString& version)
{
    return QStringLiteral("KOVA3_restore_%1.ko3").arg(QString(version).replace(QLatin1Char('.'), QLatin1Char('_')));
}

bool UpdateSoftwareThread::existUpdateFiles(QDir& dir, QList<QFileInfo>& list, const QStringList& nameFilters)
{
    dir.setPath(platform::rootPath(QString::fromLatin1(ResultTree::kStickMount)));
    list = dir.entryInfoList(nameFilters, QDir::Files, QDir::Name);
    return !list.isEmpty();
}

QString UpdateSoftwareThread::CheckInternalVersion(const QString& packagePath, int waitMs)
{
    // The first VERSION is enough: tar stops there instead of reading the
    // whole package. Whether the decompressor had met a damage further on by
    // then is chance, so the exit code does not judge the text; the listing
    // before unpacking judges the whole package.
    QProcess tar;
    if (!platform::CommandRunner::prepare(tar, kTar,
                                          {QStringLiteral("--to-stdout"), QStringLiteral("--occurrence=1"),
                                           QStringLiteral("-xf"), platform::rootPath(packagePath),
                                           QStringLiteral("VERSION")}))
        return QString();
    tar.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tar.start(QIODevice::ReadOnly);
    if (!tar.waitForStarted(waitMs))
        return QString();
    VersionReader reader;
    const auto running = [&tar] { return tar.state() != QProcess::NotRunning; };
    // One wait for the first bytes, one for the end: each bounded.
    const QDeadlineTimer firstBytes(waitMs);
    while (running() && tar.bytesAvailable() == 0 && !firstBytes.hasExpired())
        tar.waitForReadyRead(static_cast<int>(firstBytes.remainingTime()));
    bool inTime = tar.bytesAvailable() > 0 || !running();
    const QDeadlineTimer end(waitMs);
    while (inTime && running() && reader.take(tar.readAll())) {
        if (end.hasExpired()) {
            inTime = false;
            break;
        }
        tar.waitForReadyRead(static_cast<int>(std::min<qint64>(end.remainingTime(), 100)));
    }
    if (running()) {
        tar.kill();
        tar.waitForFinished(1000);
    }
    reader.take(tar.readAll());
    if (!inTime && !reader.full()) {
        KLOG << "VERSION of" << packagePath << "not read within" << waitMs << "ms";
        return QString();
    }
    return versionText(reader.bytes());
}

bool UpdateSoftwareThread::VersionReader::take(const QByteArray& piece)
{
    m_bytes += piece.left(kMaxVersionBytes - m_bytes.size());
    return !full();
}

QString UpdateSoftwareThread::versionText(const QByteArray& bytes)
{
    const QByteArray read = bytes.left(kMaxVersionBytes);
    const int nul = read.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? read : read.left(nul)).trimmed();
}

int UpdateSoftwareThread::getVersion(const QString& text)
{
    static const QRegularExpression kVersion(
        QStringLiteral("^(?<major>\\d+)\\.(?<minor>\\d+)\\.(?<build>\\d+)(?<flavor>.*)$"));
    const QRegularExpressionMatch match = kVersion.match(text);
    if (!match.hasMatch())
        return -1;
    const qint64 number = qint64(decimal(match.captured(QStringLiteral("major")))) * 10000
                          + qint64(decimal(match.captured(QStringLiteral("minor")))) * 100
                          + decimal(match.captured(QStringLiteral("build")));
    return number <= INT_MAX ? int(number) : -1;
}

UpdateSoftwareThread::PackageCheck UpdateSoftwareThread::checkPackage(const QString& runningVersion, int versionWaitMs)
{
    PackageCheck check;
    QDir stick;
    QList<QFileInfo> packages;
    if (!existUpdateFiles(stick, packages, {QString::fromLatin1(kPackageFilter)}))
        return check;
    check.package = packages.first();
    check.version = CheckInternalVersion(check.package.filePath(), versionWaitMs);
    const int running = getVersion(runningVersion);
    const int offered = getVersion(check.version);
    KLOG << "package" << check.package.fileName() << check.version << "against" << runningVersion;
    if (running < 0 || offered < 0)
        check.outcome = SOFTWARE_INVALID_VERSION;
    else if (offered == 0 || running <= offered)
        check.outcome = SOFTWARE_FOUND;
    else
        check.outcome = SOFTWARE_DOWNGRADE;
    return check;
}

QVector<int> UpdateSoftwareThread::splitVersion(const QString& fileName)
{
    static const QRegularExpression kName(
        QStringLiteral("^KOVA3_([0-9]+)[_.]([0-9]+)[_.]([0-9]+)(.*)\\.ko3$"));
    const QRegularExpressionMatch match = kName.match(fileName);
    if (!match.hasMatch())
        return {0, 0, 0};
    return {decimal(match.captured(1)), decimal(match.captured(2)), decimal(match.captured(3))};
}

int UpdateSoftwareThread::CompareVersion(const QString& nameA, const QString& nameB)
{
    const QVector<int> a = splitVersion(nameA);
    const QVector<int> b = splitVersion(nameB);
    for (int place = 0; place < std::max(a.size(), b.size()); ++place) {
        const int x = a.value(place);
        const int y = b.value(place);
        if (x != y)
            return x > y ? 1 : -1;
    }
    return 0;
}

int UpdateSoftwareThread::IntegerToSoftwareVersion(const QString& name, const QString& prefix, const QString& suffix)
{
    QString digits = withoutAffixes(name, prefix, suffix);
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    return decimal(digits);
}

int UpdateSoftwareThread::VersionToSoftware(SoftwareVersionType place, const QString& name, const QString& prefix,
                                            const QString& suffix)
{
    static const QRegularExpression kRun(QStringLiteral("[0-9]+"));
    QRegularExpressionMatchIterator runs = kRun.globalMatch(withoutAffixes(name, prefix, suffix));
    for (int n = 1; runs.hasNext(); ++n) {
        const QString digits = runs.next().captured();
        if (n == place)
            return decimal(digits);
    }
    return -1;
}

int UpdateSoftwareThread::MajorVersionToSoftwareVersion(const QString& name, const QString& prefix,
                                                        const QString& suffix)
{
    return VersionToSoftware(MajorVersion, name, prefix, suffix);
}

int UpdateSoftwareThread::MinorVersionToSoftwareVersion(const QString& name, const QString& prefix,
                                                        const QString& suffix)
{
    return VersionToSoftware(MinorVersion, name, prefix, suffix);
}

int UpdateSoftwareThread::BuildVersionToSoftwareVersion(const QString& name, const QString& prefix,
                                                        const QString& suffix)
{
    return VersionToSoftware(BuildVersion, name, prefix, suffix);
}

int UpdateSoftwareThread::PatchVersionToSoftwareVersion(const QString& name, const QString& prefix,
                                                        const QString& suffix)
{
    return VersionToSoftware(PatchVersion, name, prefix, suffix);
}

QString UpdateSoftwareThread::StringToSoftwareVersion(const QString& name, const QString& prefix,
                                                      const QString& suffix)
{
    QString version;
    for (const QChar c : withoutAffixes(name, prefix, suffix)) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            version += c;
        else if (c == QLatin1Char('_'))
            version += QLatin1Char('.');
    }
    return version;
}

bool UpdateSoftwareThread::IntegerToSoftwareVersion3(const QList<QFileInfo>& files, QFileInfo& chosen, int& version)
{
    if (files.isEmpty())
        return false;
    chosen = files.first();
    QString digits;
    for (int number : splitVersion(chosen.fileName()))
        digits += QString::number(number);
    version = decimal(digits);
    return !chosen.fileName().isEmpty();
}
