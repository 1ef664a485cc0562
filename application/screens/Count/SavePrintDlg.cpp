#include "Count/SavePrintDlg.h"

#include "Common/CommonResources.h"
#include "Count/CountReport.h"
#include "File_IO/CSVReaderWriter.h"
#include "HomeDlg/PowerControl.h"
#include "Keyboard/KeyboardFrame.h"
#include "Keyboard/KeyboardLook.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "MediaMonitor/MediaMonitor.h"
#include "Saving/SavingThread.h"
#include "platform/Log.h"
#include "platform/Root.h"
#include "ui_SavePrintDlg.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLocale>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <iterator>

#include <unistd.h>

namespace {

// One output of a run, by SavingThread type: its bit, the room it may need
// (a 2592 × 1944 RGB picture for the images and the report) and its share of
// the progress bar.
struct OutputKind
{
    unsigned char bit;
    qint64 bytes;
    int weight;
};
constexpr qint64 kPictureBytes = 15116544;
constexpr OutputKind kOutputs[] = {
    {8, kPictureBytes, 1500},  // analysed image
    {4, kPictureBytes, 1000},  // raw image
    {2, kPictureBytes, 2500},  // report
    {1, 7136000, 100},         // CSV
};
constexpr int kOutputCount = 4;

const QString kSequence = QStringLiteral("Sequence");

void processEvents()
{
    QCoreApplication::processEvents();
}

// A character for the name field, or none: letters come as their upper-case
// codes and are typed in lower case unless a modifier (Shift) came along.
QChar typedCharacter(const QKeyEvent& event)
{
    const int key = event.key();
    switch (key) {
    case Qt::Key_Period: return QLatin1Char('.');
    case Qt::Key_Space: return QLatin1Char(' ');
    case Qt::Key_Minus: return QLatin1Char('-');
    case Qt::Key_Underscore: return QLatin1Char('_');
    default: break;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QLatin1Char(char(key));
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar letter = QLatin1Char(char(key));
        return event.modifiers() == Qt::NoModifier ? letter.toLower() : letter;
    }
    return QChar();
}

}  // namespace

SavePrintDlg::SavePrintDlg(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , m_BackLabel(this)
    , m_clock([] { return QDateTime::currentDateTime(); })
    , ui(new Ui::SavePrintDlg)
{
    KLOG_ENTER;
    initKeyboardResources();
    initCommonResources();
    Q_INIT_RESOURCE(SavePrintResources);
    ui->setupUi(this);
    setFont();
    setStatus();
    ui->EDIT_FILENAME->setFocus();
    ui->BUTTON_KEY_CLEAR->setEnabled(!ui->EDIT_FILENAME->text().isEmpty());

    if (theApp.m_pMediaMonitor)
        connect(theApp.m_pMediaMonitor, &MediaMonitor::detectSignal, this, &SavePrintDlg::slotDetectSignal);

    connect(&m_printer, &printer::SPP_R200IIG::signalConnectedDevice, this,
            &SavePrintDlg::slotConnectedPrinterDevice);
    connect(&m_printer, &printer::SPP_R200IIG::signalDisconnectedDevice, this,
            &SavePrintDlg::slotDisconnectedPrinterDevice);
    m_printer.initialize();

    ui->FRAME_KEYBOARD->setObject(this);
    ui->FRAME_KEYBOARD->setMainMode(KEYBOARD_MODE_SAVE_FILE);

    // The dialog's own eject and print keys lie over the keyboard's.
    ui->BUTTON_EJECT->raise();
    ui->BUTTON_PRINT->raise();
    ui->BUTTON_PRINT->show();
    ui->BUTTON_KEY_ENTER->hide();
    connect(&m_savingDlg, &SavingDlg::sig_close_dlg, this, &SavePrintDlg::slot_close_savingdlg);
    QTimer::singleShot(kSearchUsbDelayMs, this, &SavePrintDlg::searchUSB);
    m_initdstpath = QStringLiteral("/KOVA/anonymous");
}

SavePrintDlg::~SavePrintDlg()
{
    delete ui;
}

void SavePrintDlg::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
    ui->FRAME_KEYBOARD->setClock(m_clock);
}

