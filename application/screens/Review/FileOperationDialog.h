#pragma once

#include "FileManager/FileOperator.h"

#include <QDialog>
#include <QTimer>

namespace Ui {
class FileOperationDialog;
}

// The progress box of a copy to the USB stick: a message and a 300-pixel bar
// that follows the bytes copied (or a flush of the medium, where a copy has
// one). The copy worker's completion closes it with 1 after the full bar has
// shown a moment; an error shows its reason and an OK that closes it with 0.
// The same box serves every copy of its browser: initialize() and start()
// reset it.
class FileOperationDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kBarWidth = 300;
    static constexpr int kCompletedPauseMs = 200;
    static constexpr int kCreepIntervalMs = 100;

    explicit FileOperationDialog(QWidget* parent = nullptr);
    ~FileOperationDialog() override;

    // Idle: no bar, the OK button hidden.
    void initialize();
    // Running: the exporting text and an empty bar.
    void start();
    // The bar at `percent` of its width.
    void setProgress(float percent);

    bool isRunning() const { return m_bRunning; }
    // The bar's length in pixels, 0 to 300.
    float progress() const { return m_fProgress; }

public slots:
    void slotSetTotalFileCountAndSize(int count, unsigned long size);
    void slotSetCurrentFileCountAndSize(int count, unsigned long size);
    // A flush of the medium: its own text over an empty bar, then its progress.
    void slotSyncStart();
    void slotSyncPercentage(float percentage);
    void slotCompleted();
    void slotPasteError(FileOperationPasteError code);

protected:
    // The bar creeps a pixel ahead on every paint, never past its width, so
    // a long file still shows the copy going on.
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_BUTTON_OK_clicked();

private:
    QTimer m_timer;  // repaints while running
    float m_fProgress = 0;
    bool m_bRunning = false;
    int m_nTotalCount = 0;
    unsigned long m_nTotalSize = 0;
    Ui::FileOperationDialog* ui;
};
