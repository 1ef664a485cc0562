#include "SoftwareUpdate/UpdateSoftwareThread.h"

#include "FreshProcess.h"
#include "FullDisk.h"
#include "HostTool.h"
#include "Processes.h"
#include "TempRoot.h"
#include "UpdateInstallation.h"
#include "UpdatePackage.h"
#include "platform/DiskSpace.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>


using namespace updatetest;

namespace {

constexpr int kWaitMs = 30000;
constexpr long kMiB = 1 << 20;

// ----- the package and its versions

TEST(UpdateVersions, VersionNumbersOfVersionTexts)
{
    const struct
    {
        const char* text;
        int number;
    } cases[] = {
        {"1.2.3-beta", 10203}, {"1.0.2", 10002},      {"0.0.0", 0},       {"1.100.0", 20000},
        {"2.0.0", 20000},      {"1.2", -1},           {"v1.0.3", -1},     {"", -1},
        {"1.0.3 ", 10003},     {"1.0.99999999999", 10000}, {"1..2", -1},
        // Numbers past int are no version (the fuzzer's find overflowed).
        {"214748.36.47", 2147483647}, {"214748.36.48", -1}, {"2147483647.0.0", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdateSoftwareThread::getVersion(QString::fromLatin1(c.text)), c.number) << c.text;
}

TEST(UpdateVersions, FileNameHelpers)
{
    using T = UpdateSoftwareThread;
    const QString p = QStringLiteral("KOVA3_");
    const QString s = QStringLiteral(".ko3");
    EXPECT_EQ(T::CompareVersion("KOVA3_1_2_0.ko3", "KOVA3_1_10_0.ko3"), -1);
    EXPECT_EQ(T::CompareVersion("KOVA3_1_10_0.ko3", "KOVA3_1_2_0.ko3"), 1);
    EXPECT_EQ(T::CompareVersion("KOVA3_1.2.0-RC.ko3", "KOVA3_1_2_0.ko3"), 0);
    EXPECT_EQ(T::CompareVersion("other.ko3", "KOVA3_0_0_1.ko3"), -1);  // no match counts as 0.0.0
    EXPECT_EQ(T::splitVersion("kova3_1_0_2.ko3"), QVector<int>({0, 0, 0}));  // the name's case counts
    EXPECT_EQ(T::VersionToSoftware(T::MinorVersion, "KOVA3_1_20_3.ko3", p, s), 20);
    EXPECT_EQ(T::VersionToSoftware(T::PatchVersion, "KOVA3_1_20_3.ko3", p, s), -1);
    EXPECT_EQ(T::MajorVersionToSoftwareVersion("KOVA3_1_20_3.ko3", p, s), 1);
    EXPECT_EQ(T::BuildVersionToSoftwareVersion("KOVA3_1_20_3.ko3", p, s), 3);
    EXPECT_EQ(T::StringToSoftwareVersion("KOVA3_1_0_2.ko3", p, s), "1.0.2");
    EXPECT_EQ(T::IntegerToSoftwareVersion("KOVA3_1_0_2.ko3", p, s), 102);
    EXPECT_EQ(T::IntegerToSoftwareVersion("KOVA3_.ko3", p, s), 0);
    EXPECT_EQ(T::backupFileName("1.0.2"), "KOVA3_restore_1_0_2.ko3");

    QFileInfo chosen;
    int version = -1;
    EXPECT_TRUE(T::IntegerToSoftwareVersion3({QFileInfo("KOVA3_1_0_2.ko3"), QFileInfo("KOVA3_2_0_0.ko3")}, chosen, version));
    EXPECT_EQ(chosen.fileName(), "KOVA3_1_0_2.ko3");
    EXPECT_EQ(version, 102);
    EXPECT_FALSE(T::IntegerToSoftwareVersion3({}, chosen, version));
}

// The package check against the running version 1.0.2 (unless a case says
// otherwise), with real tar reading the package's VERSION.
TEST(UpdatePackageCheck, DecidesByTheFirstPackageAndItsVersion)
{
    const struct
    {
        const char* name;
        QStringList files;  // on the stick, each a package with VERSION `version`
        const char* version;  // nullptr: no VERSION member
        const char* running;
        SoftWareMessageType outcome;
        const char* chosen;
        const char* shown;
    } cases[] = {
        {"newer, flavoured", {"KOVA3_1_0_3.ko3"}, "1.2.3-beta\n", "1.0.2", SOFTWARE_FOUND, "KOVA3_1_0_3.ko3", "1.2.3-beta"},
        {"the same", {"KOVA3_1_0_3.ko3"}, "1.0.2", "1.0.2", SOFTWARE_FOUND, "KOVA3_1_0_3.ko3", "1.0.2"},
        {"older", {"KOVA3_1_0_3.ko3"}, "1.0.1", "1.0.2", SOFTWARE_DOWNGRADE, "KOVA3_1_0_3.ko3", "1.0.1"},
        {"0.0.0 always", {"KOVA3_1_0_3.ko3"}, "0.0.0", "1.0.2", SOFTWARE_FOUND, "KOVA3_1_0_3.ko3", "0.0.0"},
        {"1.100.0 is 2.0.0", {"KOVA3_1_0_3.ko3"}, "1.100.0", "2.0.0", SOFTWARE_FOUND, "KOVA3_1_0_3.ko3", "1.100.0"},
        {"two numbers", {"KOVA3_1_0_3.ko3"}, "1.2", "1.0.2", SOFTWARE_INVALID_VERSION, "KOVA3_1_0_3.ko3", "1.2"},
        {"a letter first", {"KOVA3_1_0_3.ko3"}, "v1.0.3", "1.0.2", SOFTWARE_INVALID_VERSION, "KOVA3_1_0_3.ko3", "v1.0.3"},
        {"no VERSION", {"KOVA3_1_0_3.ko3"}, nullptr, "1.0.2", SOFTWARE_INVALID_VERSION, "KOVA3_1_0_3.ko3", ""},
        {"running version unreadable", {"KOVA3_1_0_3.ko3"}, "1.0.3", "dev", SOFTWARE_INVALID_VERSION, "KOVA3_1_0_3.ko3", "1.0.3"},
        {"first by name", {"KOVA3_1_1_0.ko3", "KOVA3_1_0_2.ko3"}, "1.0.2", "1.0.2", SOFTWARE_FOUND, "KOVA3_1_0_2.ko3", "1.0.2"},
        {"case ignored", {"kova3_1_0_3.KO3"}, "1.0.3", "1.0.2", SOFTWARE_FOUND, "kova3_1_0_3.KO3", "1.0.3"},
        {"no package", {"KOVA3_1_0_3.tgz", "notes.txt"}, "1.0.3", "1.0.2", SOFTWARE_NOT_FOUND, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        QDir().mkpath(root.path("/mnt/sub/KOVA3_0_0_0.ko3"));  // a folder, and one in a sub-folder: never taken
        for (const QString& file : c.files) {
            UpdatePackage package;
            if (c.version)
                package.file("VERSION", c.version);
            package.file("install.sh", "#!/bin/sh\n", 0755);
            ASSERT_TRUE(package.write(root.path("/mnt/" + file)));
        }
        const UpdateSoftwareThread::PackageCheck check = UpdateSoftwareThread::checkPackage(c.running);
        EXPECT_EQ(check.outcome, c.outcome);
        EXPECT_EQ(check.package.fileName(), c.chosen);
        EXPECT_EQ(check.version, c.shown);
    }
}

TEST(UpdatePackageCheck, NoStickIsNoPackage)
{
    TempRoot root;
    EXPECT_EQ(UpdateSoftwareThread::checkPackage(kRunning).outcome, SOFTWARE_NOT_FOUND);
}

// VERSION is read up to a NUL, and only so far: a member of any size costs
// no more than a version text.
TEST(UpdatePackageCheck, VersionIsReadUpToANulAndNoFurther)
{
    const struct
    {
        const char* name;
        UpdatePackage package;
        const char* version;
    } cases[] = {
        {"up to a NUL", UpdatePackage().file("VERSION", QByteArray(" 1.0.3\n\0garbage", 15)), "1.0.3"},
        {"3 GiB of NULs", UpdatePackage().sparseFile("VERSION", 3LL << 30), ""},
        {"the first bytes of a long one",
         UpdatePackage().file("VERSION", "1.0.3" + QByteArray(UpdateSoftwareThread::kMaxVersionBytes, ' ') + "x"),
         "1.0.3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        ASSERT_TRUE(c.package.write(root.path(kPackage)));
        EXPECT_TRUE(runWithAddressSpaceRoom(128 * kMiB, [&] {
            return UpdateSoftwareThread::CheckInternalVersion(kPackage) == QLatin1String(c.version);
        }));
    }
}

// The reader takes VERSION's first bytes and then wants no more.
TEST(UpdatePackageCheck, TheVersionReaderTakesOnlyTheFirstBytes)
{
    constexpr int kMax = UpdateSoftwareThread::kMaxVersionBytes;
    UpdateSoftwareThread::VersionReader reader;
    EXPECT_TRUE(reader.take(QByteArray(kMax - 10, '1')));
    EXPECT_FALSE(reader.take(QByteArray(100, '2')));
    EXPECT_FALSE(reader.take(QByteArray(100, '3')));
    EXPECT_EQ(reader.bytes(), QByteArray(kMax - 10, '1') + QByteArray(10, '2'));
}

// tar as a stand-in under the root: the read is bounded by its waits (short
// where they run out) and ends tar once VERSION's first bytes are in, however
// long tar would go on.
TEST(UpdatePackageCheck, TheVersionReadIsBoundedByItsWaits)
{
    constexpr int kShortMs = 500;
    const struct
    {
        const char* name;
        const char* tar;  // the stand-in's shell body
        int waitMs;
        const char* version;
    } cases[] = {
        {"never ends, prints nothing", "exec sleep 1000", kShortMs, ""},
        {"prints VERSION, never ends", "echo 1.0.3; exec sleep 1000", kShortMs, ""},
        {"prints VERSION, then zeros without end", "printf 1.0.3; exec cat /dev/zero", kWaitMs, "1.0.3"},
        {"prints VERSION and ends", "echo 1.0.3", kWaitMs, "1.0.3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        root.writeScript("/bin/tar", QByteArray("#!/bin/sh\n") + c.tar + "\n");
        ASSERT_TRUE(UpdatePackage("1.0.4", "exit 0\n").write(root.path(kPackage)));
        EXPECT_EQ(UpdateSoftwareThread::CheckInternalVersion(kPackage, c.waitMs), c.version);
    }
}

// ----- the worker

// A worker's reports, recorded in its thread as they are sent.
struct Report
{
    int count = 0;
    bool success = false;
    SoftwareUpdaterError error = NoError;

    void follow(UpdateSoftwareThread& worker)
    {
        QObject::connect(&worker, &UpdateSoftwareThread::signalUpdated, [this](bool s, SoftwareUpdaterError e) {
            ++count;
            success = s;
            error = e;
        });
    }
};

// One run to its end, and its report.
Report runWorker(UpdateSoftwareThread& worker, UpdateSoftwareThread::Mode mode)
{
    Report report;
    report.follow(worker);
    worker.setMode(mode);
    worker.start();
    worker.wait();
    QObject::disconnect(&worker, &UpdateSoftwareThread::signalUpdated, nullptr, nullptr);
    return report;
}

// A script that installs: a file of its own in the installation, and where it ran.
const QByteArray kInstalls = "echo installed > \"$KOVA3_ROOT/opt/KOVA3/bin/marker\"\npwd > \"$KOVA3_ROOT/ran-in\"\n";
// A script that changes the installation before it fails.
const QByteArray kChangesBin = "echo broken > \"$KOVA3_ROOT/opt/KOVA3/bin/KOVA3.app\"\n"
                               "rm \"$KOVA3_ROOT/opt/KOVA3/bin/Verifier\"\n"
                               "rm -r \"$KOVA3_ROOT/opt/KOVA3/bin/lib\"\n"
                               "echo new > \"$KOVA3_ROOT/opt/KOVA3/bin/added\"\n";

class UpdateWorker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        layOutInstallation(root);
        setUpWorker(worker);
    }

    Report run(UpdateSoftwareThread::Mode mode) { return runWorker(worker, mode); }

    bool writePackage(const UpdatePackage& package) const { return package.write(root.path(kPackage)); }
    QMap<QString, QString> installation() const { return folderSnapshot(root.path(kInstall)); }
    QStringList restoreFolder() const
    {
        return QDir(root.path(kRestore)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QStringList unpacked() const { return QDir(root.path("/tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }
    // The members of an archive under the root, as tar lists them.
    static QStringList members(const QString& archive)
    {
        const platform::CommandResult list = runHostTool("tar", {"-tzf", archive});
        return list.succeeded() ? QString::fromUtf8(list.standardOutput).split('\n', Qt::SkipEmptyParts) : QStringList();
    }

    TempRoot root;
    UpdateSoftwareThread worker;
};

TEST(UpdateWorkerSettings, AreCheckedBeforeAnythingIsWritten)
{
    using W = UpdateSoftwareThread;
    const struct
    {
        const char* name;
        std::function<void(const TempRoot&, W&)> spoil;
        SoftwareUpdaterError error;
    } cases[] = {
        {"no package named, no installation either",
         [](const TempRoot& root, W& w) {
             w.setUpdateFilePath("");
             QDir(root.path(kInstall)).removeRecursively();
         },
         InvalidSettings},
        {"installation gone", [](const TempRoot& root, W&) { QDir(root.path(kInstall)).removeRecursively(); },
         NoExistUpdateDir},
        {"package gone", [](const TempRoot& root, W&) { QFile::remove(root.path(kPackage)); }, NoExistUpdateFile},
        {"backup into the installation", [](const TempRoot&, W& w) { w.setBackupDirPath(kInstall); }, BackupFailed},
        {"backup into a folder of it", [](const TempRoot&, W& w) { w.setBackupDirPath(kInstall + "/restore"); },
         BackupFailed},
        {"backup over the installation", [](const TempRoot&, W& w) { w.setBackupDirPath("/opt/KOVA3"); },
         BackupFailed},
        {"no backup name", [](const TempRoot&, W& w) { w.setBackupFileName(""); }, BackupFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        layOutInstallation(root);
        ASSERT_TRUE(UpdatePackage("1.0.3", kInstalls).write(root.path(kPackage)));
        W worker;
        setUpWorker(worker);
        c.spoil(root, worker);
        const Report r = runWorker(worker, W::Prepare);
        EXPECT_EQ(r.count, 1);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(worker.error(), c.error);
        EXPECT_FALSE(worker.errorString().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(root.path(kRestore)));
        EXPECT_TRUE(QDir(root.path("/tmp")).isEmpty());
        EXPECT_FALSE(QFileInfo::exists(root.path(kInstall + "/marker")));
    }
}

TEST_F(UpdateWorker, ErrorNames)
{
    EXPECT_EQ(UpdateSoftwareThread::message(BackupFailed), "BackupFailed");
    EXPECT_EQ(UpdateSoftwareThread::message(NoExistUpdateDir), "NoExistUpdateDir");
    EXPECT_EQ(UpdateSoftwareThread::message(InstallFailed), "InstallFailed");
}

TEST_F(UpdateWorker, TheBackupFolderEndsWithOnlyTheNewVerifiedArchive)
{
    ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", kInstalls)));
    const struct
    {
        const char* name;
        std::function<void()> before;
    } cases[] = {
        {"missing with its parent", [&] { QDir(root.path("/opt/KOVA3/restore")).removeRecursively(); }},
        {"an old backup and other files",
         [&] {
             root.writeFile(kRestore + "/KOVA3_restore_1_0_1.ko3", "old");
             root.writeFile(kRestore + "/notes.txt", "x");
             root.writeFile(kRestore + "/sub/deeper.ko3", "x");
             root.writeFile(kRestore + "/" + kBackupName, "the same version's old archive");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        ASSERT_TRUE(run(UpdateSoftwareThread::Prepare).success) << worker.errorString().toStdString();
        EXPECT_EQ(restoreFolder(), QStringList{kBackupName});
        const QStringList inArchive = members(root.path(kRestore + "/" + kBackupName));
        EXPECT_EQ(inArchive.value(0), "opt/KOVA3/bin/");
        EXPECT_TRUE(inArchive.contains("opt/KOVA3/bin/lib/libkova.so"));
        EXPECT_EQ(inArchive.filter(root.root().mid(1)).size(), 0);  // no member names the test root
    }
}

TEST_F(UpdateWorker, APackageIsUnpackedUnderTheRootsTmpAndInstalledThereOnce)
{
    ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", kInstalls).folder("data/").file("data/table.txt", "x")));
    const Report prepared = run(UpdateSoftwareThread::Prepare);
    ASSERT_TRUE(prepared.success) << worker.errorString().toStdString();
    EXPECT_EQ(prepared.error, NoError);
    ASSERT_EQ(unpacked().size(), 1);
    const QString folder = root.path("/tmp/" + unpacked().first());
    EXPECT_TRUE(QFileInfo(folder + "/data/table.txt").isFile());
    EXPECT_FALSE(QFileInfo::exists(root.path(kInstall + "/marker")));  // nothing runs before the user confirms

    const Report installed = run(UpdateSoftwareThread::Install);
    EXPECT_TRUE(installed.success) << worker.errorString().toStdString();
    EXPECT_EQ(root.readFile(kInstall + "/marker"), "installed\n");
    EXPECT_EQ(QDir(root.readFile("/ran-in").trimmed()).canonicalPath(), QDir(folder).canonicalPath());
    EXPECT_TRUE(unpacked().isEmpty());

    QFile::remove(root.path(kInstall + "/marker"));
    const Report again = run(UpdateSoftwareThread::Install);
    EXPECT_FALSE(again.success);
    EXPECT_EQ(again.error, InstallFailed);
    EXPECT_FALSE(QFileInfo::exists(root.path(kInstall + "/marker")));
}

// Whatever goes wrong, the installation is as it was and the backup can be
// read; a package refused before the backup leaves the old backup as it was.
TEST_F(UpdateWorker, EveryFailureLeavesTheInstallationAsItWas)
{
    using D = UpdatePackage::Damage;
    const struct
    {
        const char* name;
        UpdatePackage package;
        SoftwareUpdaterError prepareError;  // NoError: the install run fails
        int timeLimitMs;
    } cases[] = {
        {"cut tail", UpdatePackage("1.0.3", kInstalls, D::CutTail), InvalidPackage, 0},
        {"../x", UpdatePackage("1.0.3", kInstalls, D::ParentMember), InvalidPackage, 0},
        {"/etc/x", UpdatePackage("1.0.3", kInstalls, D::AbsoluteMember), InvalidPackage, 0},
        {"a link out", UpdatePackage("1.0.3", kInstalls, D::LinkOut), InvalidPackage, 0},
        {"no script", UpdatePackage("1.0.3", kInstalls, D::NoScript), InvalidPackage, 0},
        {"a device file", UpdatePackage("1.0.3", kInstalls).characterDevice("null"), InvalidPackage, 0},
        {"script exits 3", UpdatePackage("1.0.3", kChangesBin + "exit 3\n"), NoError, 0},
        {"script crashes", UpdatePackage("1.0.3", kChangesBin + "kill -SEGV $$\n"), NoError, 0},
        {"script never ends", UpdatePackage("1.0.3", kChangesBin + "sleep 1000 &\nwait\n"), NoError, 1},
        {"script removes the installation",
         UpdatePackage("1.0.3", "rm -r \"$KOVA3_ROOT/opt/KOVA3/bin\"\nexit 1\n"), NoError, 0},
    };
    const QByteArray oldBackup = UpdatePackage::noise(100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        root.writeFile(kRestore + "/" + kBackupName, oldBackup);
        const QMap<QString, QString> before = installation();
        ASSERT_TRUE(writePackage(c.package));
        worker.setInstallTimeLimit(c.timeLimitMs > 0 ? c.timeLimitMs : UpdateSoftwareThread::kInstallTimeLimitMs);

        Report r = run(UpdateSoftwareThread::Prepare);
        if (c.prepareError == NoError) {
            ASSERT_TRUE(r.success) << worker.errorString().toStdString();
            r = run(UpdateSoftwareThread::Install);
            EXPECT_EQ(r.error, InstallFailed);
            EXPECT_TRUE(worker.errorString().contains("restored")) << worker.errorString().toStdString();
            EXPECT_EQ(members(root.path(kRestore + "/" + kBackupName)).value(0), "opt/KOVA3/bin/");
        } else {
            EXPECT_EQ(r.error, c.prepareError);
            EXPECT_EQ(root.readFile(kRestore + "/" + kBackupName), oldBackup);
        }
        EXPECT_FALSE(r.success);
        EXPECT_EQ(installation(), before);
        EXPECT_TRUE(unpacked().isEmpty());
        EXPECT_EQ(restoreFolder(), QStringList{kBackupName});
        for (const char* outside : {"/x", "/etc/x", "/tmp/x", "/opt/KOVA3/x"})
            EXPECT_FALSE(QFileInfo::exists(root.path(outside))) << outside;
    }
}

// A package made to exhaust memory when it is judged: one member name of
// 60000 folders in a few hundred bytes. Refused, in bounded memory, before
// anything is written.
TEST_F(UpdateWorker, APackageOfHugeNamesIsRefusedInBoundedMemory)
{
    ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", kInstalls).file(QString("a/").repeated(60000) + "x", "")));
    ASSERT_LT(QFileInfo(root.path(kPackage)).size(), 2048);
    const QMap<QString, QString> before = installation();
    EXPECT_TRUE(runWithAddressSpaceRoom(192 * kMiB, [this] {
        const Report r = run(UpdateSoftwareThread::Prepare);
        return !r.success && r.error == InvalidPackage && worker.errorString().contains("longer than");
    }));
    EXPECT_FALSE(QFileInfo::exists(root.path(kRestore)));
    EXPECT_TRUE(unpacked().isEmpty());
    EXPECT_EQ(installation(), before);
}

// An install script that removes the programs and then prints without end,
// or prints far more than memory holds and fails: its output is read as it
// comes and only its end kept, the time limit holds, and the installation is
// put back whole.
TEST_F(UpdateWorker, AFloodingScriptFailsInBoundedMemoryAndIsRolledBack)
{
    const QByteArray removesBin = "rm -rf \"$KOVA3_ROOT/opt/KOVA3/bin\"\n";
    const struct
    {
        const char* name;
        QByteArray script;
        int timeLimitMs;
    } cases[] = {
        {"without end", removesBin + "yes 'cp: cannot stat'\n", 2000},
        {"384 MiB, then a failure", removesBin + "dd if=/dev/zero bs=1M count=384 2>/dev/null\nexit 1\n",
         UpdateSoftwareThread::kInstallTimeLimitMs},
    };
    const QMap<QString, QString> before = installation();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", c.script)));
        worker.setInstallTimeLimit(c.timeLimitMs);
        EXPECT_TRUE(runWithAddressSpaceRoom(192 * kMiB, [this] {
            const Report r = run(UpdateSoftwareThread::Prepare).success ? run(UpdateSoftwareThread::Install) : Report();
            return !r.success && r.error == InstallFailed && worker.errorString().contains("restored");
        }));
        EXPECT_EQ(installation(), before);
        EXPECT_TRUE(unpacked().isEmpty());
    }
}

// Whatever the script started has ended before the script is judged and the
// installation put back: a child that writes into the installation later
// would otherwise change it after the report.
TEST_F(UpdateWorker, NothingTheScriptStartedOutlivesTheReport)
{
    const QByteArray writesLate = "( sleep 3; echo LATE > \"$KOVA3_ROOT/opt/KOVA3/bin/KOVA3.app\" ) &\n"
                                  "echo $! > \"$KOVA3_ROOT/child\"\n";
    const struct
    {
        const char* name;
        QByteArray script;
        bool success;
    } cases[] = {
        {"failed", kChangesBin + writesLate + "exit 1\n", false},
        {"succeeded", writesLate + "exit 0\n", true},
        {"killed its supervisor", kChangesBin + writesLate + "kill -KILL $PPID\nexec sleep 1000\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QMap<QString, QString> before = installation();
        ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", c.script)));
        ASSERT_TRUE(run(UpdateSoftwareThread::Prepare).success) << worker.errorString().toStdString();
        bool childRan = true;
        QObject::connect(&worker, &UpdateSoftwareThread::signalUpdated,
                         [&] { childRan = processRuns(root.readFile("/child").trimmed().toLongLong()); });
        const Report r = run(UpdateSoftwareThread::Install);
        EXPECT_EQ(r.success, c.success);
        EXPECT_FALSE(childRan);
        EXPECT_EQ(installation(), before);
    }
}

// A gzip bomb: a few hundred KiB of package holding far more zeros before
// VERSION than there is room for where it unpacks. The listing refuses it at
// its first member: nothing is unpacked, nor backed up.
TEST_F(UpdateWorker, APackageLargerUnpackedThanTheRoomIsRefusedBeforeUnpacking)
{
    constexpr qint64 kRoom = 128 << 20;
    const qint64 free = UpdateSoftwareThread::kUnpackMarginBytes + kRoom;
    ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path("/tmp"), {4096, quint64(free / 2048), quint64(free / 4096),
                                                                    quint64(free / 4096)}));
    const struct
    {
        const char* name;
        qint64 zeros;
        bool fits;
    } cases[] = {
        {"256 MiB of zeros", 256 << 20, false},
        {"64 MiB of zeros", 64 << 20, true},
    };
    const QMap<QString, QString> before = installation();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writePackage(UpdatePackage()
                                     .zeroFile("zeros.bin", c.zeros)
                                     .file("VERSION", "1.0.3")
                                     .file("install.sh", "#!/bin/sh\n", 0755)));
        ASSERT_LT(QFileInfo(root.path(kPackage)).size(), c.zeros / 500);
        const Report r = run(UpdateSoftwareThread::Prepare);
        EXPECT_EQ(r.success, c.fits) << worker.errorString().toStdString();
        if (!c.fits) {
            EXPECT_EQ(r.error, InvalidPackage);
            EXPECT_TRUE(worker.errorString().contains("room")) << worker.errorString().toStdString();
            EXPECT_TRUE(unpacked().isEmpty());
            EXPECT_FALSE(QFileInfo::exists(root.path(kRestore)));
        }
        EXPECT_EQ(installation(), before);
    }
}

// The program files the dialog names: the versioned main programs and the verifier.
TEST(UpdateWorkerSettings, TheProgramFilesPatterns)
{
    const QList<FileInfo> files = UpdateSoftwareThread::programFiles(kInstall);
    ASSERT_EQ(files.size(), 2);
    const struct
    {
        const char* name;
        bool main;
        bool verifier;
    } cases[] = {
        {"KOVA3_1_0_3", true, false},    {"KOVA3_1_0_3-RC", true, false}, {"KOVA3_1_0_3RC", true, false},
        {"KOVA3_1_0_3-rc", false, false}, {"KOVA3_1_10_3", false, false}, {"KOVA3_1_0_3.ko3", false, false},
        {"kova3_1_0_3", false, false},   {"Verifier", false, true},       {"KOVA3_Verifier", false, true},
        {"verifier", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files[0].pattern.indexIn(c.name) >= 0, c.main) << c.name;
        EXPECT_EQ(files[1].pattern.indexIn(c.name) >= 0, c.verifier) << c.name;
    }
    for (const FileInfo& file : files) {
        EXPECT_EQ(file.path, kInstall);
        EXPECT_EQ(file.flag, 0);
    }
}

// The pause after unpacking holds the report back; a worker destroyed
// meanwhile does not wait it out.
TEST_F(UpdateWorker, ThePauseAfterUnpacking)
{
    ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", kInstalls)));
    worker.setUnpackPause(1000);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(run(UpdateSoftwareThread::Prepare).success) << worker.errorString().toStdString();
    EXPECT_GE(clock.elapsed(), 1000);

    auto pausing = std::make_unique<UpdateSoftwareThread>();
    setUpWorker(*pausing);
    pausing->setUnpackPause(10 * 60 * 1000);
    pausing->setMode(UpdateSoftwareThread::Prepare);
    pausing->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return unpacked().size() == 2; }, kWaitMs));
    pausing.reset();  // a test time-out if it waited the pause out
    EXPECT_EQ(unpacked().size(), 1);
}

TEST_F(UpdateWorker, NoTemporaryFolderIsAFailureNotAHang)
{
    ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", kInstalls)));
    QDir(root.path("/tmp")).removeRecursively();
    const Report r = run(UpdateSoftwareThread::Prepare);
    EXPECT_EQ(r.count, 1);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error, UnpackFailed);
    EXPECT_EQ(run(UpdateSoftwareThread::Install).error, InstallFailed);
}

TEST_F(UpdateWorker, AFullDiskFailsTheBackupAndKeepsTheOldOne)
{
    root.writeFile(kInstall + "/big.bin", UpdatePackage::noise(2 << 20));
    root.writeFile(kRestore + "/" + kBackupName, "old backup");
    ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", kInstalls)));
    EXPECT_TRUE(runOnFullDisk(512 << 10, [this] {
        const Report r = run(UpdateSoftwareThread::Prepare);
        return !r.success && r.error == BackupFailed;
    }));
    EXPECT_EQ(root.readFile(kRestore + "/" + kBackupName), "old backup");
    EXPECT_EQ(restoreFolder(), QStringList{kBackupName});
    EXPECT_TRUE(unpacked().isEmpty());
}

TEST_F(UpdateWorker, RestorePutsTheBackupInPlaceOfTheInstallation)
{
    QFile::setPermissions(root.path(kInstall + "/PanelTrim"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QMap<QString, QString> before = installation();
    ASSERT_TRUE(worker.backup()) << worker.errorString().toStdString();
    root.writeFile(kInstall + "/KOVA3.app", "changed");
    root.writeFile(kInstall + "/added", "new");
    QDir(root.path(kInstall + "/lib")).removeRecursively();

    ASSERT_TRUE(worker.restore()) << worker.errorString().toStdString();
    const QMap<QString, QString> after = installation();
    EXPECT_EQ(QFile::permissions(root.path(kInstall + "/PanelTrim")) & 0x0fff, 0x0755 & 0x0fff);
    before.remove("PanelTrim");
    QMap<QString, QString> rest = after;
    rest.remove("PanelTrim");
    EXPECT_EQ(rest, before);
    EXPECT_TRUE(QDir(root.path("/opt/KOVA3")).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
                    .filter(".KOVA3_restore")
                    .isEmpty());
}

TEST_F(UpdateWorker, RestoreWithoutAnArchiveChangesNothing)
{
    const QMap<QString, QString> before = installation();
    QDir().mkpath(root.path(kRestore));
    EXPECT_FALSE(worker.restore());
    EXPECT_EQ(installation(), before);

    UpdateSoftwareThread unset;  // no settings: the instrument's own folders
    EXPECT_FALSE(unset.restore());
    EXPECT_EQ(installation(), before);
}

// A package prepared but never installed (the user cancelled) is removed
// with the worker.
TEST_F(UpdateWorker, DestroyedAfterThePrepareRunItRemovesTheUnpackedPackage)
{
    ASSERT_TRUE(writePackage(UpdatePackage("1.0.3", kInstalls)));
    auto prepared = std::make_unique<UpdateSoftwareThread>();
    setUpWorker(*prepared);
    ASSERT_TRUE(runWorker(*prepared, UpdateSoftwareThread::Prepare).success);
    ASSERT_EQ(unpacked().size(), 1);
    prepared.reset();
    EXPECT_TRUE(unpacked().isEmpty());
}

// Destroyed while its script runs: the script is ended, the installation
// restored, and the report still comes.
TEST_F(UpdateWorker, DestroyedMidInstallItEndsTheScriptAndRestores)
{
    ASSERT_TRUE(writePackage(UpdatePackage(
        "1.0.3", kChangesBin + "sleep 1000 &\necho $! > \"$KOVA3_ROOT/child\"\nwait\n")));
    const QMap<QString, QString> before = installation();
    auto running = std::make_unique<UpdateSoftwareThread>();
    setUpWorker(*running);
    ASSERT_TRUE(runWorker(*running, UpdateSoftwareThread::Prepare).success);
    Report r;
    r.follow(*running);
    running->setMode(UpdateSoftwareThread::Install);
    running->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !root.readFile("/child").isEmpty(); }, kWaitMs));

    running.reset();
    EXPECT_EQ(r.count, 1);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error, InstallFailed);
    EXPECT_EQ(installation(), before);
    EXPECT_TRUE(unpacked().isEmpty());
}

}  // namespace