void SavePrintDlg::setFont()
{
    for (QWidget* box : {ui->CHKBOX_ANALYZED_IMAGE_ON, ui->CHKBOX_RAW_IMAGE_ON, ui->CHKBOX_REPORT_ON})
        box->setFont(notoSans(22, QFont::Normal));
    ui->EDIT_FILENAME->setFont(notoSans(22, 57));
}

void SavePrintDlg::setStatus()
{
    ui->CHKBOX_ANALYZED_IMAGE_ON->setChecked(m_bAnalyzedImage);
    ui->CHKBOX_RAW_IMAGE_ON->setChecked(m_bRawImageOn);
    ui->CHKBOX_REPORT_ON->setChecked(m_bReportOn);
}

void SavePrintDlg::setButtonState(DSTPATH d)
{
    ui->BUTTON_INTERNAL->setChecked(d == DST_INTERNAL);
    ui->BUTTON_USB->setChecked(d == DST_USB);
    m_dstPath = d;
}

// --- the name field and the keyboard

void SavePrintDlg::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    if (event->key() == Qt::Key_Enter) {
        EDIT_FILENAME_returnPressed();
        return;
    }
    QLineEdit* edit = ui->EDIT_FILENAME;
    if (event->key() == Qt::Key_Backspace) {
        edit->backspace();
    } else {
        const QChar c = typedCharacter(*event);
        if (c.isNull())
            return;
        edit->insert(c);
    }
    on_EDIT_FILENAME_textEdited(edit->text());
}

void SavePrintDlg::EDIT_FILENAME_returnPressed()
{
    save3();
}

void SavePrintDlg::on_EDIT_FILENAME_selectionChanged()
{
    ui->EDIT_FILENAME->setFocus();
}

void SavePrintDlg::on_EDIT_FILENAME_textChanged()
{
    if (!ui->EDIT_FILENAME->text().isEmpty())
        ui->BUTTON_KEY_CLEAR->setEnabled(true);
}

void SavePrintDlg::on_EDIT_FILENAME_textEdited(QString arg1)
{
    // The cursor stays behind the same kept character.
    QLineEdit* edit = ui->EDIT_FILENAME;
    const int cursor = KovaCoreApp::checkNameRule(arg1.left(edit->cursorPosition())).size();
    edit->setText(KovaCoreApp::checkNameRule(arg1));
    edit->setCursorPosition(cursor);
}

void SavePrintDlg::on_BUTTON_KEY_CLEAR_clicked()
{
    ui->EDIT_FILENAME->clear();
    ui->BUTTON_KEY_CLEAR->setEnabled(false);
}

// --- options and destination

void SavePrintDlg::on_BUTTON_BACK_clicked()
{
    close();
}

void SavePrintDlg::on_CHKBOX_ANALYZED_IMAGE_ON_toggled(bool checked)
{
    m_bAnalyzedImage = checked;
}

void SavePrintDlg::on_CHKBOX_RAW_IMAGE_ON_toggled(bool checked)
{
    m_bRawImageOn = checked;
}

void SavePrintDlg::on_CHKBOX_REPORT_ON_toggled(bool checked)
{
    m_bReportOn = checked;
}

void SavePrintDlg::on_BUTTON_INTERNAL_clicked()
{
    setButtonState(DST_INTERNAL);
}

void SavePrintDlg::on_BUTTON_USB_clicked()
{
    setButtonState(DST_USB);
}

bool SavePrintDlg::stickMounted() const
{
    return theApp.m_pMediaMonitor && theApp.m_pMediaMonitor->searchUSB();
}

void SavePrintDlg::searchUSB()
{
    const bool mounted = stickMounted();
    ui->BUTTON_USB->setEnabled(mounted);
    ui->BUTTON_EJECT->setEnabled(mounted);
}

