#include "Count/CountDlg.h"

#include "Count/DiluionCalculatorDlg.h"
#include "Count/SavePrintDlg.h"

#include "ui_CountDlg.h"

#include "Camera/OV5642Camera.h"
#include "Common/CommonResources.h"
#include "Common/ScreenHeader.h"
#include "Controller/Controller.h"
#include "Debug/DebugMessage.h"
#include "DoCellCounting/DoCellCounting.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "Message/MessageDlg.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include "velimbio/CellCounter.h"

#include <QKeyEvent>
#include <QThread>

// Resources of a static library are registered from the global namespace.
static void initCountResources()
{
    initCommonResources();
    Q_INIT_RESOURCE(CountResources);
}

namespace {

constexpr float kPixelSizeUm = 1.4f;

// One row of the Result page: its title and value labels, its text, and
// whether total cell counting shows it too.
struct ResultRow
{
    QLabel* title;
    QLabel* value;
    const QString& text;
    bool inTotalCounting;
};

}  // namespace

CountDlg::Seams& CountDlg::seams()
{
    static Seams s;
    return s;
}

CountDlg::CountDlg(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , m_BackLabel(this)
    , ui(new Ui::CountDlg)
{
    KLOG_ENTER;
    initCountResources();
    ui->setupUi(this);
    setFixedSize(800, 480);
    setFont();

    m_DebugMessage = new DebugMessage(this);
    m_DebugMessage->setGeometry(200, 80, 600, 400);
    m_DebugMessage->hide();
    connect(this, &CountDlg::sig_debug_Message, this, &CountDlg::slot_debug_Message);

    setMainUIState(StateCount);
    ui->BUTTON_ZOOM->setText(ImageNavigation::zoomCaption(1));
    CountButtonState(false);
    ui->BUTTON_TAG->setChecked(false);

    if (!theApp.m_pCellCounter) {
        theApp.m_pCellCounter = new VelimBio::CellCounter(
            3, KovaCoreApp::kCanvasRows, KovaCoreApp::kCanvasCols, static_cast<float>(theApp.m_fVolumeFactor),
            static_cast<float>(theApp.m_fLensMagnification), kPixelSizeUm);
        theApp.m_pCellCounter->setSizeCalibration(theApp.m_fSlope, theApp.m_fIntercept);
    }

    qRegisterMetaType<std::string>("std::string");
    m_pDoCellCounting = new DoCellCounting;
    m_pCountingThread = new QThread;
    m_pDoCellCounting->moveToThread(m_pCountingThread);
    connect(this, &CountDlg::start_do_counting, m_pDoCellCounting, &DoCellCounting::doWork);
    connect(m_pDoCellCounting, qOverload<>(&DoCellCounting::completed), this, &CountDlg::receiveCountingCompleted);
    connect(m_pDoCellCounting, &DoCellCounting::signalCameraModeChangeFailed, this,
            &CountDlg::slotCameraModeChangeFailed);
    connect(m_pDoCellCounting, &DoCellCounting::signalReAnalysisFailed, this, &CountDlg::slotReAnalysisFailed);
    connect(m_pCountingThread, &QThread::finished, m_pDoCellCounting, &QObject::deleteLater);
    connect(m_pCountingThread, &QThread::finished, m_pCountingThread, &QObject::deleteLater);
    m_pCountingThread->start(QThread::InheritPriority);

    connect(&m_ProgressTimer, &QTimer::timeout, this, &CountDlg::InvalidateProgressbar);

    const QSize sizes[] = {{640, 480}, {1280, 960}, {KovaCoreApp::kCanvasCols, KovaCoreApp::kCanvasRows}};
    for (int mode = ModeVga; mode <= ModeFull; ++mode) {
        m_FrameImage[mode] = QImage(sizes[mode], QImage::Format_RGB888);
        m_pFrameBuffer[mode] = m_FrameImage[mode].bits();
        m_FramePixmap[mode] = QPixmap(sizes[mode]);
        m_FramePixmap[mode].fill(Qt::white);
    }

    // The service controls: no page shows them.
    const QList<QWidget*> service{ui->EDIT_TEST, ui->EDIT_REG, ui->BUTTON_TEST, ui->BUTTON_TEST_2,
                                  ui->BUTTON_TEST_3, ui->BUTTON_CLUSTERMAP, ui->BUTTON_AUTO_FOCUS,
                                  ui->BUTTON_DEBUG, ui->EDIT_ALG, ui->EDIT_CALI, ui->BUTTON_SETCALI,
                                  ui->EDIT_CALI_2, ui->FRAME_TIME};
    for (QWidget* control : service)
        control->hide();
    ui->COMBO_AF_OFFSET->setCurrentIndex(kNoAutofocusOffsetItem);
    ui->COMBO_AF_OFFSET->hide();
    CountButtonState(true);
    gating_constructor();
}

CountDlg::~CountDlg()
{
    KLOG_ENTER;
    stopCamera(true);
    delete m_pApplyMessageDlg;
    m_pCountingThread->quit();
    m_pCountingThread->wait();
    // The worker went with the thread's end; the thread object goes now
    // rather than through an event loop that may not run again.
    delete m_pCountingThread;
    delete m_pSavePrintDlg;
    delete m_pDiluionCalculatorDlg;
    delete ui;
}

void CountDlg::setFont()
{
    const auto apply = [](std::initializer_list<QWidget*> widgets, const QFont& font) {
        for (QWidget* widget : widgets)
            widget->setFont(font);
    };
    apply({ui->BUTTON_COUNT, ui->BUTTON_FIND_CELLS, ui->BUTTON_NEXT_COUNT, ui->BUTTON_REVIEW_OR_IMAGE,
           ui->BUTTON_GRAPH, ui->BUTTON_DILUTION, ui->BUTTON_SAVE_PRINT, ui->LABEL_FOCUS_TITLE,
           ui->LABEL_FIND_CELLS_TITLE, ui->BUTTON_ZOOM, ui->BUTTON_RESULT_ZOOM, ui->BUTTON_TAG, ui->BUTTON_CELL_TYPE,
           ui->BUTTON_APPLY, ui->BUTTON_AUTO_EXPOSURE, ui->BUTTON_AUTO_FOCUS},
          notoSans(20, QFont::Medium));
    apply({ui->LABEL_COUNT_TITLE}, notoSans(24, QFont::Bold));
    apply({ui->LABEL_COMMON_DATETIME, ui->LABEL_COMMON_PROTOCOL, ui->LABEL_LOGIN_ID, ui->LABEL_COMMON_TITLE,
           ui->LABEL_COMMON_TITLE2, ui->LABEL_AGING_ALL_TITLE, ui->LABEL_AGING_ALL, ui->LABEL_AGING_CUR_TITLE,
           ui->LABEL_AGING_CUR},
          notoSans(15, QFont::Medium));
    apply({ui->LABEL_MIN_CELL_SIZE, ui->LABEL_MAX_CELL_SIZE}, notoSans(20, QFont::DemiBold));
    apply({ui->LABEL_MAX_CELL_CONCENTRATION_EXP, ui->LABEL_CELL_SIZE_UM, ui->LABEL_MAX_CELL_CONCENTRATION,
           ui->LABEL_MID_CELL_CONCENTRATION, ui->LABEL_MAX_VALUE, ui->LABEL_MID_VALUE},
          notoSans(14, QFont::Normal));
    apply({ui->LABEL_TOTAL_CELL_CONCENTRATION, ui->LABEL_LIVE_CELL_CONCENTRATION, ui->LABEL_DEAD_CELL_CONCENTRATION,
           ui->LABEL_VIABILITY, ui->LABEL_AVERAGE_SIZE, ui->LABEL_TOTAL_CELL_NUMBER, ui->LABEL_LIVE_CELL_NUMBER,
           ui->LABEL_DEAD_CELL_NUMBER, ui->LABEL_DILUTION_FACTOR, ui->BUTTON_AUTO_FOCUS_OFFSET,
           ui->BUTTON_AGING_STOP},
          notoSans(18, QFont::Medium));
    apply({ui->LABEL_CELL_SIZE, ui->COMBO_AF_OFFSET}, notoSans(16, QFont::Medium));
    apply({ui->LABEL_TOTAL_CELL_CONCENTRATION_TITLE, ui->LABEL_LIVE_CELL_CONCENTRATION_TITLE,
           ui->LABEL_DEAD_CELL_CONCENTRATION_TITLE, ui->LABEL_VIABILITY_TITLE, ui->LABEL_AVERAGE_SIZE_TITLE,
           ui->LABEL_TOTAL_CELL_NUMBER_TITLE, ui->LABEL_LIVE_CELL_NUMBER_TITLE, ui->LABEL_DEAD_CELL_NUMBER_TITLE,
           ui->LABEL_DILUTION_FACTOR_TITLE},
          notoSans(18, QFont::Normal));
}

void CountDlg::Init()
{
    KLOG_ENTER;
    CountButtonState(false);
    setMainUIState(StateCount);
    ui->BUTTON_ZOOM->setText(ImageNavigation::zoomCaption(1));

    if (theApp.m_CountingMode == BF_CELL_COUNTING_VIABILITY)
        CUR_CAL_INI = kova::kCalibrationCusIni;
    else if (theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING)
        CUR_CAL_INI = kova::kCalibrationBfnIni;

    m_bCounting = m_bCounted = m_bFocusingBeforeCount = m_bImagePage = false;
    m_bTagOn = false;
    ui->BUTTON_TAG->setChecked(false);
    m_bFirstFrameUpdated = false;
    m_bMousePressed = false;
    m_nAgingCameraError = 0;
    m_nCameraInitRetry = 0;
    m_nZoom = 1;
    m_nViewX = ImageNavigation::kStartView.x();
    m_nViewY = ImageNavigation::kStartView.y();

    if (Controller::instance)
        Controller::instance->led_brightness(global_ini()->LED);
    InitPosition();

    ui->BUTTON_REVIEW_OR_IMAGE->setText(QStringLiteral("Image"));
    ui->BUTTON_CELL_TYPE->setText(QStringLiteral("Total"));
    m_bFindCells = false;
    theApp.m_bAutoExposureOn = false;

    if (theApp.m_bAutofocusDebug) {
        m_DebugMessage->show();
        m_DebugMessage->raise();
    } else {
        m_DebugMessage->hide();
    }

    if (theApp.m_bAgingMode) {
        ui->AGING_MODE->show();
        ui->BUTTON_AGING_STOP->setChecked(false);
        ui->LABEL_AGING_ALL->setText(QString::number(theApp.m_nAgingCount));
        ui->LABEL_AGING_CUR->clear();
    } else {
        ui->AGING_MODE->hide();
    }

    showCountingMode(ui->LABEL_MODE, ui->LABEL_COMMON_PROTOCOL);
    startCamera(Mode1280, true);
    m_nAutofocusOffset = 0;
    theApp.m_nAutofocusOffset = 0;
    showAutofocusOffset();
    ui->FRAME_TIME->hide();
    CountButtonState(true);
}

void CountDlg::InitPosition()
{
    KLOG_ENTER;
    const int centre = theApp.m_nZstageCenterPos;
    m_nZstageMaxPos = centre + FocusWindow::kHalfWidth;
    m_nZstageMinPos = centre - FocusWindow::kHalfWidth;
    setFocusIndicator(centre);

    Controller* controller = Controller::instance;
    if (!controller)
        return;
    connect(controller, &Controller::sig_z_stage_mvn, this, &CountDlg::slot_z_stage_moved, Qt::UniqueConnection);
    connect(controller, &Controller::sig_z_stage_mvp, this, &CountDlg::slot_z_stage_moved, Qt::UniqueConnection);
    connect(controller, &Controller::sig_device_reset, this, &CountDlg::slot_device_restarted, Qt::UniqueConnection);
    connect(controller, &Controller::sig_stage_released, this, &CountDlg::slot_stage_released,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    if (controller->z_stage_move_to(centre) == centre)
        theApp.m_nZstageCurrentPos = centre;
}

void CountDlg::setMainUIState(int state)
{
    KLOG_VALUE("state", state);
    m_State = state;
    for (QWidget* header : {static_cast<QWidget*>(ui->LABEL_COUNT_TITLE), static_cast<QWidget*>(ui->LABEL_COMMON_PROTOCOL),
                            static_cast<QWidget*>(ui->LABEL_COMMON_DATETIME), static_cast<QWidget*>(ui->LABEL_COMMON_TITLE),
                            static_cast<QWidget*>(ui->LABEL_COMMON_TITLE2)})
        header->show();
    if (ui->BUTTON_GRAPH->isChecked() && state != StateHistogram)
        ui->BUTTON_GRAPH->setChecked(false);

    struct Page
    {
        const char* title;
        std::initializer_list<QWidget*> shown;
        std::initializer_list<QWidget*> hidden;
    };
    const auto show = [this](const Page& page) {
        ui->LABEL_COUNT_TITLE->setText(QString::fromLatin1(page.title));
        for (QWidget* widget : page.hidden)
            widget->hide();
        for (QWidget* widget : page.shown)
            widget->show();
    };
    switch (state) {
    case StateCount:
        show({"Count", {ui->BUTTON_HOME, ui->BEFORE_COUNT, ui->BUTTON_ZOOM},
              {ui->AFTER_COUNT, ui->RESULT_RESULTS, ui->RESULT_IMAGE, ui->HISTOGRAM_GATING, ui->BUTTON_TAG,
               ui->BUTTON_RESULT_ZOOM}});
        break;
    case StateResult:
        show({"Result", {ui->AFTER_COUNT, ui->BUTTON_HOME, ui->RESULT_RESULTS},
              {ui->RESULT_IMAGE, ui->BEFORE_COUNT, ui->BUTTON_ZOOM, ui->HISTOGRAM_GATING, ui->BUTTON_TAG,
               ui->BUTTON_RESULT_ZOOM}});
        break;
    case StateHistogram:
        show({"Histogram & Gating", {ui->BUTTON_HOME, ui->AFTER_COUNT, ui->HISTOGRAM_GATING},
              {ui->RESULT_RESULTS, ui->RESULT_IMAGE, ui->BUTTON_ZOOM, ui->BEFORE_COUNT, ui->BUTTON_TAG,
               ui->BUTTON_RESULT_ZOOM}});
        ui->AFTER_COUNT->raise();
        break;
    case StateImage:
        show({"Image", {ui->BUTTON_HOME, ui->AFTER_COUNT, ui->RESULT_IMAGE, ui->BUTTON_RESULT_ZOOM, ui->BUTTON_TAG},
              {ui->RESULT_RESULTS, ui->BEFORE_COUNT, ui->HISTOGRAM_GATING}});
        ui->AFTER_COUNT->raise();
        break;
    default:
        break;
    }
}

void CountDlg::CountButtonState(bool enable)
{
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->BUTTON_HOME), static_cast<QWidget*>(ui->LABEL_FOCUS_BACK),
          static_cast<QWidget*>(ui->BUTTON_COUNT), static_cast<QWidget*>(ui->BUTTON_AUTO_FOCUS),
          static_cast<QWidget*>(ui->BUTTON_AUTO_EXPOSURE), static_cast<QWidget*>(ui->BUTTON_AUTO_FOCUS_MINUS),
          static_cast<QWidget*>(ui->BUTTON_AUTO_FOCUS_PLUS), static_cast<QWidget*>(ui->LABEL_FOCUS_TITLE),
          static_cast<QWidget*>(ui->LABEL_FIND_CELLS_TITLE), static_cast<QWidget*>(ui->BUTTON_NEXT_COUNT),
          static_cast<QWidget*>(ui->BUTTON_DILUTION), static_cast<QWidget*>(ui->BUTTON_GRAPH),
          static_cast<QWidget*>(ui->BUTTON_REVIEW_OR_IMAGE), static_cast<QWidget*>(ui->BUTTON_SAVE_PRINT),
          static_cast<QWidget*>(ui->BUTTON_FIND_CELLS), static_cast<QWidget*>(ui->BUTTON_AUTO_FOCUS_OFFSET)})
        widget->setEnabled(enable);
    ui->BUTTON_APPLY->setEnabled(enable);
}

