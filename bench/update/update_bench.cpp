// Software update benchmarks under a temporary instrument root, with real
// GNU tar: reading a package's VERSION and listing it (50 and 200 MB of
// incompressible payload, as compiled programs nearly are), writing the
// verified backup of a 50 MB installation, the prepare run's listing and
// unpacking of a 50 MB package, and putting a 50 MB installation back from
// its backup.
#include "SoftwareUpdate/PackageListing.h"
#include "SoftwareUpdate/UpdateSoftwareThread.h"
#include "TempRoot.h"
#include "UpdateInstallation.h"
#include "UpdatePackage.h"
#include "platform/CommandRunner.h"
#include "platform/Root.h"

#include <benchmark/benchmark.h>

#include <QDir>

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
        const platform::CommandResult listing =
            platform::CommandRunner::run("tar", PackageListing::tarArguments(path), UpdateSoftwareThread::kTarTimeLimitMs);
        QList<PackageListing::Member> members;
        if (!listing.succeeded() || !PackageListing::parse(listing.standardOutput, members, nullptr)
            || !PackageListing::refusal(members).isEmpty())
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

}  // namespace