void SavePrintDlg::slotDetectSignal(int _signal)
{
    KLOG_VALUE("stick signal", _signal);
    const bool gone = _signal == 1;
    if (gone && m_dstPath == DST_USB) {
        ui->BUTTON_USB->setChecked(false);
        ui->BUTTON_INTERNAL->setChecked(true);
        m_dstPath = DST_INTERNAL;
    }
    ui->BUTTON_USB->setEnabled(!gone);
    ui->BUTTON_EJECT->setEnabled(!gone);
}

void SavePrintDlg::on_BUTTON_EJECT_clicked()
{
    KLOG_ENTER;
    if (theApp.m_pMediaMonitor)
        theApp.m_pMediaMonitor->umount_usb();
    m_BackLabel.message(kStickRemovableMessage);
    ui->BUTTON_EJECT->setEnabled(false);
    slotDetectSignal(1);
}

// --- overlay

void SavePrintDlg::set_backStatus(bool show)
{
    if (show)
        m_BackLabel.show();
    else
        m_BackLabel.hide();
    update();
}

void SavePrintDlg::slot_set_backLabel(bool bshow)
{
    m_BackLabel.request(bshow);
}

void SavePrintDlg::raisePowerOffQuestion()
{
    if (PowerControl* roads = PowerControl::instance())
        roads->set_top_Poweroffdlg();
}

// --- a save run

void SavePrintDlg::save3()
{
    m_bAutoSaveNotify = false;
    const QString path =
        m_dstPath == DST_USB ? QString::fromLatin1(ResultTree::kStickMount) : ResultTree::modeFolder(theApp.m_CountingMode);
    m_nAutoSave = 0;
    prepare_save(path, ui->EDIT_FILENAME->text());
}

QString SavePrintDlg::autoName()
{
    SaveReview_s& settings = theApp.m_SaveReview;
    QString name = settings.m_strBaseName;
    if (settings.m_strSuffixType == kSequence) {
        if (settings.m_nSequenceCount > 99999)
            settings.m_nSequenceCount = 1;
        name += QStringLiteral("_%1").arg(settings.m_nSequenceCount, 5, 10, QLatin1Char('0'));
    } else {
        name += m_clock().toString(QStringLiteral("_yyyyMMddhhmmss"));
    }
    return name;
}

void SavePrintDlg::auto_save3()
{
    KLOG_ENTER;
    const QString path = ResultTree::modeFolder(theApp.m_CountingMode);
    m_bAnalyzedImage = m_bRawImageOn = m_bReportOn = m_bCSVOn = true;
    m_bAutoSaveNotify = true;
    const QString name = autoName();
    m_nAutoSave = 1;
    prepare_save(path, name);
}

SavePrintDlg::Plan SavePrintDlg::planOutputs()
{
    Plan plan;
    const auto add = [&plan](int type) {
        plan.kinds |= kOutputs[type].bit;
        plan.bytes += kOutputs[type].bytes;
        plan.weight += kOutputs[type].weight;
    };
    const bool chosen[] = {m_bAnalyzedImage, m_bRawImageOn, m_bReportOn};
    for (int type = SavingThread::AnalysedImage; type <= SavingThread::Report; ++type)
        if (chosen[type])
            add(type);
    // A CSV file alone is no result; the flag stays off until a run completes.
    if (plan.kinds == 0)
        m_bCSVOn = false;
    else if (m_bCSVOn)
        add(SavingThread::CsvFile);
    return plan;
}

QString SavePrintDlg::freeName(const QString& path, const QString& name)
{
    QSet<QString> taken;
    const QStringList entries = QDir(platform::rootPath(path))
                                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        taken.insert(entry.toLower());
    QString candidate = name;
    for (int n = 1; taken.contains(candidate.toLower()); ++n)
        candidate = QStringLiteral("%1(%2)").arg(name).arg(n);
    return candidate;
}

