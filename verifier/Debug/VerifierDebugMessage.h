#pragma once

#include "Debug/DebugPanel.h"

namespace Ui {
class VerifierDebugMessage;
}

namespace verifier {

// The verifier's message panel: the application's debug text panel over the
// whole 640 × 480 view area (object name "DebugMessage", editable text area
// PLAIN_DEBUG_MESSAGE, Clear at 560, 5).
class DebugMessage : public DebugPanel
{
    Q_OBJECT

public:
    explicit DebugMessage(QWidget* parent = nullptr);
    ~DebugMessage() override;

private:
    Ui::VerifierDebugMessage* ui;
};

}  // namespace verifier
