// The counting screen's Histogram & Gating page: the size histogram as cell
// numbers or concentrations (total, live or dead) or the cluster shares, the
// two gate lines, Apply; and the Image page's Tag button.
#include "Count/CountDlg.h"

#include "ui_CountDlg.h"

#include "Graph/GraphFrame.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Message/MessageDlg.h"

#include "platform/Log.h"

#include "velimbio/CellCounter.h"

#include <QTimer>

#include <algorithm>

namespace {

const QColor kTotalColour(255, 127, 0);
const QColor kLiveColour(0, 255, 0);
const QColor kDeadColour(255, 0, 0);
const QColor kOutOfGateColour(130, 130, 130);
const QColor kClusterColour(0, 0, 255);
const QString kSelectedLine = QStringLiteral("QFrame { background-color: rgb(85, 130, 255); border : none; }");
const QString kOtherLine = QStringLiteral("QFrame { background-color: rgb(168, 178, 206); border : none; }");
const QString kAxisButtonStyle = QStringLiteral(
    "QPushButton:!checked{background-image: url(:/Count/After_count/histogram_gating/%1 1.png);border:none;}"
    "QPushButton:!checked:pressed{background-image: url(:/Count/After_count/histogram_gating/%1 2.png);"
    "border:none;}");
const char* const kAxisImages[] = {"cell number", "cell concentration", "cell cluster"};
const char* const kTypeCaptions[] = {"Total", "Live", "Dead"};
const char* const kClusterAxisTexts[] = {"1cell", "2cell", "3cell", "4cell", "5cell", "6cell", "7cell", ">7cell"};
constexpr int kSizeAxisLabels = 10;  // "0", "10", … "90"

int largest(const std::vector<int32_t>& bins)
{
    return bins.empty() ? 0 : std::max(0, *std::max_element(bins.begin(), bins.end()));
}

}  // namespace

void CountDlg::gating_constructor()
{
    ui->GRAPH->setShowGuideLine(true);
    ui->GRAPH->addGuideLine(graph::Vertical);
    ui->GRAPH->addGuideLine(graph::Vertical);
    // Children of the screen, so they stop with it.
    m_PlusTimer.setParent(this);
    m_MinusTimer.setParent(this);
    connect(&m_PlusTimer, &QTimer::timeout, this, &CountDlg::on_BUTTON_PLUS_clicked);
    connect(&m_MinusTimer, &QTimer::timeout, this, &CountDlg::on_BUTTON_MINUS_clicked);
}

void CountDlg::gating_initialize(std::vector<int32_t> total, std::vector<int32_t> live, std::vector<int32_t> dead,
                                 std::vector<int32_t> cluster, int dilution)
{
    KLOG_ENTER;
    m_nMaxTotalCount = largest(total);
    m_nMaxLiveCount = largest(live);
    m_nMaxDeadCount = largest(dead);
    m_MinObjSizeIndex = SizeGating::kLowest;
    m_MaxObjSizeIndex = SizeGating::kHighest;
    ui->LABEL_MIN_CELL_SIZE->setText(QString::number(m_MinObjSizeIndex));
    ui->LABEL_MAX_CELL_SIZE->setText(QString::number(m_MaxObjSizeIndex));

    VelimBio::CellCounter& engine = *theApp.m_pCellCounter;
    m_ConcAxisTexts[TypeTotal] = SizeGating::concentrationAxis(engine, m_nMaxTotalCount, dilution);
    if (theApp.m_CountingMode == BF_CELL_COUNTING_VIABILITY) {
        m_ConcAxisTexts[TypeLive] = SizeGating::concentrationAxis(engine, m_nMaxLiveCount, dilution);
        m_ConcAxisTexts[TypeDead] = SizeGating::concentrationAxis(engine, m_nMaxDeadCount, dilution);
    }
    m_TotalHistogram = std::move(total);
    m_LiveHistogram = std::move(live);
    m_DeadHistogram = std::move(dead);
    m_ClusterPercent = SizeGating::clusterShares(cluster);
    ui->LABEL_MAX_VALUE->setText(QString::number(m_nMaxTotalCount + 1));
    ui->LABEL_MID_VALUE->setText(QString::number((m_nMaxTotalCount + 1) / 2));

    m_histogramType = TypeTotal;
    ui->BUTTON_CELL_TYPE->setText(QString::fromLatin1(kTypeCaptions[TypeTotal]));
    m_nCellNumOrConcentration = FormCellNumber;
    setCellNumberOrConcentraion(FormCellNumber);
}

