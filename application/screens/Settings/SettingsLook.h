#pragma once

#include <initializer_list>

class QAbstractButton;
class QFont;
class QWidget;

// Gives each widget the font.
void setFonts(std::initializer_list<QWidget*> widgets, const QFont& font);

// An ON/OFF switch of the settings pages: checked with the text "ON", or
// unchecked with "OFF".
void setOnOff(QAbstractButton* button, bool on);
