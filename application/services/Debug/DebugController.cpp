#include "Debug/DebugController.h"

#include "ui_DebugController.h"

DebugController::DebugController(QWidget* parent)
    : DebugPanel(parent)
    , ui(new Ui::DebugController)
{
    ui->setupUi(this);
    setTextArea(ui->PLAIN_DEBUG_CONTROLLER);
}

DebugController::~DebugController()
{
    delete ui;
}
