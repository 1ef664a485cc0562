#pragma once

#include "Common/DimOverlay.h"
#include "Count/ImageNavigation.h"
#include "Protocol/ProtocolRecords.h"
#include "Review/ReviewFuncDlg.h"

#include <QDateTime>
#include <QDialog>
#include <QFileInfo>
#include <QFileInfoList>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <functional>
#include <string>

namespace Ui {
class ReviewDlg;
}
class QLabel;
class QListWidgetItem;
class QTreeWidgetItem;

// The main states of the review screen.
enum ReviewSteps {
    REVIEW_STEP_RESULTS = 1,          // Review Results: the result list
    REVIEW_STEP_VIEW = 3,             // the result viewer
    REVIEW_STEP_IMAGE = 4,            // the image viewer
    REVIEW_STEP_PREVIOUS_COUNTS = 5,  // Previous Counts: the table
};

// What the result list shows: the internal storage page by page, or the
// USB stick's folders opened level by level.
enum ReviewPathState {
    REVIEW_PATH_LOCAL = 1,
    REVIEW_PATH_USB = 2,
};

// The review screen behind the home screen's Review button, for the counting
// mode in force when it opened. "Review Results" pages through the stored
// results (or a USB stick's folders), shows one result's values, protocol
// and image, sends its raw image to be counted again, and exports results to
// the stick or deletes them. "Previous Counts" shows the mode's table of
// previous counts newest first, exports it as a dated CSV file and deletes
// it. theApp's busy flag is up while an export or a deletion runs. Paths are
// logical.
class ReviewDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kUsbSearchDelayMs = 100;
    static const QString kInternalStorage;  // "Internal\nStorage"
    static const QString kUsb;              // "USB"

    // The clock that dates an exported table; null: the system time.
    struct Seams
    {
        std::function<QDateTime()> now;
    };
    static Seams& seams();

    explicit ReviewDlg(QWidget* parent = nullptr);
    ~ReviewDlg() override;

    void setMainUIState(ReviewSteps state);
    ReviewSteps mainUIState() const { return m_MainUIState; }
    void setViewUIState(ReviewPathState state);

    // Fills the result viewer from a result folder's CSV file, and theApp's
    // counted protocol of the mode with its protocol (gating -1, -1); false,
    // changing nothing, when the folder holds no CSV file.
    bool view_current_item(QString folder);
    // The selected entry of the result list.
    QString selectedPath() const { return m_selectPath; }
    // Where the image viewer looks (zoom and origin).
    ImageNavigation::View imageView() const { return m_view; }
    // The image viewer's navigator box: the visible part of the image within
    // the 100 × 68 overview frame at (200, 80).
    void SetNavigatorRect(QRect& rect);
    // The export/delete dialog's choices no longer reach the screen.
    void disconnect_ReviewFunc();

    // "/KOVA/" for the internal storage, else the path up to its third "/".
    static QString extract_mountpoint(QString path);
    // The free space of the medium of `path` ("12.5 MB", "1.0 GB", ...).
    static QString disk_capacity_ToString(QString path);
    // A free space in MiB as shown: MB below 1024, then GB and TB; "Unknown" beyond.
    static QString capacityText(float mib);

signals:
    // The raw image of the viewed result, to be counted again.
    void signal_analysis(QString img_path);
    // Nothing emits it; the browser's slotResetList2 takes it.
    void signalDirectorySelected2(int order, QString dir_name);
    void signalDirectorySelected3(QString dir_name);
    void sig_select_error();

public slots:
    // The power-off question's dimming.
    void slot_set_backLabel(bool bshow) { m_overlay.request(bshow); }
    // A page number typed on the keypad; outside 1..pages nothing happens.
    void slot_set_value_page(QString page);
    void searchSubItem(QFileInfo subFile, QTreeWidgetItem* item);
    void SearchUSB();
    void slotSetDiskSpace(QString path);
    void slotApplyDiskList(QFileInfoList entries);
    void slotSetPage(QFileInfoList list, int totalpage);
    // The stick monitor: 0 a stick is ready, 1 the last one is gone.
    void slotDetectSignal(int _signal);
    void slot_umount_usb(bool bumount);
    // The choice of the export/delete dialog, carried out before it returns.
    void slot_set_FuncType(int mode, int type);
    // The previous-counts table updated in place (nothing connects them: the
    // table shows the master as it was when the screen opened): a stored
    // count line as a new top row, and a row's file name replaced (kept whole).
    void slotAppendCSVData(std::string line);
    void slotFilenameReplaced(int row, QString name);