void SavePrintDlg::prepare_save(QString path, QString name)
{
    KLOG_ENTER;
    KLOG_VALUE("path", path);
    KLOG_VALUE("name", name);
    setEnabled(false);
    processEvents();

    const QString trimmed = name.trimmed();
    if (KovaCoreApp::checkNameRule(trimmed) != trimmed)
        return refuse(kInvalidNameMessage);
    if (trimmed.isEmpty())
        return refuse(kNoNameMessage);
    const Plan plan = planOutputs();
    if (plan.kinds == 0)
        return refuse(kNoOutputMessage);

    m_initdstpath = path;
    m_bWriteFailed = m_bReportFailed = false;
    // Without a stick the mount point is a bare folder of the instrument.
    if (path == QLatin1String(ResultTree::kStickMount) && !stickMounted()) {
        openProgressBox();
        return endRun(false);
    }
    const QString physical = platform::rootPath(path);
    const float neededMiB = float(plan.bytes >> 20);
    if (!QDir().mkpath(physical) || MediaMonitor::freeDiskSpace(path) < neededMiB)
        return refuse(kNoSpaceMessage);
    m_strDirName = freeName(path, trimmed);
    if (!QDir(physical).mkdir(m_strDirName)) {
        KLOG << "[Error] cannot create" << path + QLatin1Char('/') + m_strDirName;
        return refuse(kNoSpaceMessage);
    }

    m_saveTimeDone = 0;
    m_saveTimeTotal = plan.weight;
    // A power-off confirmed from here on waits until the run has ended.
    PowerControl* roads = PowerControl::instance();
    if (roads)
        roads->setSaving(true);
    openProgressBox();
    thread_save(plan.kinds, path);
    if (roads)
        roads->setSaving(false);
    raisePowerOffQuestion();
}

void SavePrintDlg::refuse(int message)
{
    KLOG_VALUE("refused with message", message);
    msg_dlg.setMsgType(message);
    connect(&msg_dlg, &MessageExDlg::sig_close_dlg, this, &SavePrintDlg::slot_close_msgdlg, Qt::UniqueConnection);
    set_backStatus(true);
    msg_dlg.show();
    msg_dlg.raise();
    msg_dlg.activateWindow();
    raisePowerOffQuestion();
}

void SavePrintDlg::openProgressBox()
{
    set_backStatus(true);
    m_savingDlg.start();
    m_savingDlg.show();
    processEvents();
    m_savingDlg.raise();
    m_savingDlg.activateWindow();
    m_savingDlg.setProgress(1);
    processEvents();
}

void SavePrintDlg::thread_save(unsigned char kinds, QString path)
{
    std::fill(std::begin(m_bPending), std::end(m_bPending), false);
    for (int type : SavingThread::kindsFromBits(kinds))
        m_bPending[type] = true;
    m_initdstpath = path;

    // One date for every file of the run.
    QString date = QLocale::c().toString(m_clock(), QStringLiteral("dd MMM yyyy hh:mm:ss"));
    for (int type : SavingThread::kindsFromBits(kinds)) {
        SavingThread job;
        connect(&job, &SavingThread::signalSaveCompleted_Progress, this, &SavePrintDlg::slotSaveCompleted_Progress);
        connect(&job, &SavingThread::signalSaveCompleted, this, &SavePrintDlg::slotSaveCompleted);
        job.setType(type);
        job.setDestination(path, m_strDirName);
        job.set_date(date);
        // Told at the run's end: a stick pulled meanwhile is the reason then.
        job.setReportErrorNotice([this] { m_bReportFailed = true; });
        job.run();
    }
}

void SavePrintDlg::slotSaveCompleted_Progress(int type)
{
    if (type >= 0 && type < kOutputCount)
        m_saveTimeDone += kOutputs[type].weight;
    const int percent = m_saveTimeTotal > 0 ? int(float(m_saveTimeDone) / float(m_saveTimeTotal) * 100.0f) : 0;
    m_savingDlg.setProgress(percent);
    processEvents();
}

void SavePrintDlg::slotSaveCompleted(int type, bool pass)
{
    KLOG_VALUE("output", type);
    KLOG_VALUE("written", pass);
    if (type >= 0 && type < kOutputCount)
        m_bPending[type] = false;
    if (!pass)
        m_bWriteFailed = true;
    for (bool pending : m_bPending)
        if (pending)
            return;

    SaveReview_s& settings = theApp.m_SaveReview;
    if (m_nAutoSave != 0 && settings.m_strSuffixType == kSequence) {
        ++settings.m_nSequenceCount;
        if (settings.m_nSequenceCount > 99999)
            settings.m_nSequenceCount = 1;
    }
    ::sync();
    QThread::msleep(static_cast<unsigned long>(m_settlePauseMs));
    endRun(!m_bWriteFailed);
}

