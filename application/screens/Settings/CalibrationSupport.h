#pragma once

#include <QColor>

#include <functional>

class QWidget;

// What the update and calibration page and its dialogs share.

// Moves the focus stage to theApp's focus centre without waiting for the move
// (the link's reply handler keeps the position). At the centre already, the
// position read becomes theApp's current position. A position the
// microcontroller could not tell (-1) moves nothing.
void moveStageToCentre();

// Opens theApp's camera at 1280 × 960 with CUR_CAL_INI: through the home
// screen's openCamera (its retries, and its message when there is no camera),
// or through the opener a test sets.
void openCalibrationCamera();
std::function<void()>& calibrationCameraOpener();

// The progress bar of the calibration dialogs and the software update
// dialog, 300 × 10 at (100, 242): an outline (opaque white unless `outline`
// says otherwise), white over the first `filled` pixels, faint white after
// them. Call from the dialog's paintEvent.
inline constexpr int kCalibrationProgressWidth = 300;
void drawCalibrationProgress(QWidget* dialog, int filled, const QColor& outline = Qt::white);