void CountDlg::setCellNumberOrConcentraion(int form)
{
    GraphFrame* graph = ui->GRAPH;
    QLabel* const sizeLabels[kSizeAxisLabels] = {ui->LABEL_CELL_SIZE_0,  ui->LABEL_CELL_SIZE_10, ui->LABEL_CELL_SIZE_20,
                                                 ui->LABEL_CELL_SIZE_30, ui->LABEL_CELL_SIZE_40, ui->LABEL_CELL_SIZE_50,
                                                 ui->LABEL_CELL_SIZE_60, ui->LABEL_CELL_SIZE_70, ui->LABEL_CELL_SIZE_80,
                                                 ui->LABEL_CELL_SIZE_90};
    if (form == FormCellNumber || form == FormConcentration) {
        graph->setAutoScale(false);
        graph->setInterval(4);
        graph->setThickness(3);
        graph->setShowGuideLine(true);
        QColor inGate = kTotalColour;
        if (theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING) {
            graph->setSamples(m_TotalHistogram, 0);
        } else if (m_histogramType == TypeLive) {
            graph->setTypeSamples(m_LiveHistogram, m_nMaxLiveCount);
            inGate = kLiveColour;
        } else if (m_histogramType == TypeDead) {
            graph->setTypeSamples(m_DeadHistogram, m_nMaxDeadCount);
            inGate = kDeadColour;
        } else {
            graph->setSamples(m_LiveHistogram, m_nMaxTotalCount);
            graph->addSecondSamples(m_DeadHistogram, m_nMaxTotalCount);
            inGate = kLiveColour;
        }
        graph->setColorForInRange(inGate);
        graph->setColorForOutofRange(kOutOfGateColour);
        graph->update();
        for (int k = 0; k < kSizeAxisLabels; ++k) {
            sizeLabels[k]->setFont(notoSans(14, QFont::Normal));
            sizeLabels[k]->setText(QString::number(10 * k));
        }
        if (form == FormCellNumber) {
            const int largestBin = m_histogramType == TypeLive   ? m_nMaxLiveCount
                                   : m_histogramType == TypeDead ? m_nMaxDeadCount
                                                                 : m_nMaxTotalCount;
            ui->LABEL_MAX_VALUE->setText(QString::number(largestBin + 1));
            ui->LABEL_MID_VALUE->setText(QString::number((largestBin + 1) / 2));
        } else {
            const SizeGating::ConcentrationAxis& axis = m_ConcAxisTexts[std::clamp(m_histogramType, 0, 2)];
            ui->LABEL_MAX_CELL_CONCENTRATION->setText(axis.max);
            ui->LABEL_MID_CELL_CONCENTRATION->setText(axis.mid);
            ui->LABEL_MAX_CELL_CONCENTRATION_EXP->setText(axis.exponent);
        }
    } else if (form == FormCluster) {
        graph->setAutoScale(false);
        graph->setInterval(20);
        graph->setThickness(20);
        graph->setGraphType(graph::Bar);
        graph->setShowGuideLine(false);
        graph->setClusterSamples(m_ClusterPercent, 100);
        graph->setColorForInRange(kClusterColour);
        graph->setColorForOutofRange(kClusterColour);
        graph->update();
        ui->LABEL_MAX_VALUE->setText(QStringLiteral("100"));
        ui->LABEL_MID_VALUE->setText(QStringLiteral("50"));
        for (int k = 0; k < kSizeAxisLabels; ++k) {
            sizeLabels[k]->setFont(notoSans(13, QFont::Normal));
            const bool bar = k > 0 && k < kSizeAxisLabels - 1;
            sizeLabels[k]->setText(bar ? QString::fromLatin1(kClusterAxisTexts[k - 1]) : QString());
        }
    }
    if (form >= FormCellNumber && form <= FormCluster)
        ui->BUTTON_CELL_CONCENTRATION_OR_NUMBER->setStyleSheet(kAxisButtonStyle.arg(QLatin1String(kAxisImages[form])));
    showHistogramForm(form);

    setGuideLinePosition(SizeGating::LowerLine, m_MinObjSizeIndex);
    graph->setGuideLinePosition(graph::Vertical, SizeGating::LowerLine, m_MinObjSizeIndex);
    setGuideLinePosition(SizeGating::UpperLine, m_MaxObjSizeIndex);
    graph->setGuideLinePosition(graph::Vertical, SizeGating::UpperLine, m_MaxObjSizeIndex);
}

