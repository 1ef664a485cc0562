#include "Review/ReviewDlg.h"

#include "ui_ReviewDlg.h"

#include "Common/CommonResources.h"
#include "Common/ScreenHeader.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/PartFile.h"
#include "File_IO/copy.h"
#include "Keyboard/NumberKeypadDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/ResultTree.h"
#include "FileManager/ResultFolderModel.h"
#include "MediaMonitor/MediaMonitor.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QFile>
#include <QHeaderView>
#include <QLocale>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <memory>

#include <unistd.h>

namespace {

constexpr int kMessageDiskFull = 5;
constexpr int kMessageExported = 41;
constexpr int kMessageDeleteAllCounts = 42;
constexpr int kMessageInsertUsb = 45;
const QString kMountPoint = QString::fromLatin1(ResultTree::kStickMount);
const QString kExportTemp = QStringLiteral("%1%2/%3").arg(QLatin1String(kova::kInstallDir), QStringLiteral("/log"),
                                                          QStringLiteral("temp.csv"));
constexpr int kShortened = 16;

// How a column of the previous-counts table shows its fields.
enum class Cell {
    UserFile,       // two names, each cut to 16 characters, on two lines
    Plain,          // the field as stored
    Concentration,  // "2.5e6" as "2.5 x 10e6", the cell number below
    AverageSize,    // "-nan" and "-inf" as "0.0"
};

struct Column
{
    const char* title;
    int width;
    Cell cell;
    int field;        // of the stored line
    int second = -1;  // the field on the second line
};

const Column kTotalColumns[] = {
    {"User/File", 140, Cell::UserFile, 0, 1},
    {"Date/Time", 140, Cell::Plain, 2},
    {"[Total cell]", 110, Cell::Concentration, 3, 4},
    {"Avg. size", 60, Cell::AverageSize, 5},
    {"Protocol", 140, Cell::Plain, 6},
};
const Column kViabilityColumns[] = {
    {"User/File", 140, Cell::UserFile, 0, 1},
    {"Date/Time", 140, Cell::Plain, 2},
    {"[Total cell]", 110, Cell::Concentration, 3, 4},
    {"[Live cell]", 110, Cell::Concentration, 5, 6},
    {"[Dead cell]", 110, Cell::Concentration, 7, 8},
    {"Viability", 60, Cell::Plain, 9},
    {"Avg. size", 60, Cell::AverageSize, 10},
    {"Protocol", 140, Cell::Plain, 11},
};

QString shortened(const QString& text)
{
    return text.size() > kShortened ? text.left(kShortened) + QStringLiteral("...") : text;
}

// A cell is filled only when the line holds all of its fields.
QString cellText(const Column& column, const QStringList& fields)
{
    if (std::max(column.field, column.second) >= fields.size())
        return QString();
    const QString first = fields[column.field];
    switch (column.cell) {
    case Cell::UserFile:
        return shortened(first) + QLatin1Char('\n') + shortened(fields[column.second]);
    case Cell::Plain:
        return first;
    case Cell::Concentration:
        return QString(first).replace(QLatin1Char('e'), QLatin1String(" x 10e")) + QLatin1Char('\n')
               + fields[column.second];
    case Cell::AverageSize:
        return first == QLatin1String("-nan") || first == QLatin1String("-inf") ? QStringLiteral("0.0") : first;
    }
    return QString();
}

template <size_t N>
QList<Column> columnsOf(const Column (&columns)[N])
{
    return QList<Column>(std::begin(columns), std::end(columns));
}

QList<Column> modeColumns()
{
    return isViabilityMode() ? columnsOf(kViabilityColumns) : columnsOf(kTotalColumns);
}

// The mode's previous counts as stored in its master (the header only when
// the master is missing).
std::unique_ptr<CSVReaderWriter> readMaster()
{
    auto table = std::make_unique<CSVReaderWriter>(ResultTree::kPreviousCountLines, "%s",
                                                   ResultTree::previousCountHeader(theApp.m_CountingMode));
    table->read(ResultTree::previousCountMaster(theApp.m_CountingMode).toUtf8().constData());
    return table;
}

}  // namespace

const QString ReviewDlg::kInternalStorage = QStringLiteral("Internal\nStorage");
const QString ReviewDlg::kUsb = QStringLiteral("USB");

ReviewDlg::Seams& ReviewDlg::seams()
{
    static Seams s;
    return s;
}

