#pragma once

#include "Common/DimOverlay.h"
#include "Count/SavingDlg.h"
#include "Message/MessageExDlg.h"
#include "Printer/SPP_R200IIG.h"

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <functional>

namespace Ui {
class SavePrintDlg;
}

// Where a manual save goes.
enum DSTPATH { DST_INTERNAL = 0, DST_USB = 1 };

// Saves the last count (as theApp holds it) as a new result folder of up to
// four files (analysed image, raw image, PDF report, CSV), on the internal
// storage or on the USB stick, and prints its report on the label printer.
// The counting screen makes one dialog per use: run with exec() for a manual
// save (the on-screen keyboard's Save key), or never shown, with auto_save3()
// for the automatic save after a count.
//
// A run either is refused (an error box, nothing written: message 3 no name,
// 4 no output, 5 no room or no folder, 6 an invalid name) or writes its
// outputs one after another in the GUI thread, under a progress box, and ends
// with "Save completed!", message 5's text when an output could not be
// written (message 15 before it when that was the report; the files that
// were written stay), or error 0009 alone when the stick went. The dialog
// stays disabled until that box is closed. Only a run that wrote its whole
// result names its folder in the newest previous-counts row and emits
// signalFilenameReplaced(1, name).
class SavePrintDlg : public QDialog
{
    Q_OBJECT

public:
    // Messages of the catalogue.
    static constexpr int kNoNameMessage = 3;
    static constexpr int kNoOutputMessage = 4;
    static constexpr int kNoSpaceMessage = 5;
    static constexpr int kInvalidNameMessage = 6;
    static constexpr int kStickRemovableMessage = 7;
    static constexpr int kReportErrorMessage = 15;
    // The pause after the files are forced to the medium, before the run is
    // reported complete (a stick pulled at once then still holds them).
    static constexpr int kSettlePauseMs = 500;
    static constexpr int kSearchUsbDelayMs = 200;

    explicit SavePrintDlg(QWidget* parent = nullptr);
    ~SavePrintDlg() override;

    // Saves all four outputs into the internal result tree under the
    // automatic name of the save settings ("<base>_00007" or
    // "<base>_yyyyMMddhhmmss"); sig_autosave_completed() follows when its box
    // is closed. A base name with characters a typed name may not hold is
    // refused with message 6.
    void auto_save3();

    // An automatic save's end is still owed: its box is not closed yet.
    bool autoSaveUnderWay() const { return m_bAutoSaveNotify; }

    // Names the last count's result: the File field of the newest
    // previous-counts row becomes `name` (master rewritten), the result
    // tree's copy is made again, and signalFilenameReplaced(1, name) follows.
    void startFilenameReplaced(QString name);

    // The clock of names, dates and the report; local time unless replaced.
    void setClock(std::function<QDateTime()> clock);
    void setSettlePause(int ms) { m_settlePauseMs = ms; }

signals:
    void signalFilenameReplaced(int, QString name);
    void sig_autosave_completed();
    void sig_aging_savecompleted();
    // An automatic save of an aging run was refused or did not write its
    // whole result; follows sig_autosave_completed once its box is closed.
    void sig_aging_savefailed();

public slots:
    // Dims the dialog while a box or the power-off question is up: true
    // remembers whether it was dimmed already, false undims only if not.
    void slot_set_backLabel(bool bshow);
    void set_backStatus(bool show);
    // The stick state at start: USB and eject usable exactly while one is mounted.
    void searchUSB();
    // 1: the stick is gone; anything else: a stick is mounted.
    void slotDetectSignal(int _signal);
    void slotConnectedPrinterDevice();
    void slotDisconnectedPrinterDevice();
    void slotSaveCompleted_Progress(int type);
    void slotSaveCompleted(int type, bool pass);
    void slot_close_savingdlg();
    void slot_close_msgdlg();
    // The name field's Enter: saves as the keyboard's Save key does. Nothing
    // connects it; the field's own returnPressed is not bound.
    void EDIT_FILENAME_returnPressed();

protected:
    // The keyboard's keys: ".", " ", "-", "_", digits and letters (lower case
    // without a modifier) are typed, Backspace deletes, Enter saves.
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void on_BUTTON_BACK_clicked();
    void on_BUTTON_PRINT_clicked();
    // The hidden large save key does nothing; saving is the keyboard's Save key.
    void on_BUTTON_KEY_ENTER_clicked();
    void on_EDIT_FILENAME_selectionChanged();
    void on_EDIT_FILENAME_textChanged();
    void on_EDIT_FILENAME_textEdited(QString arg1);
    void on_BUTTON_KEY_CLEAR_clicked();
    void on_BUTTON_INTERNAL_clicked();
    void on_BUTTON_USB_clicked();
    void on_CHKBOX_ANALYZED_IMAGE_ON_toggled(bool checked);
    void on_CHKBOX_RAW_IMAGE_ON_toggled(bool checked);
    void on_CHKBOX_REPORT_ON_toggled(bool checked);
    void on_BUTTON_EJECT_clicked();

private:
    // The outputs of a run: bits of SavingThread::kindsFromBits, the size
    // they may take, and their progress weight.
    struct Plan
    {
        unsigned char kinds = 0;
        qint64 bytes = 0;
        int weight = 0;
    };

    void setFont();
    void setStatus();
    void setButtonState(DSTPATH d);
    void save3();
    void prepare_save(QString path, QString name);
    Plan planOutputs();
    // `name`, or "name(1)", "name(2)", ... : the first that no entry of
    // `path` has, whatever its kind and letter case.
    static QString freeName(const QString& path, const QString& name);
    void refuse(int message);
    void openProgressBox();
    void thread_save(unsigned char kinds, QString path);
    void endRun(bool written);
    // An automatic save's box was closed: its end is reported once.
    void autoSaveEnded(bool failed);
    QString autoName();
    bool stickMounted() const;
    void raisePowerOffQuestion();
    void prepare_print();
    void count_result_to_text(QString& text);

    int m_saveTimeDone = 0;
    int m_saveTimeTotal = 0;
    MessageExDlg msg_dlg;
    SavingDlg m_savingDlg;
    int m_nAutoSave = 0;
    bool m_bPending[4] = {false, false, false, false};
    bool m_bWriteFailed = false;  // an output of the current run was not written
    bool m_bReportFailed = false;  // the current run's report could not be made
    bool m_bRunFailed = false;  // the last run ended without its whole result
    bool m_bAutoSaveNotify = false;
    bool m_bAnalyzedImage = true;
    bool m_bRawImageOn = true;
    bool m_bReportOn = true;
    bool m_bCSVOn = true;
    QString m_strDirName;
    DSTPATH m_dstPath = DST_INTERNAL;
    QString m_initdstpath;
    DimOverlay m_BackLabel;  // over the dialog while a box of it runs
    printer::SPP_R200IIG m_printer;
    std::function<QDateTime()> m_clock;
    int m_settlePauseMs = kSettlePauseMs;
    Ui::SavePrintDlg* ui;
};
