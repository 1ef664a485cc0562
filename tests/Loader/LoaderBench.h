#pragma once

#include "dialog.h"

#include "LogCapture.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include <QByteArray>
#include <QString>
#include <QTest>

#include <functional>
#include <memory>

class QFrame;
class QPushButton;

// A root with a stand-in for every command the launcher runs (mount,
// umount, mountpoint, readelf, pidof, shutdown, systemctl), an empty
// "/opt/KOVA3/bin" and the launcher's log captured. The stand-ins add their
// command line to "/run/<name>.calls"; readelf prints "/run/readelf.out" and
// pidof "/run/pidof.out".
struct LoaderBench
{
    static constexpr char kSettings[] = "/opt/KOVA3/conf/KOVA3.ini";
    static constexpr char kApp[] = "/opt/KOVA3/bin/KOVA3.app";

    LoaderBench();
    ~LoaderBench();

    // The dialog with the service buttons enabled at once (no 500 ms wait),
    // on `nowMs` as its clock when one is given; after the main program's
    // power-off the window shows after `powerOffGraceMs` (at once by default).
    static std::unique_ptr<LoaderDlg> makeDialog(int buttonsEnableMs = 0, std::function<qint64()> nowMs = {},
                                                 int powerOffGraceMs = 0);
    static QPushButton* button(LoaderDlg& dialog, const char* name);
    static QFrame* frame(LoaderDlg& dialog, const char* name);
    static QString labelText(LoaderDlg& dialog, const char* name);

    void writeSettings(const QByteArray& content) const { root.writeFile(kSettings, content); }
    QString setting(const QString& key) const;
    // Installs "/opt/KOVA3/bin/KOVA3.app" as a script with `body`.
    void installApp(const QByteArray& body) const { root.writeScript(kApp, body); }

    // Waits until `condition` holds, spinning the event loop.
    template <typename Condition>
    static bool waitFor(Condition condition)
    {
        return QTest::qWaitFor(condition, 30000);
    }

    TempRoot root;
    kovasim::UsbSticks sticks{root.root()};
    LogCapture log;
    QString previousFolder;
};
