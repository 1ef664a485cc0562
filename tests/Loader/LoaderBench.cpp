#include "LoaderBench.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

LoaderBench::LoaderBench()
    : previousFolder(QDir::currentPath())
{
    EXPECT_TRUE(sticks.installStandIns());
    const QByteArray record = "echo \"$(basename \"$0\") $*\" >> \"$KOVA3_ROOT/run/$(basename \"$0\").calls\"\n";
    for (const char* command : {"/bin/shutdown", "/bin/systemctl"})
        root.writeScript(command, record);
    root.writeScript("/usr/bin/readelf", record + "cat \"$KOVA3_ROOT/run/readelf.out\" 2>/dev/null\nexit 0\n");
    root.writeScript("/usr/bin/pidof", record + "cat \"$KOVA3_ROOT/run/pidof.out\" 2>/dev/null\nexit 0\n");
    QDir().mkpath(root.path("/opt/KOVA3/bin"));
}

LoaderBench::~LoaderBench()
{
    // The launcher makes its bin folder the current one.
    QDir::setCurrent(previousFolder);
}

std::unique_ptr<LoaderDlg> LoaderBench::makeDialog(int buttonsEnableMs, std::function<qint64()> nowMs,
                                                   int powerOffGraceMs)
{
    LoaderTiming timing;
    timing.buttonsEnableMs = buttonsEnableMs;
    timing.nowMs = std::move(nowMs);
    timing.powerOffGraceMs = powerOffGraceMs;
    return std::make_unique<LoaderDlg>(nullptr, timing);
}

QPushButton* LoaderBench::button(LoaderDlg& dialog, const char* name)
{
    auto* found = dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QFrame* LoaderBench::frame(LoaderDlg& dialog, const char* name)
{
    auto* found = dialog.findChild<QFrame*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

QString LoaderBench::labelText(LoaderDlg& dialog, const char* name)
{
    auto* found = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found ? found->text() : QString();
}

QString LoaderBench::setting(const QString& key) const
{
    return QSettings(root.path(kSettings), QSettings::IniFormat).value(key).toString();
}
