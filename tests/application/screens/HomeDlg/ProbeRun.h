#pragma once

#include "TempRoot.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// One run of a probe program (one that takes a road out of the application,
// which ends its process) under a test's instrument root.
struct ProbeRun
{
    int exitCode = -1;
    bool exitedNormally = false;
    QByteArray output;
    qint64 elapsedMs = 0;
};

inline ProbeRun runProbe(const QString& program, const TempRoot& root, const QStringList& arguments)
{
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOVA3_ROOT"), root.root());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    probe.start(program, arguments);
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
