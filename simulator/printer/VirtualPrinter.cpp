#include "VirtualPrinter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sim {
namespace {

const char* const kDeviceList = "/var/lib/kova-sim/lsusb.txt";
const char* const kRootHub = "Bus 001 Device 001: ID 1d6b:0002 Linux Foundation 2.0 root hub\n";

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool copyReplacing(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    return QFile::copy(from, to);
}

}  // namespace

VirtualPrinter::VirtualPrinter(const QString& root) : m_root(root) {}

QString VirtualPrinter::path(const char* logical) const
{
    return m_root + QString::fromLatin1(logical);
}

bool VirtualPrinter::writeDeviceList(const QString& printerLine)
{
    QByteArray list = kRootHub;
    if (!printerLine.isEmpty())
        list += printerLine.toUtf8() + '\n';
    return writeFile(path(kDeviceList), list);
}

bool VirtualPrinter::install()
{
    const QString lsusb = path("/usr/bin/lsusb");
    const QByteArray script = "#!/bin/sh\ncat \"$(dirname \"$0\")/../..";
    if (!QDir().mkpath(path(kQueue)) || !QDir().mkpath(path("/opt/KOVA3/printer")) ||
        !writeFile(lsusb, script + kDeviceList + "\"\n") || !writeDeviceList(QString()))
        return false;
    return QFile::setPermissions(lsusb, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther);
}

bool VirtualPrinter::attach(const QString& maker)
{
    return writeDeviceList(QStringLiteral("Bus 001 Device 004: ID 0a5f:0164 %1").arg(maker)) &&
           writeFile(path(kMarker), QByteArray());
}

bool VirtualPrinter::detach()
{
    return writeDeviceList(QString()) && (!QFile::exists(path(kMarker)) || QFile::remove(path(kMarker)));
}

bool VirtualPrinter::uninstall()
{
    return QDir(path(kQueue)).removeRecursively();
}

QStringList VirtualPrinter::jobs() const
{
    const QDir queue(path(kQueue));
    QStringList files;
    for (const QString& name : queue.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
        files << queue.filePath(name);
    return files;
}

bool installReportResources(const QString& root)
{
    return copyReplacing(QStringLiteral(KOVA_REPORT_FONT), root + QStringLiteral("/opt/KOVA3/fonts/Arial.ttf")) &&
           copyReplacing(QStringLiteral(KOVA_PRINTER_SIM_DIR "/icon_default.png"),
                         root + QStringLiteral("/opt/KOVA3/conf/Logo/icon_default.png"));
}

}  // namespace sim
