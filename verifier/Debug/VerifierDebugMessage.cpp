#include "Debug/VerifierDebugMessage.h"

#include "ui_VerifierDebugMessage.h"

namespace verifier {

DebugMessage::DebugMessage(QWidget* parent)
    : DebugPanel(parent)
    , ui(new Ui::VerifierDebugMessage)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("DebugMessage"));
    setTextArea(ui->PLAIN_DEBUG_MESSAGE);
}

DebugMessage::~DebugMessage()
{
    delete ui;
}

}  // namespace verifier
