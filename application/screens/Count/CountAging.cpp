// After a count: the previous-counts row, the automatic save and the aging
// (endurance) run that repeats counts without a user.
#include "Count/CountDlg.h"

#include "ui_CountDlg.h"

#include "Count/SavePrintDlg.h"
#include "File_IO/CSVReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"

#include "platform/Log.h"

void CountDlg::savePreviousCount()
{
    KLOG_ENTER;
    CSVReaderWriter* table = theApp.m_pPreviousCountCSV;
    if (!table) {
        KLOG << "[Error] no previous-counts table";
        return;
    }
    const int mode = theApp.m_CountingMode;
    const QString protocol = mode == BF_TOTAL_CELL_COUNTING ? theApp.m_strTotalProtocolName
                                                            : theApp.m_strViabilityProtocolName;
    const std::string row = ResultTexts::previousCountRow(mode, theApp.m_CountResult, protocol,
                                                          QDateTime::currentDateTime());
    table->fillDataField("%s", row.c_str());
    const QString master = ResultTree::previousCountMaster(mode);
    if (!table->write(master.toUtf8().constData()))
        KLOG << "[Error] previous counts not written to" << master;
    ResultTree::refreshPreviousCountCopy(mode);
    emit signalAppendCSVData(row);
}

void CountDlg::auto_save()
{
    KLOG_ENTER;
    delete m_pSavePrintDlg;
    m_pSavePrintDlg = new SavePrintDlg;
    // The next aging cycle starts once the save run has wound up.
    if (theApp.m_SaveReview.m_bAutoSave && theApp.m_bAgingMode) {
        connect(m_pSavePrintDlg, &SavePrintDlg::sig_aging_savecompleted, this, &CountDlg::slot_aging_savecompleted,
                Qt::QueuedConnection);
        connect(m_pSavePrintDlg, &SavePrintDlg::sig_aging_savefailed, this, &CountDlg::slot_aging_savefailed,
                Qt::QueuedConnection);
    }
    connect(m_pSavePrintDlg, &SavePrintDlg::sig_autosave_completed, this, &CountDlg::slot_autosave_completed);
    m_BackLabel.show();
    m_pSavePrintDlg->auto_save3();
}

void CountDlg::slot_autosave_completed()
{
    KLOG << "-------------> finished!!! ";
    m_BackLabel.hide();
    theApp.m_bBusy = false;
    // One end per save: a later signal of this dialog is none of the screen's.
    if (m_pSavePrintDlg)
        disconnect(m_pSavePrintDlg, &SavePrintDlg::sig_autosave_completed, this, &CountDlg::slot_autosave_completed);
}

void CountDlg::slot_aging_countingcompleted()
{
    auto_save();
}

void CountDlg::slot_aging_savecompleted()
{
    on_BUTTON_NEXT_COUNT_clicked();
}

void CountDlg::slot_aging_savefailed()
{
    if (!theApp.m_bAgingMode)
        return;
    backToLiveView();
    agingStep(false);
}

void CountDlg::on_BUTTON_AGING_STOP_toggled(bool checked)
{
    KLOG_VALUE("checked", checked);
    theApp.m_bAgingMode = !checked;
}

void CountDlg::agingStep(bool goOn)
{
    ++theApp.m_nAgingProgress;
    ui->LABEL_AGING_CUR->setText(QString::number(theApp.m_nAgingProgress));
    KLOG_VALUE("aging", theApp.m_nAgingProgress);
    if (m_nAgingCameraError > 0) {
        m_nAgingCameraError = 0;
        theApp.m_bAgingMode = false;
        m_BackLabel.message(kAgingCameraError, QString::number(theApp.m_nAgingProgress));
    } else if (goOn && theApp.m_nAgingProgress < theApp.m_nAgingCount) {
        on_BUTTON_COUNT_clicked();
    } else {
        theApp.m_bAgingMode = false;
        slot_aging_finish();
    }
}

void CountDlg::slot_aging_finish()
{
    m_BackLabel.message(kAgingFinished);
}