ReviewDlg::ReviewDlg(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui::ReviewDlg)
    , m_overlay(this)
{
    KLOG_ENTER;
    initCommonResources();
    Q_INIT_RESOURCE(ReviewResources);
    Q_INIT_RESOURCE(CountResources);  // the zoom key
    ui->setupUi(this);
    setFont();

    ui->TABLEWIDGET_CSV->hide();
    prev_counts_initialize();
    init_tablecsv();
    updateCsvButtons();

    if (theApp.m_pMediaMonitor)
        connect(theApp.m_pMediaMonitor, &MediaMonitor::detectSignal, this, &ReviewDlg::slotDetectSignal);
    ResultFolderModel* folders = ui->TREEVIEW_FILE->folders();
    connect(folders, &ResultFolderModel::signalCreateDiskList, this, &ReviewDlg::slotApplyDiskList);
    connect(folders, &ResultFolderModel::signalSetDiskSpace, this, &ReviewDlg::slotSetDiskSpace);
    connect(folders, &ResultFolderModel::sigPagecomplete, this, &ReviewDlg::slotSetPage);
    connect(this, &ReviewDlg::signalDirectorySelected2, folders, &ResultFolderModel::slotResetList2);
    connect(this, &ReviewDlg::signalDirectorySelected3, folders, &ResultFolderModel::slotResetList3);

    ui->LABEL_CURRENT_PAGE->installEventFilter(this);
    ui->LABEL_TOTAL_PAGE->installEventFilter(this);
    showCountingMode(ui->LABEL_MODE, ui->LABEL_COMMON_PROTOCOL);

    m_Image = QImage(ImageNavigation::pictureSize(4, true), QImage::Format_RGB888);
    m_Image.fill(Qt::white);
    QTimer::singleShot(kUsbSearchDelayMs, this, &ReviewDlg::SearchUSB);

    for (QWidget* hidden : {static_cast<QWidget*>(ui->BUTTON_REVIEW_IMAGE), static_cast<QWidget*>(ui->LIST_DISK),
                            static_cast<QWidget*>(ui->BUTTON_DISK_LIST), static_cast<QWidget*>(ui->BUTTON_TEST),
                            static_cast<QWidget*>(ui->BUTTON_TEST_2)})
        hidden->hide();
    // The form's placeholder rows; the result list fills it page by page.
    ui->TREE_PAGE->clear();
    m_strDiskName = kInternalStorage;
    m_strLocalRoot = ResultTree::modeFolder(theApp.m_CountingMode);
    ui->TREEVIEW_FILE->initialize();
    setMainUIState(REVIEW_STEP_RESULTS);
}

ReviewDlg::~ReviewDlg()
{
    delete ui;
}

bool ReviewDlg::stickReady()
{
    return theApp.m_pMediaMonitor && theApp.m_pMediaMonitor->searchUSB();
}

QDateTime ReviewDlg::now() const
{
    return seams().now ? seams().now() : QDateTime::currentDateTime();
}

