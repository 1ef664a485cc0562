// The review screen's result viewer: a saved result's values and protocol
// from its CSV file, its analysed image with zoom and panning, and its raw
// image sent to be counted again.
#include "Review/ReviewDlg.h"

#include "ui_ReviewDlg.h"

#include "File_IO/ImReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"
#include "Saving/ResultReport.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QMouseEvent>
#include <QPainter>

#include <cstring>
#include <memory>

namespace {

const QString kTotalMode = QStringLiteral("Total cell counting");
constexpr int kTitleX = 39;
constexpr int kValueX = 300;

// The first file of a result folder matching `pattern`, by name; "" when none.
QString firstFile(const QString& folder, const QString& pattern)
{
    if (folder.isEmpty())
        return QString();
    const QStringList files = QDir(platform::rootPath(folder)).entryList({pattern}, QDir::Files, QDir::Name);
    return files.isEmpty() ? QString() : folder + QLatin1Char('/') + files.first();
}

void placeRow(QLabel* title, QLabel* value, int y)
{
    title->move(kTitleX, y);
    value->move(kValueX, y);
}

}  // namespace

QList<QLabel*> ReviewDlg::resultValueLabels() const
{
    return {ui->LABEL_TOTAL_CELL_CONCENTRATION, ui->LABEL_LIVE_CELL_CONCENTRATION, ui->LABEL_DEAD_CELL_CONCENTRATION,
            ui->LABEL_VIABILITY, ui->LABEL_AVERAGE_SIZE, ui->LABEL_TOTAL_CELL_NUMBER, ui->LABEL_LIVE_CELL_NUMBER,
            ui->LABEL_DEAD_CELL_NUMBER, ui->LABEL_COUNT_MODE};
}

QList<QLabel*> ReviewDlg::protocolValueLabels() const
{
    return {ui->LABEL_PROTOCOL_VALUE1, ui->LABEL_PROTOCOL_VALUE2, ui->LABEL_PROTOCOL_VALUE3, ui->LABEL_PROTOCOL_VALUE4,
            ui->LABEL_PROTOCOL_VALUE5, ui->LABEL_PROTOCOL_VALUE6, ui->LABEL_PROTOCOL_VALUE7, ui->LABEL_PROTOCOL_NAME};
}

