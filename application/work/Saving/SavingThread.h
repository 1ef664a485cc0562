#pragma once

#include "Report/PdfReport.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <functional>
#include <vector>

// One output of a finished count, written into the result tree: the analysed
// image (kind 0, D/N/N_TAG.tif), the raw frame (kind 1, D/N/N_RAW.tif), the
// PDF report (kind 2) or the per-result CSV file (kind 3, D/N/N.csv), where D
// is the destination folder and N the result name. Despite the name it runs
// in the calling (GUI) thread: configure, run() once, discard. The count is
// read from theApp and its engine at the moment run() writes; the folder D/N
// must exist.
class SavingThread : public QObject
{
    Q_OBJECT

public:
    enum Kind { AnalysedImage = 0, RawImage = 1, Report = 2, CsvFile = 3 };

    explicit SavingThread(QObject* parent = nullptr);

    // The kinds selected by the save dialog's bit set (8 analysed image,
    // 4 raw image, 2 report, 1 CSV), in the order they are to be written.
    static std::vector<int> kindsFromBits(unsigned char bits);

    void setType(int type);
    void setDestination(QString path, QString filename);
    void set_date(QString& date);
    // Called when the report (kind 2) cannot be written, as the report's
    // notice (PdfReport::setErrorNotice): the screen that runs the job shows
    // the modal message 15 here.
    void setReportErrorNotice(std::function<void()> notice);

    // Writes the output of the kind, then emits signalSaveCompleted with
    // whether it was written completely.
    void run();

    // The key=value text stored in the ImageDescription of every saved TIFF;
    // the file name takes no part in it.
    QString createMetaData(QString image_file_name);

    bool savingAnalyzedImages();
    bool savingRawImages();
    bool savingReport_FX7();
    // The older one-page report of the same name: results, protocol and two
    // small pictures of the field, written straight into the result folder
    // (on the stick too). Not one of run()'s outputs.
    bool savingReport();
    bool savingCSV();

    // A new report page as the two-page report makes it: A4, units of 1/300
    // inch, `background` over width × height and the installation's logo in
    // the lower right corner (a missing picture is left out).
    static HPDF_Page prepareNewPDFPage(HPDF_Doc doc, float width, float height, QImage& background);

    // A value split as a concentration is printed: 2.35e+06 gives "2.35" and
    // "6". A value with no positive exponent in that form (1.5e-03, nan,
    // inf) gives its 'g' form of 6 digits and "".
    static QStringList separate_convalue(double value);

    // The Gating column: "Y" for 1, "N" for 0, "" otherwise.
    static QString get_sizeGating2(int flag);

    // Centre crop of 1/factor of the image, scaled back to the image's size
    // (bilinear). A factor below 2 gives the whole image.
    static void zoom_image(int factor, cv::Mat& source, cv::Mat& target);

    // The protocol of the last count: the total one in counting mode 0, the
    // viability one otherwise.
    static ReportProtocol countedProtocol();

    // The y of line `index` of a column that starts at y0 and climbs by step:
    // y0 − index × step.
    static float get_ypos(float y0, float step, int index);

    // The job's own scale bar, drawn as the application object draws its bar
    // (the saved analysed image takes the application's canvas, not this).
    // createScaleBar refuses (false, nothing changed) a bar that would not be
    // 1 to 2592 pixels wide; prepareScalebar takes the application's switch
    // and, when it is on, only draws the 100 µm bar (black or white).
    bool createScaleBar(float micronPerPixel, float lengthUm, int r, int g, int b);
    void paintScaleBar(cv::Mat& canvas) const;
    void prepareScalebar(bool black);

public slots:
    // As setDestination; the third argument is not used.
    void ReceiveSavingInfo(QString path, QString filename, int);

signals:
    void signalSaveCompleted_Progress(int type);
    void signalSaveCompleted(int type, bool pass);
    // Part of the job's interface for a caller that wants one answer per job;
    // the job itself reports through signalSaveCompleted.
    void SendSavingCompleted(bool pass);

private:
    // "<mantissa> x 10e<exponent> cells/mL", as the report prints it.
    static QString concentration(float mantissa, int exponent);
    bool writeImage(const cv::Mat& image, const QString& fileName);
    bool writeReport(PdfReport::Layout layout);
    QString resultFolderPath(const QString& fileName) const;

    int m_nType = -1;
    QString m_Filename;
    QString m_strPath;
    QString m_strDate;
    std::function<void()> m_reportErrorNotice;

    bool m_bEnableScaleBar = false;
    float m_fScaleBarLength = 0.0f;  // µm
    float m_fMicronPerPixel = 0.0f;
    QImage m_ScaleBarImage;
    QString m_strScaleBarLabel;
    QColor m_ScaleBarColor;
};

// value × scale rounded half away from zero, divided by scale again (float
// arithmetic): round2(2.345f, 100) is 2.35f.
float round2(float value, float scale);
