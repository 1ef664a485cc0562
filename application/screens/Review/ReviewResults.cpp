// The review screen's stored results: the storage selector and its free
// space, the result list with its pages or the stick's folders, the stick
// coming and going, and the export and deletion of results.
#include "Review/ReviewDlg.h"

#include "ui_ReviewDlg.h"

#include "FileManager/ResultFolderModel.h"
#include "HomeDlg/PowerControl.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "MediaMonitor/MediaMonitor.h"
#include "Review/FileSystemItem.h"
#include "Message/MessageDlg.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFontMetrics>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int kMessageSelectFirst = 39;
constexpr int kMessageResultUnreadable = 40;
constexpr int kMessageInsertUsb = 45;
const QString kStick = QString::fromLatin1(ResultTree::kStickMount);

// The list's look: on the internal storage the selected row opens to the
// branch cell; on the stick it is framed whole and the branches stay white.
const QString kCommonListStyle = QStringLiteral(
    "QTreeWidget { background-color: rgb(255, 255, 255); border: none; color: rgb(0, 0, 0); }\n"
    "QTreeWidget::item { height: 40px; padding-left: 5px; background-color: rgb(255, 255, 255); color: rgb(0, 0, 0); }\n"
    "QTreeWidget::branch:has-children:!has-siblings:closed, QTreeWidget::branch:closed:has-children:has-siblings "
    "{ image: url(\":/Review/branch close 2.png\"); }\n"
    "QTreeWidget::branch:open:has-children:!has-siblings, QTreeWidget::branch:open:has-children:has-siblings "
    "{ image: url(\":/Review/branch open 2.png\"); }\n");
const QString kLocalListStyle = kCommonListStyle + QStringLiteral(
    "QTreeWidget::item:selected { border: 1px solid rgb(115, 152, 255); border-left: none; "
    "background-color: rgba(115, 152, 255, 30%); }\n"
    "QTreeWidget::branch:selected { border: 1px solid rgb(115, 152, 255); border-right: none; "
    "background-color: rgb(213, 224, 255); }\n");
const QString kUsbListStyle = kCommonListStyle + QStringLiteral(
    "QTreeWidget::item:selected { border: 1px solid rgb(115, 152, 255); background-color: rgba(115, 152, 255, 30%); }\n"
    "QTreeWidget::branch { background-color: rgb(255, 255, 255); }\n");

}  // namespace

// --- the storage

QString ReviewDlg::extract_mountpoint(QString path)
{
    if (path.startsWith(QLatin1String("/KOVA")))
        return QStringLiteral("/KOVA/");
    int slash = -1;
    for (int found = 0; found < 3; ++found) {
        slash = path.indexOf(QLatin1Char('/'), slash + 1);
        if (slash < 0)
            return path;
    }
    return path.left(slash);
}

QString ReviewDlg::capacityText(float mib)
{
    if (mib < 1024)
        return QStringLiteral("%1 MB").arg(double(mib), 0, 'f', 1);
    const char* const units[] = {"GB", "TB"};
    double value = mib;
    for (const char* unit : units) {
        value /= 1024;
        if (value < 1024)
            return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(unit));
    }
    return QStringLiteral("Unknown");
}

QString ReviewDlg::disk_capacity_ToString(QString path)
{
    const QString mountPoint = extract_mountpoint(path);
    if (mountPoint.isEmpty())
        return QStringLiteral("Unknown");
    return capacityText(MediaMonitor::freeDiskSpace(mountPoint));
}

void ReviewDlg::showInternalFreeSpace()
{
    ui->LABEL_FREE_DISK->setText(QStringLiteral("Free | ") + disk_capacity_ToString(m_strLocalRoot));
}

void ReviewDlg::slotSetDiskSpace(QString path)
{
    if (path.isEmpty())
        ui->LABEL_FREE_DISK->clear();
    else
        ui->LABEL_FREE_DISK->setText(QStringLiteral("Free | ") + disk_capacity_ToString(path));
}

void ReviewDlg::SearchUSB()
{
    m_bConnectUSB = stickReady();
    createDiskList();
}

