#include "ClippedText.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
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

bool measureLabel(const QLabel* label, QSize& needed, QSize& room)
{
    if (label->text().isEmpty())
        return false;
    const QRect area = labelRoom(label);
    room = area.size();
    if (isRichText(label)) {
        needed = richTextSize(label, area.width());
    } else if (label->wordWrap()) {
        needed = label->fontMetrics()
                     .boundingRect(QRect(0, 0, area.width(), kUnbounded), Qt::TextWordWrap | label->alignment(),
                                   label->text())
                     .size();
    } else {
        needed = label->fontMetrics().size(0, label->text());
    }
    const bool wide = needed.width() > room.width();
    const bool tall = label->wordWrap() && needed.height() > room.height();
    return wide || tall;
}

bool measureButton(const QAbstractButton* button, QSize& needed, QSize& room)
{
    if (button->text().isEmpty())
        return false;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    option.state |= button->isChecked() ? QStyle::State_On : QStyle::State_Off;
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QRadioButton*>(button))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<const QCheckBox*>(button))
        contents = QStyle::SE_CheckBoxContents;
    else if (!qobject_cast<const QPushButton*>(button))
        return false;
    QRect area = button->style()->subElementRect(contents, &option, button);
    if (contents == QStyle::SE_PushButtonContents && !option.icon.isNull())
        area.setWidth(area.width() - option.iconSize.width() - 4);  // the icon and its gap to the text
    room = area.size();
    needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    return needed.width() > room.width();
}

}  // namespace

QList<ClippedText> clippedTexts(QWidget* top)
{
    QList<QWidget*> widgets{top};
    widgets += top->findChildren<QWidget*>();
    QList<ClippedText> clipped;
    for (QWidget* widget : widgets) {
        widget->ensurePolished();
        QSize needed;
        QSize room;
        bool clips = false;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            clips = measureLabel(label, needed, room);
            text = label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            clips = measureButton(button, needed, room);
            text = button->text();
        }
        if (clips)
            clipped.append({pathOf(widget, top), text, needed, room});
    }
    return clipped;
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
