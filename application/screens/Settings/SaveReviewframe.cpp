#include "Settings/SaveReviewframe.h"

#include "ui_SaveReviewframe.h"

#include "HomeDlg/HomeDlg.h"
#include "Keyboard/KeyboardDlg.h"
#include "Keyboard/NumberKeypadDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Settings/SettingsLook.h"

#include <QEvent>

namespace {

const QString kSequence = QString::fromLatin1(SaveReview_s::kSequence);
const QString kTimeStamp = QString::fromLatin1(SaveReview_s::kTimeStamp);
constexpr int kMaxSequence = 99999;

}  // namespace

SaveReviewframe::SaveReviewframe(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::SaveReviewframe)
{
    ui->setupUi(this);
    initialize();
    setFont();
}

SaveReviewframe::~SaveReviewframe()
{
    delete ui;
}

void SaveReviewframe::setFont()
{
    setFonts({ui->LABEL_AUTOSAVE_TITLE, ui->LABEL_BASE_NAME_TITLE, ui->LABEL_SUFFIX_TITLE, ui->LABEL_NEXT_NAME,
              ui->LABEL_SCALEBAR_TITLE, ui->BUTTON_AUTOSAVE_ENABLE, ui->BUTTON_SCALEBAR_ENABLE},
             notoSans(20, 63));
    setFonts({ui->EDIT_BASE_NAME, ui->EDIT_SEQUENCE, ui->EDIT_NEXT_NAME}, notoSans(18, 57));
    setFonts({ui->RADIO_SEQUENCE, ui->RADIO_DATE_TIME}, notoSans(20, QFont::Normal));
}

QString SaveReviewframe::nextName(const QString& baseName, bool sequence, const QString& sequenceText)
{
    if (sequence)
        return QStringLiteral("%1_%2").arg(baseName).arg(sequenceText.toInt(), 5, 10, QLatin1Char('0'));
    return QStringLiteral("%1_%2").arg(baseName, HomeDlg::clock().toString(QStringLiteral("yyyyMMddhhmmss")));
}

void SaveReviewframe::showPreview()
{
    ui->EDIT_NEXT_NAME->setText(
        nextName(ui->EDIT_BASE_NAME->text(), ui->RADIO_SEQUENCE->isChecked(), ui->EDIT_SEQUENCE->text()));
}

void SaveReviewframe::initialize()
{
    const SaveReview_s& save = theApp.m_SaveReview;
    ui->EDIT_BASE_NAME->installEventFilter(this);
    ui->EDIT_SEQUENCE->installEventFilter(this);
    setOnOff(ui->BUTTON_AUTOSAVE_ENABLE, save.m_bAutoSave);
    ui->EDIT_BASE_NAME->setText(save.m_strBaseName);
    m_strLastBaseName = save.m_strBaseName;
    // Any other stored suffix shows as the time stamp and is kept until a choice.
    const bool sequence = save.m_strSuffixType == kSequence;
    ui->RADIO_SEQUENCE->setChecked(sequence);
    ui->RADIO_DATE_TIME->setChecked(!sequence);
    ui->EDIT_SEQUENCE->setEnabled(sequence);
    ui->EDIT_SEQUENCE->setText(QString::number(save.m_nSequenceCount));
    showPreview();
    setOnOff(ui->BUTTON_SCALEBAR_ENABLE, save.m_bEnableScaleBar);
}

void SaveReviewframe::on_RADIO_SEQUENCE_clicked()
{
    ui->RADIO_SEQUENCE->setChecked(true);
    ui->EDIT_SEQUENCE->setEnabled(true);
    theApp.m_SaveReview.m_strSuffixType = kSequence;
    theApp.m_SaveReview.m_nSequenceCount = ui->EDIT_SEQUENCE->text().toInt();
    showPreview();
}

void SaveReviewframe::on_RADIO_DATE_TIME_clicked()
{
    ui->RADIO_DATE_TIME->setChecked(true);
    ui->EDIT_SEQUENCE->setEnabled(false);
    theApp.m_SaveReview.m_strSuffixType = kTimeStamp;
    showPreview();
}

void SaveReviewframe::on_BUTTON_AUTOSAVE_ENABLE_clicked()
{
    const bool on = ui->BUTTON_AUTOSAVE_ENABLE->isChecked();
    setOnOff(ui->BUTTON_AUTOSAVE_ENABLE, on);
    theApp.m_SaveReview.m_bAutoSave = on;
}

void SaveReviewframe::on_BUTTON_SCALEBAR_ENABLE_clicked()
{
    const bool on = ui->BUTTON_SCALEBAR_ENABLE->isChecked();
    setOnOff(ui->BUTTON_SCALEBAR_ENABLE, on);
    theApp.m_SaveReview.m_bEnableScaleBar = on;
}

void SaveReviewframe::slotSetName(QString name)
{
    ui->EDIT_BASE_NAME->setText(name);
    if (name != m_strLastBaseName) {
        theApp.m_SaveReview.m_strBaseName = name;
        m_strLastBaseName = name;
    }
    showPreview();
}

void SaveReviewframe::slotSetValue(QString value)
{
    const int sequence = value.toInt();
    ui->EDIT_SEQUENCE->setText(QString::number(sequence));
    theApp.m_SaveReview.m_nSequenceCount = sequence;
    ui->EDIT_NEXT_NAME->setText(nextName(ui->EDIT_BASE_NAME->text(), true, ui->EDIT_SEQUENCE->text()));
}

void SaveReviewframe::slot_set_backLabel(bool show)
{
    if (m_pKeyboard && m_pKeyboard->isVisible())
        m_pKeyboard->slot_set_backLabel(show);
}

bool SaveReviewframe::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    if (watched == ui->EDIT_BASE_NAME)
        editBaseName();
    else if (watched == ui->EDIT_SEQUENCE && ui->EDIT_SEQUENCE->isEnabled())
        editSequence();
    return false;
}

void SaveReviewframe::editBaseName()
{
    m_pKeyboard = std::make_unique<KeyboardDlg>();
    m_pKeyboard->setMode(KeyboardDlg::MODE_BASE_NAME);
    m_pKeyboard->setFilename(ui->EDIT_BASE_NAME->text());
    m_pKeyboard->setMaxLength(SaveReview_s::maxBaseNameLength(ui->RADIO_SEQUENCE->isChecked()));
    connect(m_pKeyboard.get(), &KeyboardDlg::signalSetName, this, &SaveReviewframe::slotSetName);
    m_bKeyboardOpen = true;
    m_pKeyboard->exec();
    m_bKeyboardOpen = false;
}

void SaveReviewframe::editSequence()
{
    NumberKeypadDlg keypad;
    keypad.set_mode(NUMBER_KEYPAD_NUMBER);
    keypad.set_value(ui->EDIT_SEQUENCE->text());
    connect(&keypad, &NumberKeypadDlg::signal_set_value, this, &SaveReviewframe::slotSetValue);
    keypad.set_range_value(kMaxSequence, 0, 5);
    emit signal_setBackStatus(true);
    keypad.exec();
    emit signal_setBackStatus(false);
}
