#pragma once

#include <QFont>

// The instrument's screens are laid out for "Noto Sans" in pixel sizes.
QFont notoSans(int pixelSize, int weight);
