#pragma once

#include "TempRoot.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// One run of the probe program under a test's instrument root.
struct ProbeRun
{
    int exitCode = -1;
    bool exitedNormally = false;
    QByteArray output;
    qint64 elapsedMs = 0;
};

inline ProbeRun runProbe(const TempRoot& root, const QStringList& arguments)
{
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOVA3_ROOT"), root.root());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    probe.start(QStringLiteral(HOME_PROBE), arguments);
    ProbeRun run;
    if (!probe.waitForFinished(60000)) {
        probe.kill();
        probe.waitForFinished();
    }
    run.elapsedMs = clock.elapsed();
    run.exitedNormally = probe.exitStatus() == QProcess::NormalExit;
    run.exitCode = probe.exitCode();
    run.output = probe.readAllStandardOutput();
    return run;
}