protected:
    // A touch on the page labels opens the number keypad.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The image viewer's picture and navigator; the header clock, which the
    // home screen repaints once a minute.
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private slots:
    void on_BUTTON_HOME_clicked();
    void on_BUTTON_REVIEW_RESULTS_clicked(bool checked);
    void on_BUTTON_PREVIOUS_COUNTS_clicked();
    void on_BUTTON_VIEW_clicked(bool checked);
    void on_BUTTON_EXPORT_CSV_clicked(bool checked);
    void on_BUTTON_DELETE_CSV_clicked(bool checked);
    void on_BUTTON_EXPORT_clicked(bool checked);
    void on_BUTTON_DELETE_clicked(bool checked);
    void on_BUTTON_DISK_clicked(bool checked);
    void on_BUTTON_DISK_LIST_clicked();
    void on_LIST_DISK_itemClicked(QListWidgetItem* item);
    void on_BUTTON_TEST_clicked(bool checked);
    void on_BUTTON_TEST_2_clicked();
    void on_BUTTON_PAGE_LEFT_clicked();
    void on_BUTTON_PAGE_RIGHT_clicked();
    void on_TREE_PAGE_itemClicked(QTreeWidgetItem* item, int column);
    void on_TREE_PAGE_itemSelectionChanged();
    void on_BUTTON_VIEW_RESULTS_clicked();
    void on_BUTTON_VIEW_PROTOCOL_clicked();
    void on_BUTTON_VIEW_IMAGES_clicked();
    void on_BUTTON_REANALYZE_clicked();
    void on_BUTTON_ZOOM_clicked();
    void on_BUTTON_CLOSE_clicked();
    void on_BUTTON_REVIEW_IMAGE_clicked();

private:
    void setFont();
    // Columns, titles and look of the previous-counts table for the mode.
    void prev_counts_initialize();
    // Fills the table from the mode's master, newest count on top.
    void init_tablecsv();
    // Inserts a table row at `row` showing a stored count line.
    void fillRow(int row, const std::string& line);
    // Export and Delete All only with at least one count in theApp's table.
    void updateCsvButtons();
    // The free name of the exported table on the stick.
    QString exportName() const;
    QDateTime now() const;
    // Asked of the stick monitor now: a stick may have gone since it was reported.
    static bool stickReady();

    void createDiskList();
    QString searchName(QTreeWidgetItem* item) const;
    int currentPage() const;
    void goToPage(int n);
    // The selected folder of the page on display; -1 when none is.
    int selectedRow() const;
    // Runs the export/delete choice dialog in `mode` over the dimmed screen.
    void runChoice(int mode);
    void noSelection();
    void endChoice();
    void showInternalFreeSpace();
    // The viewer's value labels: the nine results, and the protocol's seven values and name.
    QList<QLabel*> resultValueLabels() const;
    QList<QLabel*> protocolValueLabels() const;
    // Reads the shown image again into the full-size buffer (white when it
    // is no 2592 × 1944 RGB image) and builds the picture of the zoom.
    void loadImage();

    Ui::ReviewDlg* ui;
    DimOverlay m_overlay;
    ReviewFuncDlg m_Reviewfuncdlg;
    ReviewSteps m_MainUIState = REVIEW_STEP_RESULTS;

    // The result list and the storage.
    bool m_bConnectUSB = false;
    QFileInfoList m_curPageList;  // the folders of the page on display
    QString m_selectPath;
    int m_totalPage = 1;
    QFileInfoList m_DiskList;
    QString m_strDiskName;
    QString m_strLocalRoot;  // the internal result folder
    bool m_bFuncRunning = false;
    int m_nFuncMode = -1;
    int m_nFuncScope = -1;

    // The result viewer.
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t m_ReviewTotalProtocol;
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t m_ReviewViabilityProtocol;
    QImage m_Image;  // 2592 × 1944 RGB, the shown image at full size
    QPixmap m_Pixmap;  // the picture of the current zoom
    ImageNavigation::View m_view;
    bool m_bImageShown = false;
    bool m_bDragging = false;
    QPoint m_last;  // the last press or move, in image-area coordinates
    QString m_strImagePath;
};
