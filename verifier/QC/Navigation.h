#pragma once

#include <QColor>
#include <QRect>

namespace verifier {

// The QC widget's navigator: an overview box in the widget's top-left corner
// (the navigation rectangle) and in it the marker of the part of the frame
// that is shown (the position rectangle), both in widget coordinates.
class Navigation
{
public:
    void setNavigationColor(unsigned r, unsigned g, unsigned b) { m_Color.setRgb(int(r), int(g), int(b)); }
    // Resizes the box, keeping its top-left corner.
    void setNavigationSize(unsigned w, unsigned h) { m_Navigation.setSize(QSize(int(w), int(h))); }
    // The part of the frame shown, in frame pixels.
    void setDisplaySize(unsigned w, unsigned h);
    void setImageSize(unsigned w, unsigned h);
    // The marker for the frame pixel (x, y) at the widget's top-left corner.
    void setNavigationPosition(unsigned x, unsigned y);

    QColor color() const { return m_Color; }
    QRect navigationRect() const { return m_Navigation; }
    QRect positionRect() const { return m_Position; }

private:
    QColor m_Color;
    QRect m_Navigation;
    QRect m_Position;
    unsigned m_nImageWidth = ~0u;
    unsigned m_nImageHeight = ~0u;
    unsigned m_nDisplayWidth = ~0u;
    unsigned m_nDisplayHeight = ~0u;
};

}  // namespace verifier