bool ReviewDlg::view_current_item(QString folder)
{
    KLOG_ENTER;
    KLOG_VALUE("folder", folder);
    const QString csv = firstFile(folder, QStringLiteral("*.csv"));
    if (csv.isEmpty())
        return false;
    ResultReport report;
    get_result_from_csv(csv.toStdString(), report);
    report.viability.replace(QLatin1Char('%'), QLatin1String(" %"));
    const QString size = report.averageSize;
    report.averageSize = (size.size() < 3 ? QStringLiteral("0.0") : size.left(size.size() - 3)) + QLatin1String(" um");
    report.minSearchSize = extractNumberFromString(report.minSearchSize);
    report.maxSearchSize = extractNumberFromString(report.maxSearchSize);

    const bool viability = theApp.m_CountingMode != BF_TOTAL_CELL_COUNTING;
    if (viability) {
        PROTOCOL_BF_CELL_COUNTING_VIABILITY_t text{report.protocolName,     report.minSearchSize,
                                                   report.maxSearchSize,    report.cellDetectionSensitivity,
                                                   report.liveCellSensitivity, report.noiseReduction,
                                                   report.dilutionFactor};
        convert_protocol(text, m_ReviewViabilityProtocol);
        m_ReviewViabilityProtocol.gating_min_size = m_ReviewViabilityProtocol.gating_max_size = -1;
        theApp.m_Counted_Viability_Protocol = m_ReviewViabilityProtocol;
    } else {
        PROTOCOL_BF_TOTAL_CELL_COUNTING_t text{report.protocolName,  report.minSearchSize,
                                               report.maxSearchSize, report.cellDetectionSensitivity,
                                               report.noiseReduction, report.dilutionFactor};
        convert_protocol(text, m_ReviewTotalProtocol);
        m_ReviewTotalProtocol.gating_min_size = m_ReviewTotalProtocol.gating_max_size = -1;
        theApp.m_Counted_Total_Protocol = m_ReviewTotalProtocol;
    }

    // The viability mode's rows, shown only there.
    for (QLabel* label : {ui->LABEL_LIVE_CELL_CONCENTRATION, ui->LABEL_DEAD_CELL_CONCENTRATION, ui->LABEL_VIABILITY,
                          ui->LABEL_LIVE_CELL_NUMBER, ui->LABEL_DEAD_CELL_NUMBER, ui->LABEL_LIVE_CELL_CONCENTRATION_TITLE,
                          ui->LABEL_DEAD_CELL_CONCENTRATION_TITLE, ui->LABEL_VIABILITY_TITLE,
                          ui->LABEL_LIVE_CELL_NUMBER_TITLE, ui->LABEL_DEAD_CELL_NUMBER_TITLE, ui->LABEL_PROTOCOL_TITLE4,
                          ui->LABEL_PROTOCOL_VALUE4})
        label->setVisible(viability);
    const QStringList results{report.totalConcentration, report.liveConcentration, report.deadConcentration,
                              report.viability,          report.averageSize,       report.totalNumber,
                              report.liveNumber,         report.deadNumber,        report.countMode};
    const QStringList protocol{report.minSearchSize,  report.maxSearchSize,  report.cellDetectionSensitivity,
                               report.liveCellSensitivity, report.noiseReduction, report.dilutionFactor,
                               report.sizeGating,     report.protocolName};
    const QList<QLabel*> resultLabels = resultValueLabels();
    const QList<QLabel*> protocolLabels = protocolValueLabels();
    for (int i = 0; i < resultLabels.size(); ++i)
        resultLabels[i]->setText(results[i]);
    for (int i = 0; i < protocolLabels.size(); ++i)
        protocolLabels[i]->setText(protocol[i]);

    // The rows close up where the viability rows are left out.
    placeRow(ui->LABEL_AVERAGE_SIZE_TITLE, ui->LABEL_AVERAGE_SIZE, viability ? 196 : 100);
    placeRow(ui->LABEL_TOTAL_CELL_NUMBER_TITLE, ui->LABEL_TOTAL_CELL_NUMBER, viability ? 228 : 132);
    placeRow(ui->LABEL_PROTOCOL_TITLE5, ui->LABEL_PROTOCOL_VALUE5, viability ? 196 : 164);
    placeRow(ui->LABEL_PROTOCOL_TITLE6, ui->LABEL_PROTOCOL_VALUE6, viability ? 228 : 196);
    placeRow(ui->LABEL_PROTOCOL_TITLE7, ui->LABEL_PROTOCOL_VALUE7, viability ? 260 : 228);

    // A result of the other mode is shown but neither viewed as images nor counted again.
    const bool sameMode = (report.countMode == kTotalMode) == !viability;
    ui->BUTTON_VIEW_IMAGES->setEnabled(sameMode && !firstFile(folder, QStringLiteral("*_TAG.tif")).isEmpty());
    ui->BUTTON_REANALYZE->setEnabled(sameMode && !firstFile(folder, QStringLiteral("*_RAW.tif")).isEmpty());
    return true;
}

void ReviewDlg::on_BUTTON_VIEW_RESULTS_clicked()
{
    ui->BUTTON_VIEW_RESULTS->setChecked(true);
    ui->BUTTON_VIEW_PROTOCOL->setChecked(false);
    ui->VIEW_RESULTS_FRAME->raise();
    ui->VIEW_RESULTS_FRAME->show();
    ui->VIEW_PROTOCOL_FRAME->hide();
}

void ReviewDlg::on_BUTTON_VIEW_PROTOCOL_clicked()
{
    ui->BUTTON_VIEW_PROTOCOL->setChecked(true);
    ui->BUTTON_VIEW_RESULTS->setChecked(false);
    ui->VIEW_PROTOCOL_FRAME->raise();
    ui->VIEW_PROTOCOL_FRAME->show();
    ui->VIEW_RESULTS_FRAME->hide();
}

// --- the image viewer

