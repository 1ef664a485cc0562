#pragma once

#include "Debug/DebugPanel.h"

namespace Ui {
class DebugController;
}

// A scrolling text panel for controller traffic (read-only).
class DebugController : public DebugPanel
{
    Q_OBJECT

public:
    explicit DebugController(QWidget* parent = nullptr);
    ~DebugController() override;

private:
    Ui::DebugController* ui;
};