void CountDlg::setResult()
{
    const ResultTexts::Texts& t = m_ResultTexts;
    const ResultRow rows[] = {
        {ui->LABEL_TOTAL_CELL_CONCENTRATION_TITLE, ui->LABEL_TOTAL_CELL_CONCENTRATION, t.totalConcentration, true},
        {ui->LABEL_LIVE_CELL_CONCENTRATION_TITLE, ui->LABEL_LIVE_CELL_CONCENTRATION, t.liveConcentration, false},
        {ui->LABEL_DEAD_CELL_CONCENTRATION_TITLE, ui->LABEL_DEAD_CELL_CONCENTRATION, t.deadConcentration, false},
        {ui->LABEL_VIABILITY_TITLE, ui->LABEL_VIABILITY, t.viability, false},
        {ui->LABEL_AVERAGE_SIZE_TITLE, ui->LABEL_AVERAGE_SIZE, t.averageSize, true},
        {ui->LABEL_TOTAL_CELL_NUMBER_TITLE, ui->LABEL_TOTAL_CELL_NUMBER, t.totalCells, true},
        {ui->LABEL_LIVE_CELL_NUMBER_TITLE, ui->LABEL_LIVE_CELL_NUMBER, t.liveCells, false},
        {ui->LABEL_DEAD_CELL_NUMBER_TITLE, ui->LABEL_DEAD_CELL_NUMBER, t.deadCells, false},
        {ui->LABEL_DILUTION_FACTOR_TITLE, ui->LABEL_DILUTION_FACTOR, t.dilution, true},
    };
    // The rows shown stand one under the other, in the form's order.
    const bool viability = theApp.m_CountingMode == BF_CELL_COUNTING_VIABILITY;
    int y = kResultFirstRowY;
    for (const ResultRow& row : rows) {
        const bool shown = viability || row.inTotalCounting;
        row.title->setVisible(shown);
        row.value->setVisible(shown);
        if (!shown)
            continue;
        row.value->setText(row.text);
        for (QLabel* label : {row.title, row.value})
            label->move(label->x(), y);
        y += kResultRowStep;
    }
}

