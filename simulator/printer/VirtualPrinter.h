#pragma once

#include <QString>
#include <QStringList>

namespace sim {

// The label printer of a virtual instrument root. Attaching puts the marker
// file "/opt/KOVA3/printer/ZD411" and a USB line naming the maker into the
// root's `lsusb` stand-in; the print queue is a folder in which every job
// becomes one PDF file.
class VirtualPrinter
{
public:
    static constexpr const char* kQueue = "/var/spool/kova3-labels";
    static constexpr const char* kMarker = "/opt/KOVA3/printer/ZD411";
    static constexpr const char* kDefaultMaker = "Zebra Technologies ZTC ZD411-203dpi ZPL";

    explicit VirtualPrinter(const QString& root);

    // The queue folder and an `lsusb` stand-in listing only the root hub.
    bool install();
    // The marker appears and `lsusb` lists a printer of `maker`.
    bool attach(const QString& maker = QString::fromLatin1(kDefaultMaker));
    // The marker goes; `lsusb` lists the root hub alone.
    bool detach();
    // The queue folder goes: the system then lists no printer.
    bool uninstall();

    // The job files printed so far, oldest first (physical paths).
    QStringList jobs() const;

private:
    QString path(const char* logical) const;
    bool writeDeviceList(const QString& printerLine);

    QString m_root;
};

// Installs what the report needs from the installation: the TrueType font
// "/opt/KOVA3/fonts/Arial.ttf" (a metric-compatible free font) and the logo
// "/opt/KOVA3/conf/Logo/icon_default.png".
bool installReportResources(const QString& root);

}  // namespace sim