void ReviewDlg::createDiskList()
{
    ui->LIST_DISK->clear();
    m_DiskList.clear();
    const QString internal = ui->TREEVIEW_FILE->folders()->localDisk();
    m_strLocalRoot = internal;
    showInternalFreeSpace();
    m_DiskList << QFileInfo(internal);
    if (m_bConnectUSB) {
        ui->LABEL_DISK_DISABLE->hide();
        ui->LIST_DISK->addItem(kUsb);
        m_DiskList << QFileInfo(kStick);
    } else {
        ui->LABEL_DISK_DISABLE->raise();
        ui->LABEL_DISK_DISABLE->show();
    }
    ui->BUTTON_DISK->setText(kInternalStorage);
    ui->BUTTON_DISK_LIST->setText(kUsb);
    m_strDiskName = kInternalStorage;
}

void ReviewDlg::slotApplyDiskList(QFileInfoList entries)
{
    const auto holds = [](const QFileInfoList& list, const QFileInfo& entry) {
        return std::any_of(list.begin(), list.end(),
                           [&](const QFileInfo& e) { return e.filePath() == entry.filePath(); });
    };
    if (entries.size() < m_DiskList.size()) {
        // Every entry after the internal folder has the row of its place minus one.
        for (int i = m_DiskList.size() - 1; i >= 1; --i) {
            if (holds(entries, m_DiskList[i]))
                continue;
            if (ui->LIST_DISK->currentRow() == i - 1)
                ui->LIST_DISK->setCurrentRow(0);
            delete ui->LIST_DISK->takeItem(i - 1);
            m_DiskList.removeAt(i);
        }
        return;
    }
    for (const QFileInfo& entry : entries) {
        if (holds(m_DiskList, entry))
            continue;
        m_DiskList << entry;
        ui->LIST_DISK->addItem(entry.fileName());
    }
}

void ReviewDlg::slotDetectSignal(int _signal)
{
    KLOG_ENTER;
    KLOG_VALUE("signal", _signal);
    if (_signal != 1) {
        m_bConnectUSB = true;
        ui->LABEL_DISK_DISABLE->hide();
        return;
    }
    m_bConnectUSB = false;
    if (m_strDiskName == kUsb) {
        ui->BUTTON_DISK->setText(kInternalStorage);
        ui->BUTTON_DISK_LIST->setText(kUsb);
        m_strDiskName = kInternalStorage;
        setViewUIState(REVIEW_PATH_LOCAL);
        showInternalFreeSpace();
        emit signalDirectorySelected3(m_strDiskName);
    } else if (m_Reviewfuncdlg.isVisible()) {
        m_Reviewfuncdlg.close();
    }
    ui->LABEL_DISK_DISABLE->raise();
    ui->LABEL_DISK_DISABLE->show();
}

void ReviewDlg::on_BUTTON_DISK_clicked(bool checked)
{
    ui->BUTTON_DISK_LIST->setVisible(checked);
    if (checked)
        ui->BUTTON_DISK_LIST->raise();
}

void ReviewDlg::on_BUTTON_DISK_LIST_clicked()
{
    const bool toStick = ui->BUTTON_DISK_LIST->text() == kUsb;
    m_strDiskName = toStick ? kUsb : kInternalStorage;
    ui->BUTTON_DISK->setText(m_strDiskName);
    ui->BUTTON_DISK_LIST->setText(toStick ? kInternalStorage : kUsb);
    ui->BUTTON_DISK->setChecked(false);
    ui->BUTTON_DISK_LIST->hide();
    emit signalDirectorySelected3(m_strDiskName);
    setViewUIState(toStick ? REVIEW_PATH_USB : REVIEW_PATH_LOCAL);
}

void ReviewDlg::on_LIST_DISK_itemClicked(QListWidgetItem* item)
{
    m_strDiskName = item->text() == kUsb ? kUsb : kInternalStorage;
    emit signalDirectorySelected3(m_strDiskName);
    ui->BUTTON_DISK->setText(m_strDiskName);
    if (m_strDiskName == kInternalStorage) {
        ui->TREE_PAGE->show();
        ui->TREE_PAGE->activateWindow();
        ui->TREE_PAGE->raise();
        ui->REVIEW_PAGE->show();
    }
    ui->BUTTON_DISK->setChecked(false);
    ui->LIST_DISK->hide();
}

