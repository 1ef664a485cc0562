#include "Debug/DebugMessage.h"

#include "ui_DebugMessage.h"

DebugMessage::DebugMessage(QWidget* parent)
    : DebugPanel(parent)
    , ui(new Ui::DebugMessage)
{
    ui->setupUi(this);
    setTextArea(ui->PLAIN_DEBUG_MESSAGE);
}

DebugMessage::~DebugMessage()
{
    delete ui;
}
