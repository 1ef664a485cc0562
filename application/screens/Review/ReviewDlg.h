#pragma once

#include "Common/DimOverlay.h"

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <functional>
#include <string>

namespace Ui {
class ReviewDlg;
}

// The main states of the review screen.
enum ReviewSteps {
    REVIEW_STEP_RESULTS = 1,          // Review Results: the result list
    REVIEW_STEP_VIEW = 3,             // the result viewer
    REVIEW_STEP_IMAGE = 4,            // the image viewer
    REVIEW_STEP_PREVIOUS_COUNTS = 5,  // Previous Counts: the table
};

// The review screen behind the home screen's Review button, for the counting
// mode in force when it opened. "Review Results" pages through the stored
// results; "Previous Counts" shows the mode's previous-counts table newest
// first, exports it to the USB stick as a dated CSV file and deletes it.
// theApp's busy flag is up while an export or a deletion runs.
class ReviewDlg : public QDialog
{
    Q_OBJECT

public:
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

public slots:
    // The power-off question's dimming.
    void slot_set_backLabel(bool bshow) { m_overlay.request(bshow); }

protected:
    // A touch on the page labels opens the number keypad.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Keeps the header clock current: the home screen repaints once a minute.
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_BUTTON_HOME_clicked();
    void on_BUTTON_REVIEW_RESULTS_clicked(bool checked);
    void on_BUTTON_PREVIOUS_COUNTS_clicked();
    void on_BUTTON_EXPORT_CSV_clicked(bool checked);
    void on_BUTTON_DELETE_CSV_clicked(bool checked);

private:
    void setFont();
    // Columns, titles and look of the previous-counts table for the mode.
    void prev_counts_initialize();
    // Fills the table from the mode's master, newest count on top.
    void init_tablecsv();
    // Export and Delete All only with at least one count in theApp's table.
    void updateCsvButtons();
    // The free name of the exported table on the stick.
    QString exportName() const;
    QDateTime now() const;

    Ui::ReviewDlg* ui;
    DimOverlay m_overlay;
    ReviewSteps m_MainUIState = REVIEW_STEP_RESULTS;
};