void CountDlg::showHistogramForm(int form)
{
    const bool gate = form != FormCluster;
    for (QWidget* widget :
         std::initializer_list<QWidget*>{ui->BUTTON_MIN_CELL_SIZE_CONTROL, ui->BUTTON_MAX_CELL_SIZE_CONTROL,
                                         ui->CELL_GATING_BAR, ui->BUTTON_MINUS, ui->BUTTON_PLUS, ui->GUIDELINE_MIN,
                                         ui->GUIDELINE_MAX, ui->LABEL_CELL_SIZE_UM, ui->LABEL_MIN_CELL_SIZE,
                                         ui->LABEL_MAX_CELL_SIZE, ui->LABEL_CELL_SIZE, ui->BUTTON_APPLY})
        widget->setVisible(gate);
    ui->BUTTON_CELL_TYPE->setVisible(gate && theApp.m_CountingMode != BF_TOTAL_CELL_COUNTING);
    const bool concentration = form == FormConcentration;
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->LABEL_MAX_VALUE, ui->LABEL_MID_VALUE})
        widget->setVisible(!concentration);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{ui->LABEL_MAX_CELL_CONCENTRATION, ui->LABEL_MID_CELL_CONCENTRATION,
                                         ui->LABEL_MAX_CELL_CONCENTRATION_EXP})
        widget->setVisible(concentration);
}

void CountDlg::setGuideLinePosition(int line, int index)
{
    QWidget* guide = line == SizeGating::LowerLine ? ui->GUIDELINE_MIN
                     : line == SizeGating::UpperLine ? ui->GUIDELINE_MAX
                                                     : nullptr;
    QWidget* selector = line == SizeGating::LowerLine ? ui->BUTTON_MIN_CELL_SIZE_CONTROL
                                                      : ui->BUTTON_MAX_CELL_SIZE_CONTROL;
    if (!guide)
        return;
    guide->move(SizeGating::guideLineX(index), guide->y());
    selector->move(SizeGating::selectorX(index), selector->y());
}

void CountDlg::SetHistogramType(int type)
{
    if (type >= TypeTotal && type <= TypeDead)
        ui->BUTTON_CELL_TYPE->setText(QString::fromLatin1(kTypeCaptions[type]));
    setCellNumberOrConcentraion(m_nCellNumOrConcentration);
}

void CountDlg::on_BUTTON_CELL_TYPE_clicked()
{
    m_histogramType = (m_histogramType + 1) % 3;
    SetHistogramType(m_histogramType);
    update();
}

void CountDlg::on_BUTTON_CELL_CONCENTRATION_OR_NUMBER_clicked()
{
    m_nCellNumOrConcentration = (m_nCellNumOrConcentration + 1) % 3;
    setCellNumberOrConcentraion(m_nCellNumOrConcentration);
}

void CountDlg::on_BUTTON_MIN_CELL_SIZE_CONTROL_clicked()
{
    m_nCellSizeControl = SizeGating::LowerLine;
    ui->BUTTON_MIN_CELL_SIZE_CONTROL->setChecked(true);
    ui->BUTTON_MAX_CELL_SIZE_CONTROL->setChecked(false);
}

void CountDlg::on_BUTTON_MIN_CELL_SIZE_CONTROL_toggled(bool checked)
{
    if (!checked)
        return;
    ui->GUIDELINE_MIN->setStyleSheet(kSelectedLine);
    ui->GUIDELINE_MAX->setStyleSheet(kOtherLine);
}