void ReviewDlg::setFont()
{
    const auto apply = [](std::initializer_list<QWidget*> widgets, int pixels, int weight) {
        for (QWidget* w : widgets)
            w->setFont(notoSans(pixels, weight));
    };
    apply({ui->BUTTON_REVIEW_RESULTS, ui->BUTTON_PREVIOUS_COUNTS, ui->BUTTON_VIEW, ui->BUTTON_EXPORT, ui->BUTTON_DELETE,
           ui->BUTTON_EXPORT_CSV, ui->BUTTON_DELETE_CSV},
          20, 57);
    apply({ui->BUTTON_ZOOM}, 22, 57);
    apply({ui->LABEL_REVIEW_TITLE}, 24, QFont::Bold);
    apply({ui->LABEL_CURRENT_PAGE}, 20, QFont::DemiBold);
    apply({ui->BUTTON_VIEW_RESULTS, ui->BUTTON_VIEW_PROTOCOL, ui->BUTTON_VIEW_IMAGES, ui->BUTTON_REANALYZE}, 20, 57);
    apply({ui->LABEL_TOTAL_PAGE}, 20, QFont::Normal);
    apply({ui->TREEVIEW_FILE, ui->TREE_PAGE, ui->BUTTON_DISK, ui->LABEL_DISK_DISABLE, ui->BUTTON_DISK_LIST}, 18,
          QFont::Normal);
    apply({ui->LABEL_FREE_DISK}, 18, QFont::DemiBold);
    apply({ui->LABEL_LOGIN_ID}, 15, QFont::Light);
    apply({ui->LABEL_COMMON_TITLE, ui->LABEL_COMMON_TITLE2, ui->LABEL_COMMON_DATETIME, ui->LABEL_COMMON_PROTOCOL}, 15,
          57);
    apply({ui->LABEL_COUNT_MODE, ui->LABEL_TOTAL_CELL_CONCENTRATION, ui->LABEL_LIVE_CELL_CONCENTRATION,
           ui->LABEL_DEAD_CELL_CONCENTRATION, ui->LABEL_VIABILITY, ui->LABEL_AVERAGE_SIZE, ui->LABEL_TOTAL_CELL_NUMBER,
           ui->LABEL_LIVE_CELL_NUMBER, ui->LABEL_DEAD_CELL_NUMBER, ui->LABEL_PROTOCOL_NAME, ui->LABEL_PROTOCOL_VALUE1,
           ui->LABEL_PROTOCOL_VALUE2, ui->LABEL_PROTOCOL_VALUE3, ui->LABEL_PROTOCOL_VALUE4, ui->LABEL_PROTOCOL_VALUE5,
           ui->LABEL_PROTOCOL_VALUE6, ui->LABEL_PROTOCOL_VALUE7, ui->LABEL_RESULTS_TITLE},
          18, 57);
    apply({ui->LABEL_COUNT_MODE_TITLE, ui->LABEL_TOTAL_CELL_CONCENTRATION_TITLE, ui->LABEL_LIVE_CELL_CONCENTRATION_TITLE,
           ui->LABEL_DEAD_CELL_CONCENTRATION_TITLE, ui->LABEL_VIABILITY_TITLE, ui->LABEL_AVERAGE_SIZE_TITLE,
           ui->LABEL_TOTAL_CELL_NUMBER_TITLE, ui->LABEL_LIVE_CELL_NUMBER_TITLE, ui->LABEL_DEAD_CELL_NUMBER_TITLE,
           ui->LABEL_PROTOCOL_NAME_TITLE, ui->LABEL_PROTOCOL_TITLE1, ui->LABEL_PROTOCOL_TITLE2, ui->LABEL_PROTOCOL_TITLE3,
           ui->LABEL_PROTOCOL_TITLE4, ui->LABEL_PROTOCOL_TITLE5, ui->LABEL_PROTOCOL_TITLE6, ui->LABEL_PROTOCOL_TITLE7},
          18, QFont::Normal);
}

