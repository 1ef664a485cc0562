#pragma once

class QDialog;
class QLabel;
class QPushButton;

// The look both message boxes share: frameless, on top, the box's own
// background drawn by its style sheet, "Noto Sans" in pixel sizes. The
// saving box shares it and has no CANCEL (null).
void applyMessageBoxLook(QDialog* box, QLabel* label, QPushButton* ok, QPushButton* cancel);

// Button layouts of the message boxes (shared with the software-update dialog).
enum MessageButtonVisibility {
    MESSAGE_BUTTON_OK_CANCEL = 0,  // OK and CANCEL side by side
    MESSAGE_BUTTON_OK = 1,         // OK alone, centred
    MESSAGE_BUTTON_CANCEL = 2,     // CANCEL alone, centred
    MESSAGE_BUTTON_NONE = 3,       // no button
    MESSAGE_BUTTON_SHOW_BOTH = 4,  // both shown where they are
};

// Where a button alone stands: the message box's at x 174, the software-update
// dialog's at 173.
inline constexpr int kMessageBoxAloneX = 174;
inline constexpr int kUpdateDialogAloneX = 173;

// Places and shows a box's two buttons by the layout, a button alone at x `aloneX`.
void placeMessageButtons(QPushButton* ok, QPushButton* cancel, MessageButtonVisibility visibility, int aloneX);