void CountDlg::on_BUTTON_MAX_CELL_SIZE_CONTROL_clicked()
{
    m_nCellSizeControl = SizeGating::UpperLine;
    ui->BUTTON_MAX_CELL_SIZE_CONTROL->setChecked(true);
    ui->BUTTON_MIN_CELL_SIZE_CONTROL->setChecked(false);
}

void CountDlg::on_BUTTON_MAX_CELL_SIZE_CONTROL_toggled(bool checked)
{
    if (!checked)
        return;
    ui->GUIDELINE_MAX->setStyleSheet(kSelectedLine);
    ui->GUIDELINE_MIN->setStyleSheet(kOtherLine);
}

void CountDlg::stepGate(int direction)
{
    const auto line = static_cast<SizeGating::GuideLine>(m_nCellSizeControl);
    const SizeGating::Gate next = SizeGating::step(gate(), line, direction);
    if (next == gate())
        return;
    m_MinObjSizeIndex = next.low;
    m_MaxObjSizeIndex = next.high;
    const int index = line == SizeGating::LowerLine ? next.low : next.high;
    (line == SizeGating::LowerLine ? ui->LABEL_MIN_CELL_SIZE : ui->LABEL_MAX_CELL_SIZE)->setText(QString::number(index));
    ui->GRAPH->setGuideLinePosition(graph::Vertical, line, index);
    ui->GRAPH->update();
    setGuideLinePosition(line, index);
}

void CountDlg::on_BUTTON_MINUS_pressed()
{
    m_MinusTimer.start(seams().gateRepeatMs);
}

void CountDlg::on_BUTTON_MINUS_released()
{
    m_MinusTimer.stop();
}

void CountDlg::on_BUTTON_MINUS_clicked()
{
    stepGate(-1);
}

void CountDlg::on_BUTTON_PLUS_pressed()
{
    m_PlusTimer.start(seams().gateRepeatMs);
}

void CountDlg::on_BUTTON_PLUS_released()
{
    m_PlusTimer.stop();
}

void CountDlg::on_BUTTON_PLUS_clicked()
{
    stepGate(+1);
}

void CountDlg::on_BUTTON_APPLY_clicked()
{
    KLOG_ENTER;
    if (!m_pApplyMessageDlg)
        m_pApplyMessageDlg = new MessageDlg;
    QTimer::singleShot(seams().applyDelayMs, this, &CountDlg::slotSizeGating);
    m_pApplyMessageDlg->setMsgType(kApplyMessage);
    m_BackLabel.runOver(*m_pApplyMessageDlg);
}

void CountDlg::slotSizeGating()
{
    KLOG_ENTER;
    const float low = ui->LABEL_MIN_CELL_SIZE->text().toFloat();
    const float high = ui->LABEL_MAX_CELL_SIZE->text().toFloat();
    const bool total = theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING;
    int dilution = 0;
    const auto setGate = [&](auto& screen, auto& counted) {
        screen.gating_min_size = counted.gating_min_size = int(low);
        screen.gating_max_size = counted.gating_max_size = int(high);
        dilution = screen.dilution_factor;
    };
    if (total)
        setGate(m_TotalProtocol, theApp.m_Counted_Total_Protocol);
    else
        setGate(m_ViabilityProtocol, theApp.m_Counted_Viability_Protocol);

    SizeGating::regate(*theApp.m_pCellCounter, theApp.m_CountResult, theApp.m_CountingMode, low, high, dilution);
    m_ResultTexts = ResultTexts::fromResult(theApp.m_CountResult, dilution);
    rebuildResultImage();
    KLOG << "gated" << low << high << ":" << theApp.m_CountResult.total_cell << "cells";

    if (m_pApplyMessageDlg && m_pApplyMessageDlg->close()) {
        delete m_pApplyMessageDlg;
        m_pApplyMessageDlg = nullptr;
    }
}

void CountDlg::on_BUTTON_TAG_clicked()
{
    m_bTagOn = !m_bTagOn;
    ui->BUTTON_TAG->setChecked(m_bTagOn);
    rebuildResultImage();
    update(m_ProgressRect);
}
