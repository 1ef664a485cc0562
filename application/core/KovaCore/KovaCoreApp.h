#pragma once

#include "KovaCore/TCountImageInfo.h"
#include "KovaCore/GlobalIni.h"
#include "Protocol/ProtocolRecords.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>

class QLabel;
class ImReaderWriter;
class CSVReaderWriter;
class HomeDlg;
class CountDlg;
class ReviewDlg;
class ProtocolDlg;
class SetupDlg;
class OV5642Camera;
class InitDlg;
class MediaMonitor;
class NetworkManager;
namespace VelimBio {
class CellCounter;
}

enum {
    KOVACORE_HOME_DIALOG = 0,
    KOVACORE_COUNT_DIALOG = 1,
    KOVACORE_REVIEW_DIALOG = 2,
    KOVACORE_PROTOCOL_DIALOG = 3,
    KOVACORE_SETUP_DIALOG = 4,
};

enum counting_mode_e { BF_TOTAL_CELL_COUNTING = 0, BF_CELL_COUNTING_VIABILITY = 1 };

enum slide_type_e { SLIDE_TYPE_2CH = 2, SLIDE_TYPE_REUSABLE = 9, SLIDE_TYPE_VALIDATION = 10 };

struct SaveReview_s
{
    static constexpr char kSequence[] = "Sequence";
    static constexpr char kTimeStamp[] = "TimeStamp";

    bool m_bAutoSave = false;  // save after each count
    QString m_strBaseName;
    QString m_strSuffixType;  // kSequence or kTimeStamp
    int32_t m_nSequenceCount = 0;  // next file index
    bool m_bEnableScaleBar = false;

    // The longest base name the settings page takes before a sequence number
    // or a time stamp: the name, "_" and the suffix stay within 22 characters.
    static int maxBaseNameLength(bool sequence) { return sequence ? 16 : 7; }
    // A base name the settings page could have delivered: the name filter's
    // characters only, not blank, no blank at either end, and no longer than
    // the sequence's maxBaseNameLength, whatever the suffix (the page keeps
    // such a name when the user switches to the time stamp).
    static bool isUsableBaseName(const QString& name);
};

// As read from the settings file; the network service keeps its own files.
struct Network_s
{
    bool m_bAutoIP = false;
    QStringList m_listStaticIP;
    QStringList m_listStaticGateway;
    QStringList m_listStaticSubnet;
    QString m_strSSID;
    QString m_strPSK;
};

struct Calibration_s
{
    QString Last_ref_calibration;  // "-" when none
    int32_t Z_Reference = 0;
    int32_t Z_ResetPosition = 0;
    int32_t Z_Reference_2ch = 0;
    int32_t Z_Reference_Reusable = 0;
    int32_t Z_Reference_Validation = 0;
    QString Last_calibration;  // "-" when none
    QString Background_value;  // exposure of the BFN and CUS files, "BFN, CUS"
};

// The state that more than one screen, thread or service needs. Every screen
// reads and writes the fields directly and nothing locks them, so only the
// GUI thread writes while a count runs. Construction touches no file, process or Qt event loop, so
// the global instance is safe to build before main.
class KovaCoreApp
{
public:
    static constexpr int kCanvasRows = 1944;
    static constexpr int kCanvasCols = 2592;

    KovaCoreApp();

    void set_background_ptr(QLabel* label) { m_pBackgroundLabel = label; }
    QLabel* get_background_ptr() const { return m_pBackgroundLabel; }

    // Scale bar drawn onto captured images. createScaleBar refuses (false,
    // nothing changed) a bar that would not be 1 to 2592 pixels wide.
    bool createScaleBar(float micronPerPixel, float lengthUm, int r, int g, int b);
    void paintScaleBar(cv::Mat& canvas) const;
    void prepareScalebar(bool black);
    void setScaleBarImg(cv::Mat image);
    cv::Mat getScaleBarImg();

    // User-typed names: keep A-Z a-z 0-9 blank "-" "_"; drop trailing blanks.
    static QString checkNameRule(QString name);
    static QString removeLastSpace(QString name);

    // Logical path of the previous-count table of a counting mode: 0 and
    // sets `path`, or -1 (path unchanged) for any other type.
    static int get_local_previous_count_csv_path(int type, std::string& path);

