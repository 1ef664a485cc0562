#pragma once

#include "KovaCore/TCountImageInfo.h"
#include "Protocol/ProtocolRecords.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <string>

class OV5642Camera;
namespace VelimBio {
class CellCounter;
}

// One cell count away from the GUI thread. A count either captures a fresh
// full-resolution frame, checks it and runs the engine on it, or reads the raw
// image of an earlier result and runs the same engine steps (re-analysis).
// Either way the result lands in m_CountInfo and completed() follows.
//
// The counting screen moves the worker onto its own thread, sets everything a
// run reads (registerCellCounter, the parameters, m_bReAnalysis and
// m_image_path, clearCountInfo) and then starts doWork() through a queued
// signal; the queued completed() hands the record back. Nothing is locked.
class DoCellCounting : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFrameRows = 1944;
    static constexpr int kFrameCols = 2592;
    static constexpr std::size_t kFrameBytes = std::size_t(kFrameRows) * kFrameCols * 3;
    static constexpr int kFullResolutionMode = 2;
    static constexpr int kFrameAttempts = 15;
    // Only the first attempts are checked for a corrupt transfer.
    static constexpr int kCheckedAttempts = 6;
    static constexpr float kBlackRatio = 0.3f;
    static constexpr int kCameraRestMs = 100;

    explicit DoCellCounting(QObject* parent = nullptr);

    // Neither is owned.
    void registerCellCounter(VelimBio::CellCounter* counter, OV5642Camera* camera);
    // green_1280: green mean of the live image, the reference a full frame
    // must reach (less the application's skip tolerance); ini_file: the camera
    // calibration for the full-resolution capture.
    void setCountingParameters(float green_1280, std::string ini_file);
    // The protocol of the next count, bounded to what the protocol screen
    // allows (boundedForCount): an edited file cannot stall or crash a count.
    void set_parameters_BF_TOTAL_CELL_COUNTING(counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t protocol);
    void set_parameters_BF_CELL_COUNTING_VIABILITY(counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t protocol);
    // Zeroes every number of m_CountInfo; the histograms stay.
    void clearCountInfo();
    // True when a full frame's green mean is bright enough to be taken
    // (strictly above the reference less the skip tolerance).
    bool compareInt(float green_5m);
    // Fills the rest of m_CountInfo from the engine after a count, and the
    // application's result name.
    void setCountingResults();

    // The folder name that holds a stored image: the second-to-last part of
    // the path split at "/"; empty when there is none.
    static QString resultName(const QString& path);

    // Developer aid: writes a full RGB24 frame, bytes as they are, as
    // "<number>.tif" in the developer's dump folder "/root/grab_img".
    // False for a null frame or a file that could not be written.
    static bool saveError(unsigned char* rgb24, int number);

    TCountImageInfo m_CountInfo;
    QString m_image_path;  // raw image of a re-analysis (logical path)
    bool m_bReAnalysis = false;

public slots:
    void doWork();

signals:
    // The count ran through the engine; m_CountInfo holds its result.
    void completed();
    // Never emitted: a count ends with completed() or one of the failures below.
    void workFinished();
    void completed(OV5642Camera* camera);
    void completed3();
    // The camera did not open at full resolution (or gave no frame there).
    void signalCameraModeChangeFailed();
    // The stored image could not be read or is not a full 2592 × 1944 RGB
    // frame; nothing was counted and m_CountInfo is as it was.
    void signalReAnalysisFailed();

private:
    void run_captureAndAnalysis();
    void run_reAnalysis();
    // Takes the first acceptable of up to kFrameAttempts frames into `buffer`;
    // false when the camera gives none.
    bool captureFrame(unsigned char* buffer);
    // The engine's steps of one count on a full frame.
    void analyse(unsigned char* frame);

    VelimBio::CellCounter* m_pCellCounter = nullptr;
    OV5642Camera* m_pCamera = nullptr;
    float m_green_1280 = 0.0f;
    std::string m_ini_file;
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t m_total_protocol;
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t m_viability_protocol;
};