void CountDlg::on_BUTTON_REVIEW_OR_IMAGE_clicked()
{
    KLOG_ENTER;
    CountButtonState(false);
    if (ui->BUTTON_GRAPH->isChecked())
        ui->BUTTON_GRAPH->setChecked(false);
    if (!m_bImagePage) {
        m_bImagePage = true;
        ui->BUTTON_REVIEW_OR_IMAGE->setText(QStringLiteral("Result"));
        m_bMousePressed = false;
        setMainUIState(StateImage);
    } else {
        m_bImagePage = false;
        ui->BUTTON_REVIEW_OR_IMAGE->setText(QStringLiteral("Image"));
        setResult();
        setMainUIState(StateResult);
    }
    repaint();
    CountButtonState(true);
}

void CountDlg::on_BUTTON_GRAPH_clicked()
{
    KLOG_ENTER;
    CountButtonState(false);
    if (ui->BUTTON_GRAPH->isChecked())
        setMainUIState(StateHistogram);
    repaint();
    CountButtonState(true);
}

void CountDlg::on_BUTTON_HOME_clicked()
{
    KLOG_ENTER;
    if (m_State != StateCount && m_BackLabel.message(kLeaveQuestion) != 1)
        return;
    leave();
}

void CountDlg::leave()
{
    theApp.m_bAutoExposureOn = false;
    stopCamera(true);
    CountButtonState(false);
    m_BackLabel.hide();
    delete m_pSavePrintDlg;
    m_pSavePrintDlg = nullptr;
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    if (m_home.closed)
        m_home.closed();
    close();
}