// --- the result list

void ReviewDlg::setViewUIState(ReviewPathState state)
{
    QTreeWidget* list = ui->TREE_PAGE;
    const bool local = state == REVIEW_PATH_LOCAL;
    if (!local && state != REVIEW_PATH_USB)
        return;
    list->setGeometry(380, 118, 421, local ? 300 : 361);
    const Qt::ScrollBarPolicy bars = local ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn;
    list->setVerticalScrollBarPolicy(bars);
    list->setHorizontalScrollBarPolicy(bars);
    list->verticalScrollBar()->setEnabled(!local);
    list->horizontalScrollBar()->setEnabled(!local);
    list->setStyleSheet(local ? kLocalListStyle : kUsbListStyle);
    if (local)
        ui->REVIEW_PAGE->show();
    ui->BUTTON_EXPORT->setEnabled(local);
    ui->BUTTON_DELETE->setEnabled(local);
    list->show();
    list->activateWindow();
    list->raise();
}

int ReviewDlg::currentPage() const
{
    return ui->LABEL_CURRENT_PAGE->text().toInt();
}

void ReviewDlg::goToPage(int n)
{
    ui->LABEL_CURRENT_PAGE->setText(QString::number(n));
    ui->LABEL_TOTAL_PAGE->setText(QStringLiteral("/ %1").arg(m_totalPage));
    // A reload of the folder lists the page on display, not page 1.
    ui->TREEVIEW_FILE->folders()->m_nCurrentPage = n;
    ui->TREEVIEW_FILE->folders()->page(n);
}

void ReviewDlg::on_BUTTON_PAGE_LEFT_clicked()
{
    const int page = currentPage();
    if (m_totalPage == 1 || page < 1)
        return;
    goToPage(page >= 2 ? page - 1 : m_totalPage);
}

void ReviewDlg::on_BUTTON_PAGE_RIGHT_clicked()
{
    const int page = currentPage();
    if (m_totalPage == 1 || page > m_totalPage)
        return;
    goToPage(page < m_totalPage ? page + 1 : 1);
}

void ReviewDlg::slot_set_value_page(QString page)
{
    const int n = page.toInt();
    if (n >= 1 && n <= m_totalPage)
        goToPage(n);
}

void ReviewDlg::slotSetPage(QFileInfoList list, int totalpage)
{
    ui->TREE_PAGE->clear();
    m_totalPage = std::max(totalpage, 1);
    m_curPageList = list;
    // The last page emptied by a deletion: the page before it.
    if (currentPage() > m_totalPage) {
        goToPage(m_totalPage);
        return;
    }
    ui->LABEL_TOTAL_PAGE->setText(QStringLiteral("/ %1").arg(m_totalPage));
    if (currentPage() == 1)
        ui->LABEL_CURRENT_PAGE->setText(QStringLiteral("1"));
    // The stick's folders mirror the stick as they are opened.
    const bool stick = ResultFolderModel::isMedia(ui->TREEVIEW_FILE->folders()->selectPath());
    for (const QFileInfo& folder : list) {
        QTreeWidgetItem* item;
        if (stick) {
            auto* mirror = new fs::FileSystemItem;
            mirror->setRootPath(folder.filePath());
            item = mirror;
        } else {
            item = new QTreeWidgetItem;
        }
        item->setText(0, folder.fileName());
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
        ui->TREE_PAGE->addTopLevelItem(item);
    }
    update();
}

QString ReviewDlg::searchName(QTreeWidgetItem* item) const
{
    QString name;
    for (QTreeWidgetItem* level = item; level; level = level->parent())
        name.prepend(QLatin1Char('/') + level->text(0));
    return name;
}

