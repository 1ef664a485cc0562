// Software update benchmarks under a temporary instrument root, with real
// GNU tar: reading a package's VERSION and listing it (50 and 200 MB of
// incompressible payload, as compiled programs nearly are), writing the
// verified backup of a 50 MB installation, the prepare run's listing and
// unpacking of a 50 MB package, putting a 50 MB installation back from its
// backup, and what hostile packages cost: an install script that prints 1 GB
// and fails, a package of 200000 members and a gzip bomb. Those report how
// far the process's peak resident memory rose during a run
// (peak_rss_growth_MiB).
#include "SoftwareUpdate/PackageListing.h"
#include "SoftwareUpdate/UpdateSoftwareThread.h"
#include "TempRoot.h"
#include "UpdateInstallation.h"
#include "UpdatePackage.h"
#include "platform/CommandRunner.h"
#include "platform/DiskSpace.h"
#include "platform/Root.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <malloc.h>

namespace {

using namespace updatetest;

constexpr int kMiB = 1 << 20;

const TempRoot g_root;

// A package with VERSION and install.sh first, then `mib` MiB of payload in
// 10 MiB files; made once per size.
QString package(int mib)
{
    const QString logical = QStringLiteral("/mnt/KOVA3_%1.ko3").arg(mib);
    if (!QFileInfo::exists(g_root.path(logical))) {
        UpdatePackage made("1.0.3", "exit 0\n");
        for (int part = 0; part * 10 < mib; ++part)
            made.file(QStringLiteral("payload/%1.bin").arg(part), UpdatePackage::noise(std::min(10, mib - part * 10) * kMiB));
        made.write(g_root.path(logical));
    }
    return logical;
}

// The installation, with `mib` MiB of programs beside the usual files.
void installation(int mib)
{
    if (QFileInfo::exists(g_root.path(kInstall + "/programs/0.bin")))
        return;
    layOutInstallation(g_root);
    for (int part = 0; part * 10 < mib; ++part)
        g_root.writeFile(kInstall + QStringLiteral("/programs/%1.bin").arg(part),
                         UpdatePackage::noise(std::min(10, mib - part * 10) * kMiB));
}

// The process's resident memory now, and its peak since the last reset, in KiB.
long statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Follows the peak resident memory over the runs it is started and stopped
// around; the largest rise above the resident memory at a start, in MiB.
class PeakGrowth
{
public:
    void start()
    {
        ::malloc_trim(0);  // what the set-up freed is not counted as the run's
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");  // the peak back to what is resident now
        m_base = statusKiB("VmRSS:");
    }
    void stop() { m_most = std::max(m_most, statusKiB("VmHWM:") - m_base); }
    double mib() const { return m_most / 1024.0; }

private:
    long m_base = 0;
    long m_most = 0;
};

void BM_ReadVersion(benchmark::State& state)
{
    const QString path = package(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (UpdateSoftwareThread::CheckInternalVersion(path) != QLatin1String("1.0.3"))
            state.SkipWithError("VERSION not read");
    }
}
BENCHMARK(BM_ReadVersion)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_ListPackage(benchmark::State& state)
{
    const QString path = platform::rootPath(package(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        PackageListing::Judge judge;
        const platform::CommandResult listing =
            platform::CommandRunner::run("tar", PackageListing::tarArguments(path), UpdateSoftwareThread::kTarTimeLimitMs,
                                         [&judge](const QByteArray& piece) { return judge.read(piece); });
        if (!listing.succeeded() || !judge.finish().isEmpty())
            state.SkipWithError("the package was refused");
    }
}
BENCHMARK(BM_ListPackage)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_Backup(benchmark::State& state)
{
    installation(50);
    UpdateSoftwareThread worker;
    setUpWorker(worker);
    for (auto _ : state) {
        if (!worker.backup())
            state.SkipWithError(qPrintable(worker.errorString()));
    }
}
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->Iterations(3);

// The prepare run without its backup: listing, then unpacking under /tmp.
void BM_ListAndUnpack(benchmark::State& state)
{
    installation(50);
    QDir().mkpath(g_root.path("/tmp"));
    UpdateSoftwareThread worker;
    setUpWorker(worker);
    worker.setBackupOn(false);
    worker.setUpdateFilePath(package(50));
    worker.setMode(UpdateSoftwareThread::Prepare);
    bool prepared = false;
    QObject::connect(&worker, &UpdateSoftwareThread::signalUpdated, [&](bool success) { prepared = success; });
    for (auto _ : state) {
        worker.start();
        worker.wait();
        if (!prepared)
            state.SkipWithError(qPrintable(worker.errorString()));
        state.PauseTiming();
        for (const QString& folder : QDir(g_root.path("/tmp")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            QDir(g_root.path("/tmp/" + folder)).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ListAndUnpack)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Restore(benchmark::State& state)
{
    installation(50);
    UpdateSoftwareThread worker;
    setUpWorker(worker);
    if (!worker.backup()) {
        state.SkipWithError(qPrintable(worker.errorString()));
        return;
    }
    for (auto _ : state) {
        if (!worker.restore())
            state.SkipWithError(qPrintable(worker.errorString()));
    }
}
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->Iterations(3);

// The worker as the dialog sets it up, for the package at `logical`.
void setUpWorker(UpdateSoftwareThread& worker, const QString& logical)
{
    updatetest::setUpWorker(worker);
    worker.setUpdateFilePath(logical);
}

// One run of a worker set up as the dialog sets it up; its success.
bool runOnce(UpdateSoftwareThread& worker, UpdateSoftwareThread::Mode mode)
{
    bool success = false;
    const QMetaObject::Connection report = QObject::connect(
        &worker, &UpdateSoftwareThread::signalUpdated, [&success](bool succeeded) { success = succeeded; });
    worker.setMode(mode);
    worker.start();
    worker.wait();
    QObject::disconnect(report);
    return success;
}

// The install run of a package whose script removes the programs, prints
// 1 GiB of "cp: cannot stat" lines and fails: read as it comes, its tail
// kept, the installation restored from the backup.
void BM_FloodingScript(benchmark::State& state)
{
    installation(50);
    const QString logical = QStringLiteral("/mnt/KOVA3_flood.ko3");
    UpdatePackage("1.0.3", "rm -rf \"$KOVA3_ROOT/opt/KOVA3/bin\"\n"
                           "yes 'cp: cannot stat' | dd bs=1M count=1024 iflag=fullblock 2>/dev/null\nexit 1\n")
        .write(g_root.path(logical));
    UpdateSoftwareThread worker;
    setUpWorker(worker, logical);
    PeakGrowth growth;
    for (auto _ : state) {
        state.PauseTiming();
        const bool prepared = runOnce(worker, UpdateSoftwareThread::Prepare);
        growth.start();
        state.ResumeTiming();
        if (!prepared || runOnce(worker, UpdateSoftwareThread::Install)
            || !worker.errorString().contains(QLatin1String("restored")))
            state.SkipWithError(qPrintable(worker.errorString()));
        growth.stop();
    }
    state.counters["peak_rss_growth_MiB"] = growth.mib();
}
BENCHMARK(BM_FloodingScript)->Unit(benchmark::kMillisecond)->Iterations(2);

// A package of 200000 small members in 200 folders: listed and judged,
// backed up and unpacked (prepare_s), installed and removed again (install_s).
void BM_ManyMembers(benchmark::State& state)
{
    installation(50);
    const QString logical = QStringLiteral("/mnt/KOVA3_many.ko3");
    if (!QFileInfo::exists(g_root.path(logical))) {
        UpdatePackage made("1.0.3", "exit 0\n");
        for (int member = 0; member < 200000; ++member)
            made.file(QStringLiteral("data/d%1/f%2.txt").arg(member / 1000, 3, 10, QLatin1Char('0')).arg(member), "x");
        made.write(g_root.path(logical));
    }
    UpdateSoftwareThread worker;
    setUpWorker(worker, logical);
    PeakGrowth growth;
    QElapsedTimer clock;
    for (auto _ : state) {
        growth.start();
        clock.start();
        const bool prepared = runOnce(worker, UpdateSoftwareThread::Prepare);
        state.counters["prepare_s"] = clock.restart() / 1000.0;
        if (!prepared || !runOnce(worker, UpdateSoftwareThread::Install))
            state.SkipWithError(qPrintable(worker.errorString()));
        state.counters["install_s"] = clock.elapsed() / 1000.0;
        growth.stop();
    }
    state.counters["peak_rss_growth_MiB"] = growth.mib();
}
BENCHMARK(BM_ManyMembers)->Unit(benchmark::kMillisecond)->Iterations(1);

// A gzip bomb of about 3 MB: 3 GiB of zeros before VERSION, on an instrument
// with 1 GiB free where packages unpack. The package check reads VERSION
// behind the zeros (check_s); the prepare run refuses the package from its
// listing before anything is unpacked or backed up (the time measured).
void BM_GzipBomb(benchmark::State& state)
{
    installation(50);
    const QString logical = QStringLiteral("/mnt/KOVA3_bomb.ko3");
    if (!QFileInfo::exists(g_root.path(logical)))
        UpdatePackage()
            .zeroFile(QStringLiteral("zeros.bin"), 3LL << 30)
            .file(QStringLiteral("VERSION"), "1.0.3")
            .file(QStringLiteral("install.sh"), "#!/bin/sh\nexit 0\n", 0755)
            .write(g_root.path(logical));
    QDir().mkpath(g_root.path("/tmp"));
    constexpr quint64 kFree = 1ULL << 30;
    platform::setSimulatedDiskSpace(g_root.path("/tmp"), {4096, 2 * kFree / 4096, kFree / 4096, kFree / 4096});
    UpdateSoftwareThread worker;
    setUpWorker(worker, logical);
    PeakGrowth growth;
    QElapsedTimer clock;
    for (auto _ : state) {
        state.PauseTiming();
        clock.start();
        if (UpdateSoftwareThread::CheckInternalVersion(logical) != QLatin1String("1.0.3"))
            state.SkipWithError("VERSION not read");
        state.counters["check_s"] = clock.elapsed() / 1000.0;
        growth.start();
        state.ResumeTiming();
        if (runOnce(worker, UpdateSoftwareThread::Prepare) || worker.error() != InvalidPackage
            || !QDir(g_root.path("/tmp")).isEmpty())
            state.SkipWithError(qPrintable(worker.errorString()));
        growth.stop();
    }
    state.counters["package_MB"] = QFileInfo(g_root.path(logical)).size() / 1e6;
    state.counters["peak_rss_growth_MiB"] = growth.mib();
}
BENCHMARK(BM_GzipBomb)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
