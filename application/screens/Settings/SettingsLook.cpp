#include "Settings/SettingsLook.h"

#include <QAbstractButton>
#include <QFont>

void setFonts(std::initializer_list<QWidget*> widgets, const QFont& font)
{
    for (QWidget* widget : widgets)
        widget->setFont(font);
}

void setOnOff(QAbstractButton* button, bool on)
{
    button->setChecked(on);
    button->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
}
