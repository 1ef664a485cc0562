#include "Message/MessageCatalogue.h"

#include <QHash>

namespace MessageCatalogue {
namespace {

const QString kError = QStringLiteral("Error (Code : %1)");
const QString kSupportMail = QStringLiteral("support@kova3.example");

// The title in bold, `breaks` line breaks, then the lines, in one paragraph.
QString paragraph(const QString& title, const QStringList& lines, int breaks = 2)
{
    QString body = lines.join(QStringLiteral("<br/>"));
    if (!title.isEmpty())
        body = QStringLiteral("<b>%1</b>").arg(title) + QStringLiteral("<br/>").repeated(breaks) + body;
    return QStringLiteral("<p>") + body + QStringLiteral("</p>");
}

// Plain text in rich text: escaped, and its line feeds are line breaks.
QString asRichText(const QString& plainText)
{
    return plainText.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br/>"));
}

QString plain(const QStringList& lines)
{
    return lines.join(QStringLiteral("<br/>"));
}

Entry ok(const QString& text, const QString& caption = QStringLiteral("OK"))
{
    return {text, Buttons::Single, caption};
}

Entry okCancel(const QString& text)
{
    return {text, Buttons::OkCancel, QString()};
}

QHash<int, Entry> build()
{
    const QString warning = QStringLiteral("Warning");
    const QString info = QStringLiteral("Information");
    QHash<int, Entry> c;
    c[0] = okCancel(paragraph(warning, {"Are you sure you want to power off?"}));
    c[1] = okCancel(paragraph(warning, {"Are you sure you want to logout?"}));
    c[2] = {paragraph("Counting in Progress ...",
                      {"To avoid long counting times, adjust", "the cell concentration to be within",
                       "the recommended range."}),
            Buttons::Unchanged, QString()};
    c[3] = ok(paragraph(kError, {"Enter a file name to save your results."}));
    c[4] = ok(paragraph(kError, {"Select at least one saving option."}));
    c[5] = ok(paragraph(kError, {"<b>Insufficient disk space.</b>", "Select another drive."}));
    c[6] = ok(paragraph(kError, {"Invalid file name."}));
    c[7] = ok(paragraph(info, {"The USB flash drive device can now be", "safely removed from the device."}));
    c[8] = ok(paragraph(QString(), {QString(), "Save completed!"}));
    c[9] = ok(paragraph(kError, {"The USB flash drive was removed during", "the saving process. File save failed."}));
    c[10] = ok(paragraph(kError, {"The value in %2 must be", "between 1.00 and 9.99."}));
    c[11] = ok(paragraph(kError, {"The value in %2 must be", "between 0 and 9."}));
    c[12] = ok(paragraph(kError, {"Please provide the %2 within the", "range of 0.01 and 1000."}));
    c[13] = ok(paragraph(kError, {"Please provide the %2 within the", "range 1 and 999999."}));
    c[14] = {paragraph("Calculating...", {"Please wait."}), Buttons::None, QString()};
    c[15] = ok(paragraph(kError, {"PDF Writing Error", "Please Contact your local distributor."}));
    c[16] = okCancel(paragraph(warning, {"Leaving will reset the cell counting results.", "Do you want to proceed?"}));
    c[17] = ok(paragraph(info, {"The selected protocol has been loaded."}));
    c[18] = okCancel(paragraph(warning, {"Are you sure you want to delete", "the selected protocol?"}));
    c[19] = okCancel(paragraph(warning, {"There is already a file with", "the same name in this location.",
                                         "Do you want to replace it?"}));
    c[20] = ok(paragraph(kError, {"The %2 protocol cannot be", "edited or deleted.", "Please select another protocol."}));
    c[21] = ok(paragraph(kError, {"The protocol currently in use cannot be", "deleted. Please select another protocol."}));
    c[22] = ok(paragraph(kError, {"Invalid name.", "Names composed of only spaces or",
                                  "blanks are not allowed to be saved."}));
    c[23] = ok(paragraph(kError, {"Your protocol list is full.", "Delete some protocols before creating", "a new one."}),
               QStringLiteral("CLOSE"));
    c[24] = ok(paragraph(kError, {"Unacceptable folder name is used.", "Please try again."}));
    c[25] = ok(paragraph(kError, {"The date you specified does not exist.", "Please enter a valid date."}));
    c[26] = ok(paragraph(kError, {"The time you specified does not exist.", "Please enter a valid date."}));
    c[27] = okCancel(plain({"Use a stylus to tap the center of the target",
                            "that appears on the screen. Do this each time", "the target moves. If you miss the target,",
                            "keep the stylus on the screen, slide it to the",
                            "target's center, and then lift the stylus.", "Press OK to continue."}));
    c[28] = ok(paragraph(info, {"Touchscreen calibration is complete.", "Press Restart to complete the process."}),
               QStringLiteral("RESTART"));
    c[29] = ok(plain({"Connect the LAN cable to the port", "on the back of the KOVA-III."}));
    c[30] = ok(paragraph(kError, {"Invalid network settings:", "IP ADDR : %2", "MASK : %3", "GATEWAY : %4"}, 1));
    c[31] = okCancel(paragraph(warning, {"Are you sure you want", "to do a Factory reset ?"}));
    c[32] = ok(paragraph(QString(), {"Factory reset!"}));
    c[33] = ok(paragraph(QString(), {"Autofocus debug disabled!"}));
    c[34] = ok(paragraph(QString(), {"Autofocus debug enabled!"}));
    c[35] = ok(paragraph(QString(), {"Cell counting aging disabled!"}));
    c[36] = ok(paragraph(QString(), {"Cell counting aging enabled!"}));
    c[37] = ok(paragraph(QString(), {"Cell counting aging finish!"}));
    c[38] = ok(paragraph(kError, {"A camera error occurred.", "The aging count is %2 cycles."}));
    c[39] = ok(paragraph(kError, {"Please select the item first from the File list."}));
    c[40] = ok(paragraph(kError, {"An error occurred when opening the result", "file and could not be verified."}));
    c[41] = ok(paragraph(info, {"All previous count results", "were successfully exported."}), QStringLiteral("CLOSE"));
    c[42] = okCancel(paragraph(warning, {"All previous count results stored on this",
                                         "instrument will be permanently deleted."}));
    c[43] = okCancel(paragraph(warning, {"All cell counting results on this", "will be deleted."}));
    c[44] = {plain({"Searching for a USB ..."}), Buttons::None, QString()};
    c[45] = ok(paragraph(kError, {"Insert a USB drive."}));
    c[46] = ok(paragraph(warning, {"The USB drive has been removed."}));
    c[47] = ok(paragraph(kError, {"Please load a new roll of paper and", "press Print again."}, 3),
               QStringLiteral("CLOSE"));
    c[48] = ok(paragraph(kError, {"An unexpected image data", "transmission error has occurred.",
                                  "Please try the count again."}, 1));
    c[49] = ok(paragraph(kError, {"Camera is not detected. Restart the", "instrument. If the problem persists, ",
                                  "contact your local distributor or ", "<b>" + kSupportMail + "</b>."}, 1),
               QStringLiteral("RESTART"));
    c[53] = okCancel(paragraph(warning, {"Are you sure you want", "to reset the current focus position?"}));
    c[54] = ok(paragraph(QString(), {"Focus position was reset!", "Please retry Focus Calibration."}));
    c[55] = ok(paragraph("Error", {"The Wi-Fi password you entered", "is incorrect. Please check the password",
                                   "and try again."}));
    c[56] = ok(paragraph("Error", {"Unable to connect to the Wi-Fi network.", "Please check your network settings",
                                   "and try again."}));
    return c;
}

const QHash<int, Entry>& catalogue()
{
    static const QHash<int, Entry> c = build();
    return c;
}

}  // namespace

const Entry* entry(int type)
{
    const auto& c = catalogue();
    const auto it = c.constFind(type);
    return it == c.constEnd() ? nullptr : &it.value();
}

QString errorCode(int type)
{
    return QStringLiteral("%1").arg(type, 4, 10, QLatin1Char('0'));
}

QString text(int type, const QStringList& args)
{
    const Entry* e = entry(type);
    if (!e)
        return QString();
    const QString& source = e->text;
    QString out;
    out.reserve(source.size() + 32);
    for (int i = 0; i < source.size(); ++i) {
        const QChar c = source.at(i);
        if (c == QLatin1Char('%') && i + 1 < source.size()) {
            const int n = source.at(i + 1).digitValue();
            if (n == 1) {
                out += errorCode(type);
                ++i;
                continue;
            }
            if (n >= 2 && n <= 4) {
                out += asRichText(args.value(n - 2));
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString errorText(int type, const QStringList& lines)
{
    // Framed as the message `type` frames its own lines: the breaks after its title.
    const Entry* own = entry(type);
    const QString source = own ? own->text : QString();
    const QString lineBreak = QStringLiteral("<br/>");
    int breaks = 0;
    for (int at = source.indexOf(QLatin1String("</b>")) + 4; at >= 4 && source.midRef(at, lineBreak.size()) == lineBreak;
         at += lineBreak.size())
        ++breaks;
    QStringList rich;
    for (const QString& line : lines)
        rich << asRichText(line);
    return paragraph(kError.arg(errorCode(type)), rich, breaks > 0 ? breaks : 2);
}

}  // namespace MessageCatalogue
