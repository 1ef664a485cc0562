#include "InitDlg/InitDlg.h"

#include "ui_InitDlg.h"

#include "KovaCore/KovaPaths.h"
#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QPainter>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

InitDlg::InitDlg(InitState state, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui::InitDlg)
    , m_eState(state)
{
    KLOG_ENTER;
    Q_INIT_RESOURCE(InitResources);
    ui->setupUi(this);
    setFixedSize(800, 480);
    switch (m_eState) {
    case StartupState:
        Init();
        break;
    case PowerOffState:
        QTimer::singleShot(kShutdownDelayMs, this, &InitDlg::PowerOff);
        break;
    case RestartState:
        QTimer::singleShot(kShutdownDelayMs, this, &InitDlg::Reboot);
        break;
    case WaitState:
        break;
    }
}

InitDlg::~InitDlg()
{
    delete ui;
}

void InitDlg::writeDisplayLayer(int value)
{
    const std::string path = platform::rootPath(std::string(kDisplayLayerFile));
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        KLOG << "cannot open" << kDisplayLayerFile;
        return;
    }
    std::fprintf(file, "%d", value);
    std::fclose(file);
}

void InitDlg::settleFiles()
{
    QSettings settings(platform::rootPath(QString::fromLatin1(kova::kMainIni)), QSettings::IniFormat);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        KLOG << "[Error]" << kova::kMainIni << "not settled, status" << settings.status();
    ::sync();
}

void InitDlg::end(int code)
{
    settleFiles();
    KLOG_VALUE("exit", code);
    std::exit(code);
}

void InitDlg::done(int result)
{
    if (m_eState != StartupState) {
        KLOG << "the shutting-down splash cannot be closed";
        return;
    }
    QDialog::done(result);
}

void InitDlg::Init()
{
    KLOG_ENTER;
    writeDisplayLayer(0);
}

void InitDlg::PowerOff()
{
    KLOG_ENTER;
    writeDisplayLayer(2);
    const platform::CommandResult result =
        platform::CommandRunner::run(QStringLiteral("systemctl"), {QStringLiteral("poweroff")}, kPowerOffWaitMs);
    KLOG_VALUE("systemctl poweroff", result.succeeded() ? "started" : "failed or still running");
    end(kExitPowerOff);
}

void InitDlg::Reboot()
{
    KLOG_ENTER;
    writeDisplayLayer(2);
    end(kExitRestart);
}

void InitDlg::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    const QPixmap picture(m_eState == StartupState ? QStringLiteral(":/Common/intro.png")
                                                   : QStringLiteral(":/Common/Shutting down.png"));
    QPainter painter(this);
    painter.drawPixmap(QRect(0, 0, 800, 480), picture);
}