void ReviewDlg::setMainUIState(ReviewSteps state)
{
    for (QWidget* w : {static_cast<QWidget*>(ui->REVIEW_RESULTS), static_cast<QWidget*>(ui->PREVIOUS_COUNTS),
                       static_cast<QWidget*>(ui->BUTTON_CLOSE), static_cast<QWidget*>(ui->BUTTON_ZOOM),
                       static_cast<QWidget*>(ui->LISTWIDGET_FILELIST), static_cast<QWidget*>(ui->TREE_PAGE)})
        w->hide();
    ui->BUTTON_HOME->show();
    ui->BUTTON_PREVIOUS_COUNTS->setChecked(false);
    m_nFuncMode = m_nFuncScope = -1;

    switch (state) {
    case REVIEW_STEP_RESULTS:
        ui->BUTTON_REVIEW_RESULTS->setChecked(true);
        ui->BUTTON_VIEW->setChecked(false);
        ui->LABEL_REVIEW_TITLE->setText(QStringLiteral("Review Results"));
        ui->BUTTON_VIEW->move(0, 80);
        ui->BUTTON_EXPORT->move(0, 160);
        ui->BUTTON_DELETE->move(0, 240);
        ui->BUTTON_PREVIOUS_COUNTS->move(0, 320);
        for (QWidget* w : {ui->BUTTON_VIEW, ui->BUTTON_EXPORT, ui->BUTTON_DELETE})
            w->show();
        ui->REVIEW_RESULTS->show();
        ui->TREE_PAGE->show();
        ui->TREE_PAGE->activateWindow();
        ui->TREE_PAGE->raise();
        for (QWidget* w : {static_cast<QWidget*>(ui->BUTTON_DELETE_CSV), static_cast<QWidget*>(ui->BUTTON_EXPORT_CSV),
                           static_cast<QWidget*>(ui->VIEW_FRAME), static_cast<QWidget*>(ui->LABEL_FAKE)})
            w->hide();
        break;
    case REVIEW_STEP_VIEW:
        ui->BUTTON_VIEW->setChecked(true);
        ui->BUTTON_REVIEW_RESULTS->setChecked(false);
        ui->VIEW_FRAME->show();
        ui->VIEW_RESULTS_FRAME->show();
        ui->VIEW_RESULTS_FRAME->raise();
        ui->VIEW_IMAGE_FRAME->hide();
        ui->BUTTON_VIEW_RESULTS->setChecked(true);
        ui->BUTTON_VIEW_PROTOCOL->setChecked(false);
        ui->REVIEW_MENU->setEnabled(true);
        break;
    case REVIEW_STEP_IMAGE:
        ui->VIEW_IMAGE_FRAME->show();
        ui->VIEW_IMAGE_FRAME->raise();
        ui->BUTTON_ZOOM->show();
        ui->BUTTON_CLOSE->show();
        ui->VIEW_FRAME->hide();
        ui->VIEW_RESULTS_FRAME->hide();
        ui->REVIEW_MENU->setEnabled(false);
        break;
    case REVIEW_STEP_PREVIOUS_COUNTS:
        ui->BUTTON_PREVIOUS_COUNTS->setChecked(true);
        ui->BUTTON_REVIEW_RESULTS->setChecked(false);
        ui->BUTTON_VIEW->setChecked(false);
        ui->LABEL_REVIEW_TITLE->setText(QStringLiteral("Previous Counts"));
        for (QWidget* w : {ui->BUTTON_VIEW, ui->BUTTON_EXPORT, ui->BUTTON_DELETE})
            w->hide();
        ui->BUTTON_PREVIOUS_COUNTS->move(0, 80);
        ui->BUTTON_EXPORT_CSV->move(0, 160);
        ui->BUTTON_DELETE_CSV->move(0, 240);
        ui->BUTTON_EXPORT_CSV->show();
        ui->BUTTON_DELETE_CSV->show();
        ui->PREVIOUS_COUNTS->show();
        ui->PREVIOUS_COUNTS->raise();
        ui->LABEL_FAKE->show();
        ui->VIEW_FRAME->hide();
        break;
    default:
        return;
    }
    m_MainUIState = state;
}

void ReviewDlg::on_BUTTON_REVIEW_RESULTS_clicked(bool)
{
    setMainUIState(REVIEW_STEP_RESULTS);
}

void ReviewDlg::on_BUTTON_PREVIOUS_COUNTS_clicked()
{
    setMainUIState(REVIEW_STEP_PREVIOUS_COUNTS);
    ui->TABLEWIDGET_CSV->show();
}

void ReviewDlg::on_BUTTON_HOME_clicked()
{
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    close();
}

bool ReviewDlg::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == ui->LABEL_CURRENT_PAGE || watched == ui->LABEL_TOTAL_PAGE)
        && event->type() == QEvent::MouseButtonPress) {
        NumberKeypadDlg keypad;
        keypad.set_mode(NUMBER_KEYPAD_NUMBER);
        connect(&keypad, &NumberKeypadDlg::signal_set_value, this, &ReviewDlg::slot_set_value_page);
        keypad.set_range_value(999, 1, 3);
        m_overlay.runOver(keypad);
    }
    return QDialog::eventFilter(watched, event);
}


void ReviewDlg::prev_counts_initialize()
{
    QTableWidget* table = ui->TABLEWIDGET_CSV;
    const QList<Column> columns = modeColumns();
    table->setColumnCount(columns.size());
    for (int i = 0; i < columns.size(); ++i) {
        table->setHorizontalHeaderItem(i, new QTableWidgetItem(QLatin1String(columns[i].title)));
        table->setColumnWidth(i, columns[i].width);
    }
    table->horizontalHeader()->setFixedHeight(40);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    table->verticalHeader()->hide();
    table->setFont(notoSans(12, 57));
}

void ReviewDlg::init_tablecsv()
{
    QTableWidget* table = ui->TABLEWIDGET_CSV;
    table->setRowCount(0);
    const std::vector<std::string> lines = readMaster()->csv();
    for (auto line = lines.rbegin(); line != lines.rend() - 1; ++line)
        fillRow(table->rowCount(), *line);
    table->resizeRowsToContents();
}

