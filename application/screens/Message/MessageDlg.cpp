#include "Message/MessageDlg.h"

#include "Message/MessageBoxLook.h"
#include "Message/MessageCatalogue.h"
#include "ui_MessageDlg.h"

#include "platform/Log.h"

#include <QFontMetrics>
#include <QTextLayout>

MessageDlg::MessageDlg(QWidget* parent) : QDialog(parent), ui(new Ui::MessageDlg)
{
    ui->setupUi(this);
    setFont();
}

MessageDlg::~MessageDlg()
{
    delete ui;
}

void MessageDlg::setFont()
{
    applyMessageBoxLook(this, ui->LABEL_MESSAGE, ui->BUTTON_OK, ui->BUTTON_CANCEL);
}

void MessageDlg::setMsgType(int type)
{
    KLOG_ENTER;
    KLOG_VALUE("type", type);
    using namespace MessageCatalogue;
    if (const Entry* e = entry(type)) {
        ui->LABEL_MESSAGE->setText(text(type, {m_strArg2, m_strArg3, m_strArg4}));
        switch (e->buttons) {
        case Buttons::OkCancel:
            ui->BUTTON_OK->setText(QStringLiteral("OK"));
            ui->BUTTON_CANCEL->setText(QStringLiteral("CANCEL"));
            setMessageButtonVisibility(MESSAGE_BUTTON_OK_CANCEL);
            break;
        case Buttons::Single:
            ui->BUTTON_OK->setText(e->caption);
            setMessageButtonVisibility(MESSAGE_BUTTON_OK);
            break;
        case Buttons::None:
            setMessageButtonVisibility(MESSAGE_BUTTON_NONE);
            break;
        case Buttons::Unchanged:
            break;
        }
    }
    update();
}

void MessageDlg::setMessage(QString text)
{
    ui->LABEL_MESSAGE->setText(text);
}

void MessageDlg::setFailure(int type, const QString& what, const QString& reason, int reasonLines)
{
    setMessage(MessageCatalogue::errorText(type, QStringList{what} + fitLines(reason, reasonLines)));
    ui->BUTTON_OK->setText(QStringLiteral("OK"));
    setMessageButtonVisibility(MESSAGE_BUTTON_OK);
}

QStringList MessageDlg::fitLines(const QString& text, int maxLines) const
{
    QLabel* label = ui->LABEL_MESSAGE;
    label->ensurePolished();
    const int width = label->contentsRect().width();
    const QFontMetrics metrics(label->font());
    const QString plain = text.simplified();
    QStringList lines;
    QTextLayout layout(plain, label->font());
    layout.beginLayout();
    while (lines.size() < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        // The last line allowed takes the rest; a word wider than the box is cut too.
        const int length = lines.size() + 1 == maxLines ? -1 : line.textLength();
        lines << metrics.elidedText(plain.mid(line.textStart(), length).trimmed(), Qt::ElideRight, width);
    }
    layout.endLayout();
    return lines;
}

void MessageDlg::setMessageButtonVisibility(MessageButtonVisibility visibility)
{
    placeMessageButtons(ui->BUTTON_OK, ui->BUTTON_CANCEL, visibility, kMessageBoxAloneX);
}

void MessageDlg::on_BUTTON_OK_clicked()
{
    accept();
}

void MessageDlg::on_BUTTON_CANCEL_clicked()
{
    reject();
}