    // Protocol files (defined with the protocol records). Paths are logical.
    static QString gen_local_protocol_ini_path(int type, QString name);
    static int mk_DEFAULT_protocol_file(int type, QString path);
    static int mk_PBMC_protocol_file(int type, QString path);
    static int mk_BFV_protocol_file(int index, QString path);
    static int get_local_protocol_BF_TOTAL_CELL_COUNTING(QString name, QString path,
                                                         PROTOCOL_BF_TOTAL_CELL_COUNTING_t& out);
    static int get_local_protocol_BF_CELL_COUNTING_VIABILITY(QString name, QString path,
                                                             PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& out);
    // Writes the parameters of a protocol (not its name, not its gating) into
    // the file at `path` under the INI names of its kind; other keys of the
    // file stay. 0, or -1 when the file could not be written.
    static int put_local_protocol(QString path, const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& protocol);
    static int put_local_protocol(QString path, const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& protocol);
    static int get_local_protocol_BF_TOTAL_CELL_COUNTING_item(PROTOCOL_BF_TOTAL_CELL_COUNTING_ITEM_e item,
                                                              local_protocol_t* out);
    static int get_local_protocol_BF_CELL_COUNTING_VIABILITY_item(PROTOCOL_BF_CELL_COUNTING_VIABILITY_ITEM_e item,
                                                                  local_protocol_t* out);

    QLabel* m_pBackgroundLabel = nullptr;  // not owned
    ImReaderWriter* m_pImReaderWriter = nullptr;
    CSVReaderWriter* m_pPreviousCountCSV = nullptr;
    HomeDlg* m_pHomeDlg = nullptr;
    CountDlg* m_pCountDlg = nullptr;
    ReviewDlg* m_pReviewDlg = nullptr;
    ProtocolDlg* m_pProtocolDlg = nullptr;
    SetupDlg* m_pSetupDlg = nullptr;
    OV5642Camera* m_pCamera = nullptr;
    VelimBio::CellCounter* m_pCellCounter = nullptr;
    InitDlg* m_pInitDlg = nullptr;
    MediaMonitor* m_pMediaMonitor = nullptr;
    NetworkManager* m_pNetworkManager = nullptr;  // made by main at start-up, for the whole run

    QString m_strDateTime;  // "dd MMM yyyy hh:mm"
    QString m_strTotalProtocolName;
    QString m_strViabilityProtocolName;
    int32_t m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    QString m_SerialNumber;
    QString m_CurrentVersion;
    double m_fVolumeFactor = 0.0;
    double m_fLensMagnification = 0.0;
    double m_fSlope = 0.0;
    double m_fIntercept = 0.0;
    QString m_strLastUpdate;
    bool m_bAutofocusedCounting = false;
    int32_t m_nAutofocusOffset = 0;
    bool m_bAutoShutdown = false;
    int32_t m_nAutoShutdownTime = 0;  // hours
    int32_t m_CountingMode = BF_TOTAL_CELL_COUNTING;  // counting_mode_e
    int32_t m_nSkipframe = 0;
    bool m_bAutofocusDebug = false;
    bool m_bAgingMode = false;
    int32_t m_nAgingProgress = 0;
    int32_t m_nAgingCount = 0;
    bool m_bFactoryReset = false;
    bool m_bBusy = false;
    bool m_bAutofocusing = false;
    bool m_bCalibrating = false;
    TCountImageInfo m_CountResult;
    int32_t m_nSlideType = 0;  // slide_type_e
    QString m_strFinalName;
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t m_Loaded_Total_Protocol;
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t m_Loaded_Viability_Protocol;
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t m_Counted_Total_Protocol;
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t m_Counted_Viability_Protocol;
    SaveReview_s m_SaveReview;
    Network_s m_Network;
    Calibration_s m_Calibration;
    int32_t m_nZstageCenterPos = 0;
    int32_t m_nZstageCurrentPos = 0;
    bool m_bProgramExit = false;
    bool m_bAutoExposureOn = false;
    float m_fScaleBarLength = 0.0f;  // µm
    float m_fMicronPerPixel = 0.0f;
    QImage m_ScaleBarImage;
    QString m_strScaleBarLabel;
    QColor m_ScaleBarColor;
    cv::Mat m_ScaleBarMat;  // 1944 x 2592, 8-bit, 3 channels
};

extern KovaCoreApp theApp;

// Path of the camera calibration file in force ("/opt/KOVA3/conf/...", logical).
extern std::string CUR_CAL_INI;

// 1 once the service function has started the capture program in this run.
extern int g_running_capture;
