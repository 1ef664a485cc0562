#pragma once

#include "FolderSnapshot.h"
#include "SoftwareUpdate/UpdateSoftwareThread.h"
#include "TempRoot.h"
#include "UpdatePackage.h"

#include <QDir>
#include <QFile>
#include <QString>

// The software update tests' instrument (for tests that link the work
// layer): an installation in /opt/KOVA3/bin, running version 1.0.2, and
// packages on the stick at /mnt.
namespace updatetest {

inline const QString kInstall = QStringLiteral("/opt/KOVA3/bin");
inline const QString kRestore = QStringLiteral("/opt/KOVA3/restore");
inline const QString kPackage = QStringLiteral("/mnt/KOVA3_1_0_3.ko3");
inline const QString kRunning = QStringLiteral("1.0.2");
inline const QString kBackupName = QStringLiteral("KOVA3_restore_1_0_2.ko3");

// An installation with programs, a library folder and a link, and the root's /tmp.
inline void layOutInstallation(const TempRoot& root)
{
    const auto program = [&](const QString& name, const QByteArray& content) {
        root.writeScript(kInstall + QLatin1Char('/') + name, content);
        QFile::setPermissions(root.path(kInstall + QLatin1Char('/') + name),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                  | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                  | QFileDevice::ExeOther);
    };
    program(QStringLiteral("KOVA3.app"), "echo version 1.0.2\n");
    program(QStringLiteral("Verifier"), "echo verifier\n");
    program(QStringLiteral("PanelTrim"), "echo touch\n");
    root.writeFile(kInstall + QStringLiteral("/lib/libkova.so"), UpdatePackage::noise(4096));
    QFile::link(QStringLiteral("KOVA3.app"), root.path(kInstall + QStringLiteral("/current")));
    QDir().mkpath(root.path(QStringLiteral("/tmp")));
}

// The worker as the update dialog sets it up, with the stick's package, and
// no pause after unpacking.
inline void setUpWorker(UpdateSoftwareThread& worker)
{
    worker.setUnpackPause(0);
    worker.setBackupOn(true);
    worker.setBackupDirPath(kRestore);
    worker.setBackupFileName(UpdateSoftwareThread::backupFileName(kRunning));
    worker.setUpdateFilePath(kPackage);
    worker.setUpdateDirPath(kInstall);
}

}  // namespace updatetest
