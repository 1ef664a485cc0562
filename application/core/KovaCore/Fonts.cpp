#include "KovaCore/Fonts.h"

QFont notoSans(int pixelSize, int weight)
{
    QFont font(QStringLiteral("Noto Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}
