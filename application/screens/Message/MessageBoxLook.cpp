#include "Message/MessageBoxLook.h"

#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace {

QFont notoSans(int pixelSize, int weight)
{
    QFont font(QStringLiteral("Noto Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

}  // namespace

void applyMessageBoxLook(QDialog* box, QLabel* label, QPushButton* ok, QPushButton* cancel)
{
    box->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                        Qt::BypassWindowManagerHint);
    // A form places only its children; the box itself stands at 156, 90 of the screen.
    box->setGeometry(156, 90, 500, 300);
    box->setAutoFillBackground(false);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, QColor(0, 0, 0, 0));
    box->setPalette(palette);

    label->setFont(notoSans(22, QFont::Normal));
    ok->setFont(notoSans(22, 63));
    if (cancel)
        cancel->setFont(notoSans(22, 63));
}

void placeMessageButtons(QPushButton* ok, QPushButton* cancel, MessageButtonVisibility visibility, int aloneX)
{
    switch (visibility) {
    case MESSAGE_BUTTON_OK_CANCEL:
        ok->setGeometry(88, 214, 150, 46);
        cancel->setGeometry(262, 214, 150, 46);
        ok->show();
        cancel->show();
        break;
    case MESSAGE_BUTTON_OK:
        ok->setGeometry(aloneX, 214, 150, 46);
        ok->show();
        cancel->hide();
        break;
    case MESSAGE_BUTTON_CANCEL:
        cancel->setGeometry(aloneX, 214, 150, 46);
        cancel->show();
        ok->hide();
        break;
    case MESSAGE_BUTTON_NONE:
        ok->hide();
        cancel->hide();
        break;
    case MESSAGE_BUTTON_SHOW_BOTH:
        ok->show();
        cancel->show();
        break;
    }
}