void ReviewDlg::searchSubItem(QFileInfo subFile, QTreeWidgetItem* item)
{
    auto* folder = dynamic_cast<fs::FileSystemItem*>(item);
    if (!folder || folder->filePath() != subFile.filePath())
        return;
    // Listed again at each selection, and followed from then on.
    qDeleteAll(item->takeChildren());
    folder->searchSubItem(folder, false);
    const QFontMetrics metrics(ui->TREE_PAGE->font());
    bool folders = false;
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (child->isHidden())
            continue;
        folders = true;
        child->setSizeHint(0, QSize(metrics.horizontalAdvance(child->text(0)) + 40, 40));
    }
    item->setChildIndicatorPolicy(folders ? QTreeWidgetItem::ShowIndicator : QTreeWidgetItem::DontShowIndicator);
    update();
}

void ReviewDlg::on_TREE_PAGE_itemSelectionChanged()
{
    const QList<QTreeWidgetItem*> selected = ui->TREE_PAGE->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* entry = selected.first();
    m_selectPath.clear();
    const QString relative = entry->parent() ? searchName(entry).mid(1) : entry->text(0);
    const QString base = m_strDiskName == kInternalStorage ? m_strLocalRoot : kStick;
    const QString full = base + QLatin1Char('/') + relative;
    if (base == kStick)
        searchSubItem(QFileInfo(full), entry);
    m_selectPath = full;
}

void ReviewDlg::on_TREE_PAGE_itemClicked(QTreeWidgetItem* item, int)
{
    if (!item->parent() && item->treeWidget())
        item->treeWidget()->expandItem(item);
    update();
}

void ReviewDlg::on_BUTTON_VIEW_clicked(bool)
{
    KLOG_ENTER;
    if (ui->TREE_PAGE->selectedItems().isEmpty()) {
        m_overlay.message(kMessageSelectFirst);
        ui->BUTTON_VIEW->setChecked(false);
        return;
    }
    if (view_current_item(m_selectPath)) {
        setMainUIState(REVIEW_STEP_VIEW);
        return;
    }
    m_overlay.message(kMessageResultUnreadable);
    ui->BUTTON_VIEW->setChecked(false);
}

void ReviewDlg::on_BUTTON_TEST_clicked(bool checked)
{
    if (checked) {
        ui->TREE_PAGE->hide();
        return;
    }
    ui->TREE_PAGE->show();
    ui->TREE_PAGE->activateWindow();
    ui->TREE_PAGE->raise();
}

void ReviewDlg::on_BUTTON_TEST_2_clicked()
{
    view_current_item(QString());
}

// --- export and deletion

void ReviewDlg::on_BUTTON_EXPORT_clicked(bool)
{
    KLOG_ENTER;
    // Pressed before the screen's first look for a stick: look now.
    if (!m_bConnectUSB)
        m_bConnectUSB = stickReady();
    if (!m_bConnectUSB) {
        m_overlay.message(kMessageInsertUsb);
        ui->BUTTON_EXPORT->setChecked(false);
        return;
    }
    runChoice(ReviewFuncDlg::Export);
    ui->BUTTON_EXPORT->setChecked(false);
}

void ReviewDlg::on_BUTTON_DELETE_clicked(bool)
{
    KLOG_ENTER;
    runChoice(ReviewFuncDlg::Delete);
    ui->BUTTON_DELETE->setChecked(false);
}

void ReviewDlg::runChoice(int mode)
{
    connect(&m_Reviewfuncdlg, &ReviewFuncDlg::sig_set_FuncnType, this, &ReviewDlg::slot_set_FuncType,
            Qt::UniqueConnection);
    if (mode == ReviewFuncDlg::Export)
        connect(&m_Reviewfuncdlg, &ReviewFuncDlg::sig_umount_usb, this, &ReviewDlg::slot_umount_usb,
                Qt::UniqueConnection);
    connect(this, &ReviewDlg::sig_select_error, &m_Reviewfuncdlg, &ReviewFuncDlg::slot_select_error,
            Qt::UniqueConnection);
    m_Reviewfuncdlg.setMode(mode);
    m_Reviewfuncdlg.setState(ReviewFuncDlg::Choose);
    m_bFuncRunning = false;
    theApp.m_bBusy = true;
    m_overlay.runOver(m_Reviewfuncdlg);
    // What the dialog's last choice left to be drawn is drawn before the screen shows again.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    disconnect(&m_Reviewfuncdlg, nullptr, this, nullptr);
    disconnect(this, &ReviewDlg::sig_select_error, &m_Reviewfuncdlg, nullptr);
    theApp.m_bBusy = false;
}