void ReviewDlg::loadImage()
{
    ImReaderWriter reader;
    const std::unique_ptr<unsigned char[]> pixels(reader.imread(m_strImagePath.toStdString()));
    // Only an image of the size the instrument saves fills the buffer.
    if (pixels && reader.readWidth() == uint32_t(m_Image.width()) && reader.readHeight() == uint32_t(m_Image.height())) {
        const int row = m_Image.width() * 3;
        for (int y = 0; y < m_Image.height(); ++y)
            std::memcpy(m_Image.scanLine(y), pixels.get() + size_t(y) * row, size_t(row));
    } else {
        KLOG << "[Error] no 2592 x 1944 image in" << m_strImagePath;
        m_Image.fill(Qt::white);
    }
    const QSize picture = ImageNavigation::pictureSize(m_view.zoom, true);
    m_Pixmap = QPixmap::fromImage(picture == m_Image.size() ? m_Image
                                                            : m_Image.scaled(picture, Qt::IgnoreAspectRatio,
                                                                             Qt::SmoothTransformation));
}

void ReviewDlg::on_BUTTON_VIEW_IMAGES_clicked()
{
    const QString image = firstFile(m_selectPath, QStringLiteral("*_TAG.tif"));
    if (image.isEmpty())
        return;
    setMainUIState(REVIEW_STEP_IMAGE);
    m_view = ImageNavigation::View();
    ui->BUTTON_ZOOM->setText(ImageNavigation::zoomCaption(m_view.zoom));
    m_strImagePath = image;
    m_bImageShown = true;
    loadImage();
    update(ImageNavigation::kImageArea);
}

// The hidden image button of the form shows the image as "Images >" does.
void ReviewDlg::on_BUTTON_REVIEW_IMAGE_clicked()
{
    on_BUTTON_VIEW_IMAGES_clicked();
}

void ReviewDlg::on_BUTTON_ZOOM_clicked()
{
    m_view = ImageNavigation::zoomStep(m_view, true);
    ui->BUTTON_ZOOM->setText(ImageNavigation::zoomCaption(m_view.zoom));
    if (m_bImageShown && !m_strImagePath.isEmpty())
        loadImage();
    update(ImageNavigation::kImageArea);
}

void ReviewDlg::on_BUTTON_CLOSE_clicked()
{
    m_bImageShown = false;
    setMainUIState(REVIEW_STEP_VIEW);
}

void ReviewDlg::on_BUTTON_REANALYZE_clicked()
{
    const QString raw = firstFile(m_selectPath, QStringLiteral("*_RAW.tif"));
    if (!raw.isEmpty())
        emit signal_analysis(raw);
}

void ReviewDlg::mousePressEvent(QMouseEvent* event)
{
    if (!m_bImageShown)
        return;
    const QPoint point = event->localPos().toPoint();
    // A press on the area's edge starts no drag.
    m_bDragging = ImageNavigation::kImageArea.contains(point, true);
    if (m_bDragging)
        m_last = point - ImageNavigation::kImageArea.topLeft();
}

void ReviewDlg::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->localPos().toPoint();
    if (!m_bDragging || !ImageNavigation::kImageArea.contains(point))
        return;
    const QPoint current = point - ImageNavigation::kImageArea.topLeft();
    m_view = ImageNavigation::drag(m_view, m_last, current, true);
    m_last = current;
    update(ImageNavigation::kImageArea);
}

void ReviewDlg::mouseReleaseEvent(QMouseEvent*)
{
    m_bDragging = false;
}

void ReviewDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (m_bImageShown) {
        QPainter painter(this);
        const QRect area = ImageNavigation::kImageArea;
        painter.drawPixmap(area.topLeft(), m_Pixmap, QRect(m_view.origin, area.size()));
        painter.setPen(QColor(255, 0, 0));
        painter.drawRect(QRect(area.topLeft(), QSize(100, 68)));
        QRect navigator;
        SetNavigatorRect(navigator);
        painter.drawRect(navigator);
    }
    ui->LABEL_COMMON_DATETIME->setText(theApp.m_strDateTime);
}

void ReviewDlg::SetNavigatorRect(QRect& rect)
{
    rect = ImageNavigation::navigatorRect(m_view, true);
}
