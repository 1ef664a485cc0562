#pragma once

#include <QString>
#include <QStringList>

// The numbered messages of the system: text, buttons and error code of every
// number. Shared by the message boxes so each text lives once.
namespace MessageCatalogue {

enum class Buttons {
    OkCancel,   // "OK" and "CANCEL" side by side
    Single,     // the OK button alone, with the entry's caption
    None,       // no button; the caller closes the box
    Unchanged,  // the buttons stay as they are
};

struct Entry
{
    QString text;     // rich text with the placeholders "%1" to "%4"
    Buttons buttons;
    QString caption;  // caption of the single button
};

constexpr int kFirst = 0;
constexpr int kLast = 56;

// The entry of a number, or nullptr for numbers without a text (50 to 52,
// anything outside 0 to 56).
const Entry* entry(int type);

// The error code shown for a number: at least four digits, "0049".
QString errorCode(int type);

// The text of a number with "%1" replaced by its error code and "%2".."%4"
// by `args` (plain text: HTML-escaped, each line feed a line break; inserted
// in one pass so an argument is never re-read as a placeholder). Empty for
// numbers without a text.
QString text(int type, const QStringList& args = {});

// The text of a box like the error message `type`'s, for a failure no
// number names: its title with its error code and the breaks after it, then
// `lines` (plain text, as the arguments of text()), one a line.
QString errorText(int type, const QStringList& lines);

}  // namespace MessageCatalogue