int ReviewDlg::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = ui->TREE_PAGE->selectedItems();
    if (selected.isEmpty() || selected.first()->parent())
        return -1;
    // The page's folders stand in the list in the order they came.
    const int row = ui->TREE_PAGE->indexOfTopLevelItem(selected.first());
    if (row < 0 || row >= m_curPageList.size() || m_curPageList[row].fileName() != selected.first()->text(0))
        return -1;
    return row;
}

void ReviewDlg::noSelection()
{
    if (m_overlay.message(kMessageSelectFirst) == 1)
        emit sig_select_error();
    m_nFuncMode = m_nFuncScope = -1;
    theApp.m_bBusy = false;
}

void ReviewDlg::endChoice()
{
    showInternalFreeSpace();
    theApp.m_bBusy = false;
    m_bFuncRunning = false;
    m_nFuncMode = m_nFuncScope = -1;
}

void ReviewDlg::slot_set_FuncType(int mode, int type)
{
    KLOG_ENTER;
    KLOG_VALUE("mode", mode);
    KLOG_VALUE("type", type);
    const bool exporting = mode == ReviewFuncDlg::Export;
    if (exporting && !stickReady()) {
        // Gone since the dialog opened: nothing is written; the dialog stays.
        theApp.m_bBusy = false;
        return;
    }
    if (m_bFuncRunning)
        return;
    m_nFuncMode = mode;
    m_nFuncScope = type;
    ResultFolderModel* folders = ui->TREEVIEW_FILE->folders();
    const int row = selectedRow();
    if (type == ReviewFuncDlg::Current && row < 0) {
        noSelection();
        return;
    }
    m_bFuncRunning = true;
    folders->m_nCurrentPage = currentPage();
    if (exporting) {
        // A power-off confirmed during the copy waits for its end: the stick
        // stays mounted under it.
        PowerControl* power = PowerControl::instance();
        if (power)
            power->setExporting(true);
        bool copied;
        if (type == ReviewFuncDlg::Current) {
            ui->TREEVIEW_FILE->copy2(m_curPageList[row]);
            copied = ui->TREEVIEW_FILE->paste2(QFileInfo(kStick));
        } else {
            folders->m_dstPath = kStick;
            copied = ui->TREEVIEW_FILE->copy_all();
        }
        if (power)
            power->setExporting(false);
        // A failed copy has shown its reason in the progress box.
        if (copied)
            m_Reviewfuncdlg.setState(ReviewFuncDlg::Done);
        else
            m_Reviewfuncdlg.close();
    } else {
        if (type == ReviewFuncDlg::Current) {
            folders->erase2(m_curPageList[row]);
        } else {
            folders->erase_all();
            for (QLabel* label : resultValueLabels() + protocolValueLabels())
                label->clear();
            ui->BUTTON_VIEW_IMAGES->setEnabled(false);
            ui->BUTTON_REANALYZE->setEnabled(false);
            ui->LABEL_CURRENT_PAGE->setText(QStringLiteral("1"));
            ui->LABEL_TOTAL_PAGE->setText(QStringLiteral("/ 1"));
            ui->TREE_PAGE->clear();
        }
        // The viewed result may be gone: back to the list, still dimmed for the dialog.
        if (m_MainUIState == REVIEW_STEP_VIEW) {
            setMainUIState(REVIEW_STEP_RESULTS);
            m_overlay.show();
        }
        m_Reviewfuncdlg.setState(ReviewFuncDlg::Done);
    }
    endChoice();
}

void ReviewDlg::disconnect_ReviewFunc()
{
    disconnect(&m_Reviewfuncdlg, &ReviewFuncDlg::sig_set_FuncnType, this, &ReviewDlg::slot_set_FuncType);
}

void ReviewDlg::slot_umount_usb(bool bumount)
{
    if (bumount)
        slotDetectSignal(1);
    theApp.m_bBusy = false;
}
