#include "Settings/IQOQDlg.h"

#include "ui_IQOQDlg.h"

#include "KovaCore/Fonts.h"
#include "KovaCore/GlobalIni.h"
#include "Settings/SettingsLook.h"

IQOQDlg::IQOQDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::IQOQDlg)
{
    ui->setupUi(this);
    move(400 - width() / 2, 240 - height() / 2);
    ui->LABEL_USB_INTERFACE->hide();
    ui->LABEL_USB_INTERFACE_INFO->hide();
    setFont();
    initialize();
}

IQOQDlg::~IQOQDlg()
{
    delete ui;
}

void IQOQDlg::setFont()
{
    setFonts({ui->LABEL_CPU_MANUFACTURER, ui->LABEL_CPU_MANUFACTURER_INFO, ui->LABEL_CPU_TYPE,
              ui->LABEL_CPU_TYPE_INFO, ui->LABEL_RAM_SIZE, ui->LABEL_RAM_SIZE_INFO, ui->LABEL_SCREEN_RESOLUTION,
              ui->LABEL_SCREEN_RESOLUTION_INFO, ui->LABEL_OPERATING_SYSTEM, ui->LABEL_OPERATING_SYSTEM_INFO,
              ui->LABEL_SOFTWARE_VERSION, ui->LABEL_SOFTWARE_VERSION_INFO},
             notoSans(20, QFont::Normal));
    ui->BUTTON_OK->setFont(notoSans(22, 63));
}

void IQOQDlg::initialize()
{
    const IQOQ_s& system = global_ini()->IQOQ;
    ui->LABEL_CPU_MANUFACTURER_INFO->setText(system.CPU_manufacturer);
    ui->LABEL_CPU_TYPE_INFO->setText(system.CPU_type);
    ui->LABEL_RAM_SIZE_INFO->setText(system.RAM_size);
    ui->LABEL_SCREEN_RESOLUTION_INFO->setText(system.Screen_resolution);
    ui->LABEL_OPERATING_SYSTEM_INFO->setText(system.OS_name);
    ui->LABEL_SOFTWARE_VERSION_INFO->setText(system.SW_version);
}

void IQOQDlg::on_BUTTON_OK_clicked()
{
    accept();
}