void ReviewDlg::fillRow(int row, const std::string& line)
{
    std::vector<std::string> parsed;
    CSVReaderWriter::parse(line, parsed);
    QStringList fields;
    for (const std::string& field : parsed)
        fields << QString::fromStdString(field);
    QTableWidget* table = ui->TABLEWIDGET_CSV;
    table->insertRow(row);
    const QList<Column> columns = modeColumns();
    for (int i = 0; i < columns.size(); ++i) {
        auto* item = new QTableWidgetItem(cellText(columns[i], fields));
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        table->setItem(row, i, item);
    }
}

void ReviewDlg::slotAppendCSVData(std::string line)
{
    fillRow(0, line);
    ui->TABLEWIDGET_CSV->resizeRowsToContents();
}

void ReviewDlg::slotFilenameReplaced(int row, QString name)
{
    QTableWidgetItem* userFile = ui->TABLEWIDGET_CSV->item(row, 0);
    if (!userFile)
        return;
    userFile->setText(userFile->text().section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n') + name);
}

void ReviewDlg::updateCsvButtons()
{
    const bool counts = theApp.m_pPreviousCountCSV && theApp.m_pPreviousCountCSV->csv().size() >= 2;
    ui->BUTTON_EXPORT_CSV->setEnabled(counts);
    ui->BUTTON_DELETE_CSV->setEnabled(counts);
}

QString ReviewDlg::exportName() const
{
    const QDateTime time = now();
    const QString stem = QStringLiteral("PreviousCount_%1%2%3")
                             .arg(isViabilityMode() ? QStringLiteral("BF_CellCountingViability_")
                                                    : QStringLiteral("BF_TotalCellCounting_"),
                                  QLocale::c().toString(time.date(), QStringLiteral("ddMMMyyyy_")),
                                  time.time().toString(QStringLiteral("hhmmss")));
    QString name = stem + QStringLiteral(".csv");
    // Anything at a name takes it, a dangling link included: nothing on the stick is replaced.
    for (int n = 1; nameTaken(platform::rootPath(kMountPoint + QLatin1Char('/') + name)); ++n)
        name = QStringLiteral("%1 (%2).csv").arg(stem).arg(n);
    return name;
}

void ReviewDlg::on_BUTTON_EXPORT_CSV_clicked(bool)
{
    KLOG_ENTER;
    const auto finish = [this] {
        ui->BUTTON_EXPORT_CSV->setChecked(false);
        theApp.m_bBusy = false;
    };
    // The stick is asked now: it may have gone since it was last reported.
    if (!stickReady()) {
        m_overlay.message(kMessageInsertUsb);
        finish();
        return;
    }
    theApp.m_bBusy = true;
    const QString temp = platform::rootPath(kExportTemp);
    if (!readMaster()->reverseWrite(kExportTemp.toUtf8().constData())) {
        KLOG << "[Error] the table to export was not written:" << kExportTemp;
        m_overlay.message(kMessageDiskFull);
        finish();
        return;
    }
    const QString destination = kMountPoint + QLatin1Char('/') + exportName();
    if (!MediaMonitor::enabletoExport(kExportTemp, kMountPoint)) {
        m_overlay.message(kMessageDiskFull);
        QFile::remove(temp);
        finish();
        return;
    }
    const bool copied = ::copy(kExportTemp.toUtf8().constData(), destination.toUtf8().constData()) == 0;
    QFile::remove(temp);
    if (copied) {
        ::sync();
        m_overlay.message(kMessageExported);
    } else {
        // A failed copy leaves nothing under the name.
        KLOG << "[Error] the table was not copied to" << destination;
        m_overlay.message(kMessageDiskFull);
    }
    finish();
}

void ReviewDlg::on_BUTTON_DELETE_CSV_clicked(bool)
{
    KLOG_ENTER;
    theApp.m_bBusy = true;
    if (m_overlay.message(kMessageDeleteAllCounts) == 1) {
        const int mode = theApp.m_CountingMode;
        for (const QString& file : {ResultTree::previousCountMaster(mode), ResultTree::previousCountCopy(mode)}) {
            const QString physical = platform::rootPath(file);
            if (!QFile::remove(physical) && QFile::exists(physical))
                KLOG << "[Error] not removed:" << file;
        }
        delete theApp.m_pPreviousCountCSV;
        theApp.m_pPreviousCountCSV = readMaster().release();
        // What is left of the master, which is nothing once it is gone.
        init_tablecsv();
        updateCsvButtons();
    }
    ui->BUTTON_DELETE_CSV->setChecked(false);
    theApp.m_bBusy = false;
}
