#pragma once

#include <QPainter>
#include <QRect>

namespace verifier {

// Outlines the pixels from rect's top-left to its bottom-right, both
// included (a plain drawRect strokes one pixel more to the right and below).
inline void outline(QPainter& painter, const QRect& rect)
{
    painter.drawRect(rect.x(), rect.y(), rect.width() - 1, rect.height() - 1);
}

}  // namespace verifier
