#include "ClippedText.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QTextOption>

#include <climits>
#include <cmath>

namespace {

constexpr int kUnbounded = INT_MAX / 4;

QString pathOf(const QWidget* widget, const QWidget* top)
{
    QStringList names;
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        names.prepend(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
        if (w == top)
            break;
    }
    return names.join(QLatin1Char('/'));
}

// The part of the widget's box that its ancestors up to `top` leave on
// screen, shown or not, in its own coordinates; empty for a widget placed
// outside them, which is never seen.
QRect onScreen(const QWidget* widget, const QWidget* top)
{
    QRect box = widget->rect();
    QPoint offset;
    for (const QWidget* w = widget; w != top && w->parentWidget(); w = w->parentWidget()) {
        offset += w->pos();
        box &= w->parentWidget()->rect().translated(-offset);
    }
    return box;
}

// The label's text area: its contents less margin and indent, as the label
// itself lays its text out.
QRect labelRoom(const QLabel* label)
{
    QRect room = label->contentsRect();
    const int margin = label->margin();
    room.adjust(margin, margin, -margin, -margin);
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin;
    if (indent > 0) {
        const Qt::Alignment align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
        if (align & Qt::AlignLeft)
            room.setLeft(room.left() + indent);
        if (align & Qt::AlignRight)
            room.setRight(room.right() - indent);
        if (align & Qt::AlignTop)
            room.setTop(room.top() + indent);
        if (align & Qt::AlignBottom)
            room.setBottom(room.bottom() - indent);
    }
    return room;
}

QSize richTextSize(const QLabel* label, int wrapWidth)
{
    QTextDocument doc;
    doc.setDefaultFont(label->font());
    doc.setDocumentMargin(0);
    QTextOption option(label->alignment());
    option.setWrapMode(label->wordWrap() ? QTextOption::WordWrap : QTextOption::ManualWrap);
    doc.setDefaultTextOption(option);
    doc.setHtml(label->text());
    doc.setTextWidth(label->wordWrap() ? wrapWidth : -1);
    return QSize(static_cast<int>(std::ceil(doc.idealWidth())),
                 static_cast<int>(std::ceil(doc.documentLayout()->documentSize().height())));
}

bool isRichText(const QLabel* label)
{
    return label->textFormat() == Qt::RichText
           || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
}

// What a text takes and the room its widget leaves it.
struct Measure
{
    QSize needed;
    QSize room;
    bool checkHeight = false;  // wrapped lines must fit downwards too
};

bool measureLabel(const QLabel* label, Measure& m)
{
    if (label->text().isEmpty())
        return false;
    const QRect area = labelRoom(label);
    m.room = area.size();
    m.checkHeight = label->wordWrap();
    if (isRichText(label)) {
        m.needed = richTextSize(label, area.width());
    } else if (label->wordWrap()) {
        m.needed = label->fontMetrics()
                       .boundingRect(QRect(0, 0, area.width(), kUnbounded), Qt::TextWordWrap | label->alignment(),
                                     label->text())
                       .size();
    } else {
        m.needed = label->fontMetrics().size(0, label->text());
    }
    return true;
}

bool measureButton(const QAbstractButton* button, Measure& m)
{
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QRadioButton*>(button))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<const QCheckBox*>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (!qobject_cast<const QPushButton*>(button))
        return false;
    if (button->text().isEmpty())
        return false;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    option.state |= button->isChecked() ? QStyle::State_On : QStyle::State_Off;
    QRect area = button->style()->subElementRect(contents, &option, button);
    if (contents == QStyle::SE_PushButtonContents && !option.icon.isNull())
        area.setWidth(area.width() - option.iconSize.width() - 4);  // the icon and its gap to the text
    m.room = area.size();
    m.needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    return true;
}

bool measure(const QWidget* widget, Measure& m, QString& text)
{
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        text = label->text();
        return measureLabel(label, m);
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        text = button->text();
        return measureButton(button, m);
    }
    return false;
}

}  // namespace

QList<ClippedText> clippedTexts(QWidget* top)
{
    QList<QWidget*> widgets{top};
    widgets += top->findChildren<QWidget*>();
    QList<ClippedText> clipped;
    for (QWidget* widget : widgets) {
        widget->ensurePolished();
        Measure m;
        QString text;
        if (!measure(widget, m, text))
            continue;
        const QRect seen = onScreen(widget, top);
        if (seen.isEmpty())
            continue;
        // A box its parent cuts leaves the text only what shows of it.
        const QSize room = m.room.boundedTo(seen.size());
        if (m.needed.width() > room.width() || (m.checkHeight && m.needed.height() > room.height()))
            clipped.append({pathOf(widget, top), text, m.needed, room});
    }
    return clipped;
}

bool fontInstalled(const QString& family)
{
    return QFontDatabase().families().contains(family);
}

std::string describe(const QList<ClippedText>& clipped)
{
    QString lines;
    for (const ClippedText& c : clipped)
        lines += QStringLiteral("  %1 \"%2\": needs %3 x %4, has %5 x %6\n")
                     .arg(c.widget, QString(c.text).replace(QLatin1Char('\n'), QLatin1String("\\n")))
                     .arg(c.needed.width())
                     .arg(c.needed.height())
                     .arg(c.room.width())
                     .arg(c.room.height());
    return lines.toStdString();
}

QList<ClippedText> renderedClippedTexts(QWidget* form)
{
    form->show();
    form->grab();
    return clippedTexts(form);
}
