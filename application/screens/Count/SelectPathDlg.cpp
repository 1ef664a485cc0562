#include "Count/SelectPathDlg.h"

#include "KovaCore/KovaCoreApp.h"
#include "MediaMonitor/MediaMonitor.h"
#include "ui_SelectPathDlg.h"

SelectPathDlg::SelectPathDlg(QWidget* parent)
    : QDialog(parent), ui(new Ui::SelectPathDlg)
{
    ui->setupUi(this);
    connect(&m_listTimer, &QTimer::timeout, this, &SelectPathDlg::slotListUpdate);
    slotListUpdate();
    m_listTimer.start(kListIntervalMs);
}

SelectPathDlg::~SelectPathDlg()
{
    delete ui;
}

void SelectPathDlg::slotListUpdate()
{
    ui->LIST_PATH->clear();
    ui->LIST_PATH->addItem(QStringLiteral("Instrument Storage"));
    if (theApp.m_pMediaMonitor && theApp.m_pMediaMonitor->searchUSB())
        ui->LIST_PATH->addItem(QStringLiteral("USB Drive"));
}

void SelectPathDlg::on_BUTTON_APPLY_pressed()
{
    if (const QListWidgetItem* item = ui->LIST_PATH->currentItem())
        emit signal_set_path(item->text());
    accept();
}

void SelectPathDlg::on_BUTTON_CANCEL_pressed()
{
    accept();
}
