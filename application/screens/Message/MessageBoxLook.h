#pragma once

class QDialog;
class QLabel;
class QPushButton;

// The look both message boxes share: frameless, on top, the box's own
// background drawn by its style sheet, "Noto Sans" in pixel sizes. The
// saving box shares it and has no CANCEL (null).
void applyMessageBoxLook(QDialog* box, QLabel* label, QPushButton* ok, QPushButton* cancel);
