#include "QC/Navigation.h"

namespace verifier {

void Navigation::setDisplaySize(unsigned w, unsigned h)
{
    m_nDisplayWidth = w;
    m_nDisplayHeight = h;
}

void Navigation::setImageSize(unsigned w, unsigned h)
{
    m_nImageWidth = w;
    m_nImageHeight = h;
}

void Navigation::setNavigationPosition(unsigned x, unsigned y)
{
    const unsigned w = unsigned(m_Navigation.width());
    const unsigned h = unsigned(m_Navigation.height());
    const unsigned left = x * w / m_nImageWidth;
    const unsigned top = y * h / m_nImageHeight;
    // The hidden share of the frame, signed: a display larger than the frame hides nothing.
    const int hiddenWidth = int(w) * (int(m_nImageWidth) - int(m_nDisplayWidth)) / int(m_nImageWidth);
    const int hiddenHeight = int(h) * (int(m_nImageHeight) - int(m_nDisplayHeight)) / int(m_nImageHeight);
    m_Position = QRect(QPoint(int(left), int(top)),
                       QPoint(int(left + w) - hiddenWidth - 1, int(top + h) - hiddenHeight - 1));
}

}  // namespace verifier