void CountDlg::slot_set_backLabel(bool bshow)
{
    KLOG_VALUE("bshow", bshow);
    if (m_pSavePrintDlg && m_pSavePrintDlg->isVisible())
        m_pSavePrintDlg->slot_set_backLabel(bshow);
    else if (m_pDiluionCalculatorDlg && m_pDiluionCalculatorDlg->isVisible())
        m_pDiluionCalculatorDlg->slot_set_backLabel(bshow);
    else
        m_BackLabel.request(bshow);  // dimmed for an automatic save: stays so
}

void CountDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_F9:
        m_DebugMessage->show();
        m_DebugMessage->raise();
        break;
    case Qt::Key_F12:
        if (!m_DebugMessage->isHidden())
            m_DebugMessage->hide();
        break;
    default:
        break;
    }
    // No key closes the screen or presses a button.
    event->accept();
}

void CountDlg::slot_debug_Message(QStringList msg)
{
    for (int i = 0; i < msg.size(); ++i) {
        QString item = msg.at(i);
        if (item.size() > 2 && item.contains(QLatin1String("\r\n")))
            item.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        m_DebugMessage->insertPlainText(item);
        if (i == 0)
            m_DebugMessage->insertPlainText(QStringLiteral("()"));
        m_DebugMessage->insertPlainText(QStringLiteral(" "));
    }
    m_DebugMessage->insertPlainText(QStringLiteral("\r\n"));
    m_DebugMessage->ensureCursorVisible();
}

void CountDlg::on_BUTTON_DEBUG_clicked()
{
    m_DebugMessage->setVisible(m_DebugMessage->isHidden());
}

QString CountDlg::getFreeMem()
{
    const QString meminfo = platform::rootPath(QStringLiteral("/proc/meminfo"));
    long long total = 0;
    for (const char* field : {"MemFree", "Buffers", "Cached"}) {
        const platform::CommandResult result = platform::CommandRunner::run(
            QStringLiteral("awk"), {QStringLiteral("/^%1:/ {print $2}").arg(QLatin1String(field)), meminfo},
            kMemoryQueryTimeoutMs);
        // A run that fails or prints no number counts as nothing.
        total += result.succeeded() ? result.standardOutput.trimmed().toLongLong() : 0;
    }
    return QStringLiteral("mem = %1 KB").arg(total);
}

void CountDlg::InvalidateProgressbar()
{
    if (m_bCounting && !m_bCounted)
        update(m_ProgressRect);
}
