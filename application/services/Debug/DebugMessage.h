#pragma once

#include "Debug/DebugPanel.h"

namespace Ui {
class DebugMessage;
}

// A scrolling text panel for the autofocus trace.
class DebugMessage : public DebugPanel
{
    Q_OBJECT

public:
    explicit DebugMessage(QWidget* parent = nullptr);
    ~DebugMessage() override;

private:
    Ui::DebugMessage* ui;
};
