#pragma once

#include <QFont>

namespace loader {

// The launcher's screen font: Noto Sans at a pixel size and Qt weight.
inline QFont notoSans(int pixelSize, int weight = QFont::Normal)
{
    QFont font(QStringLiteral("Noto Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

}  // namespace loader
