#pragma once

#include <QList>
#include <QSize>
#include <QString>

#include <string>

class QWidget;

// A text that a label or button shows wider than the room its box leaves it
// (and, for a word-wrapped label, wrapped lines that run past its bottom).
struct ClippedText
{
    QString widget;  // the object names from the top widget down, "/"-joined
    QString text;
    QSize needed;    // what the text takes at the widget's font
    QSize room;      // what the box leaves for it (frame, padding, indicator and icon off)
};

// Every label, push button, radio button and check box under `top` (itself
// included, shown or hidden) whose text does not fit: measured at the font
// and style the widget has when this is called, so call it on a polished,
// painted form. A plain label measures its lines, a rich-text one its
// document; a word-wrapped label its wrapped lines, which must fit in both
// directions.
QList<ClippedText> clippedTexts(QWidget* top);

// Whether the font family is installed itself, not only a stand-in for it:
// the widths measured are those of the family the forms name.
bool fontInstalled(const QString& family);

// One line per clipped text, for a test's failure message.
std::string describe(const QList<ClippedText>& clipped);

// Shows the form at its own geometry on the 800 × 480 screen, paints it once
// (so texts set while painting are in place) and returns clippedTexts().
QList<ClippedText> renderedClippedTexts(QWidget* form);
