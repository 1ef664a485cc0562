// The per-result CSV file of the save job. The review screen reads it back by
// its row keys, so key texts, their order and the value formats are fixed.
#include "Saving/SavingThread.h"

#include "File_IO/PartFile.h"
#include "Report/PdfReport.h"
#include "KovaCore/KovaCoreApp.h"
#include "platform/Log.h"
#include "platform/Root.h"
#include "velimbio/CellCounter.h"

#include <QStringList>
#include <QTextCodec>
#include <QTextStream>

#include <cmath>

namespace {

const QString kDoubleRule(42, QLatin1Char('='));
const QString kSectionRule(19, QLatin1Char('-'));

QString f(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString joined(const std::vector<int32_t>& bins)
{
    QStringList texts;
    texts.reserve(int(bins.size()));
    for (int32_t bin : bins)
        texts << QString::number(bin);
    return texts.join(QLatin1Char(','));
}

}  // namespace

bool SavingThread::savingCSV()
{
    KLOG_ENTER;
    const KovaCoreApp& app = theApp;
    const TCountImageInfo result = app.m_CountResult;
    const bool viabilityMode = app.m_CountingMode != BF_TOTAL_CELL_COUNTING;
    const ReportProtocol protocol = countedProtocol();
    static const std::vector<VelimBio::TObj> kNoObjects;
    const std::vector<VelimBio::TObj>& objects =
        app.m_pCellCounter ? app.m_pCellCounter->getUngatedCellInformation() : kNoObjects;

    QByteArray text;
    QTextStream out(&text, QIODevice::WriteOnly);
    // UTF-8 whatever the locale, so that "≤" survives a C locale.
    out.setCodec(QTextCodec::codecForName("UTF-8"));
    out.setGenerateByteOrderMark(true);
    const auto line = [&out](const QString& text) { out << text << '\n'; };

    line(QString());
    line(QStringLiteral("Cell count report"));
    line(kDoubleRule);
    line(QStringLiteral("Instrument,KOVA-III Cell Counter"));
    line(QStringLiteral("Serial number,") + app.m_SerialNumber);
    line(QStringLiteral("Software version,") + app.m_CurrentVersion);
    line(QStringLiteral("Date,") + m_strDate);
    line(QStringLiteral("User,anonymous"));
    line(QStringLiteral("File name,%1.csv").arg(m_Filename));
    line(app.m_strFinalName.isEmpty() ? QStringLiteral("Reanalysis,No,original data")
                                      : QStringLiteral("Reanalysis,Yes,from ") + app.m_strFinalName);
    line(QStringLiteral("Counting mode,Bright field cell counting"));
    line(viabilityMode ? QStringLiteral(",Cell counting & Viability") : QStringLiteral(",Total cell counting"));
    line(QString());

    line(QStringLiteral("Instrument setting"));
    line(kSectionRule);
    line(QStringLiteral("Slide type,") + PdfReport::slideTypeText(app.m_nSlideType));
    line(QStringLiteral("Autofocused counting,") + (app.m_bAutofocusedCounting ? "On" : "Off"));
    line(QStringLiteral("Autofocus offset, %1").arg(PdfReport::shownAutofocusOffset(app.m_nAutofocusOffset)));
    line(QStringLiteral("Last calibration,") + app.m_Calibration.Last_calibration);
    line(QStringLiteral("Calibration value,") + app.m_Calibration.Background_value);
    line(QStringLiteral("Z reference,%1,%2,%3")
             .arg(app.m_Calibration.Z_Reference_2ch)
             .arg(app.m_Calibration.Z_Reference_Reusable)
             .arg(app.m_Calibration.Z_Reference_Validation));
    line(QString());

    line(QStringLiteral("Protocol"));
    line(QString(9, QLatin1Char('-')));
    line(QStringLiteral("Protocol name,") + protocol.name);
    line(QStringLiteral("Min. search size,%1 um").arg(protocol.minSearchSize));
    line(QStringLiteral("Max. search size,%1 um").arg(protocol.maxSearchSize));
    line(QStringLiteral("Cell detection sensitivity,%1").arg(protocol.cellDetectionSensitivity));
    if (viabilityMode)
        line(QStringLiteral("Live cell sensitivity,%1").arg(protocol.liveCellSensitivity));
    line(QStringLiteral("Noise reduction,%1").arg(protocol.noiseReduction));
    line(QStringLiteral("Dilution factor,%1").arg(protocol.dilutionFactor));
    if (protocol.gateMin >= 0 || protocol.gateMax >= 0)
        line(QStringLiteral("Size gating,%1 \u2264 x < %2 um").arg(protocol.gateMin).arg(protocol.gateMax));
    else
        line(QStringLiteral("Size gating,"));
    line(QString());

    line(QStringLiteral("Cell count results"));
    line(kSectionRule);
    line(QStringLiteral("[Total cell],") + concentration(result.total, result.total_exp));
    if (viabilityMode) {
        const float viability =
            result.total_cell == 0 ? 0.0f : float(result.live_cell) / float(result.total_cell) * 100.0f;
        line(QStringLiteral("[Live cell],") + concentration(result.live, result.live_exp));
        line(QStringLiteral("[Dead cell],") + concentration(result.dead, result.dead_exp));
        line(QStringLiteral("Viability,%1%").arg(f(viability, 1)));
    }
    const float averageSize = std::isfinite(result.average_cell_size) ? result.average_cell_size : 0.0f;
    line(QStringLiteral("Avg. size,%1 um").arg(f(averageSize, 1)));
    line(QStringLiteral("Total cell number,%1").arg(result.total_cell));
    if (viabilityMode) {
        line(QStringLiteral("Live cell number,%1").arg(result.live_cell));
        line(QStringLiteral("Dead cell number,%1").arg(result.dead_cell));
    }
    line(QString());
    line(QString());

    line(kDoubleRule);
    line(viabilityMode ? QStringLiteral("Object number,X Position,Y Position,Cell size,Circularity,Roundness,"
                                        "Mean intensity,Classification,Gating")
                       : QStringLiteral("Object number,X Position,Y Position,Cell size,Circularity,Roundness,"
                                        "Mean intensity,Gating"));
    for (size_t i = 0; i < objects.size(); ++i) {
        const VelimBio::TObj& object = objects[i];
        QStringList fields{QString::number(i + 1),          QString::number(object.x),
                           QString::number(object.y),       f(object.size_um, 4),
                           f(object.circularity, 5),        f(object.roundness, 1),
                           QString::number(object.mean_intensity)};
        if (viabilityMode)
            fields << (object.is_live ? QStringLiteral("live") : QStringLiteral("dead"));
        fields << get_sizeGating2(object.gate_position);
        line(fields.join(QLatin1Char(',')));
    }
    line(QString());

    line(QStringLiteral("Graph"));
    line(QString(6, QLatin1Char('-')));
    line(QStringLiteral("Total Histogram,") + joined(result.total_histogram));
    line(QStringLiteral("Dead Histogram,") + joined(result.dead_histogram));
    line(QStringLiteral("Live Histogram,") + joined(result.live_histogram));
    line(QStringLiteral("Cluster Histogram,") + joined(result.cluster_histogram));
    line(QString());

    line(QStringLiteral("Volume"));
    line(QString(6, QLatin1Char('-')));
    line(f(app.m_fVolumeFactor, 5));

    out.flush();
    // The result folder may be on the stick: a part file, never Qt's save file.
    const QString target = platform::rootPath(resultFolderPath(m_Filename + QStringLiteral(".csv")));
    QString error;
    if (!writeWhole(target, text, &error)) {
        KLOG << "SavingThread::savingCSV: writing failed" << target << error;
        return false;
    }
    emit signalSaveCompleted_Progress(CsvFile);
    return true;
}