void SavePrintDlg::endRun(bool written)
{
    m_bCSVOn = true;
    m_savingDlg.setProgress(100);
    m_savingDlg.complete();
    processEvents();
    // A pulled stick is the one reason given, whatever failed because of it.
    const bool stickGone = m_initdstpath == QLatin1String(ResultTree::kStickMount) && !stickMounted();
    m_bRunFailed = stickGone || !written;
    if (stickGone) {
        KLOG_VALUE("save run", "the stick is gone");
        m_savingDlg.setMode(SavingDlg::ModeStickRemoved);
        processEvents();
        slotDetectSignal(1);
        return;
    }
    if (!written) {
        KLOG_VALUE("save run", "an output was not written");
        if (m_bReportFailed)
            m_BackLabel.message(kReportErrorMessage);
        m_savingDlg.setMode(SavingDlg::ModeWriteFailed);
        return;
    }
    // Only a whole result names the count.
    startFilenameReplaced(m_strDirName);
    if (!theApp.m_bAgingMode) {
        KLOG_VALUE("save run", "completed");
        m_savingDlg.setMode(SavingDlg::ModeCompleted);
        processEvents();
    } else {
        KLOG_VALUE("save run", "completed in an aging run");
        m_savingDlg.close();
        slot_close_savingdlg();
        emit sig_aging_savecompleted();
    }
}

void SavePrintDlg::slot_close_savingdlg()
{
    set_backStatus(false);
    setEnabled(true);
    processEvents();
    autoSaveEnded(m_bRunFailed);
}

void SavePrintDlg::slot_close_msgdlg()
{
    set_backStatus(false);
    setEnabled(true);
    autoSaveEnded(true);
    disconnect(&msg_dlg, &MessageExDlg::sig_close_dlg, this, &SavePrintDlg::slot_close_msgdlg);
}

void SavePrintDlg::autoSaveEnded(bool failed)
{
    if (!m_bAutoSaveNotify)
        return;
    m_bAutoSaveNotify = false;
    emit sig_autosave_completed();
    if (failed && theApp.m_bAgingMode)
        emit sig_aging_savefailed();
}

void SavePrintDlg::startFilenameReplaced(QString name)
{
    KLOG_ENTER;
    const int mode = theApp.m_CountingMode;
    CSVReaderWriter* table = theApp.m_pPreviousCountCSV;
    if (table && table->replaceName(name.toStdString(), 1)) {
        const QString master = ResultTree::previousCountMaster(mode);
        if (!table->write(master.toUtf8().constData()))
            KLOG << "[Error] previous counts not written to" << master;
    }
    ResultTree::refreshPreviousCountCopy(mode);
    emit signalFilenameReplaced(1, name);
}

// --- the printer

void SavePrintDlg::slotConnectedPrinterDevice()
{
    ui->BUTTON_PRINT->setEnabled(true);
}

void SavePrintDlg::slotDisconnectedPrinterDevice()
{
    ui->BUTTON_PRINT->setEnabled(false);
}

void SavePrintDlg::on_BUTTON_PRINT_clicked()
{
    prepare_print();
}

void SavePrintDlg::on_BUTTON_KEY_ENTER_clicked()
{
}

void SavePrintDlg::count_result_to_text(QString& text)
{
    text += CountReport::text(ui->EDIT_FILENAME->text(), m_clock());
}

void SavePrintDlg::prepare_print()
{
    KLOG_ENTER;
    QString text;
    count_result_to_text(text);
    QList<QString> pages{CountReport::labelText(text)};
    m_printer.setData2(pages);
    const int result = m_printer.print2();
    KLOG_VALUE("print result", result);
    // A printer that fails says so itself; the dialog stays as it was.
    if (result == printer::PRINT_OK)
        ui->BUTTON_PRINT->setEnabled(true);
}
