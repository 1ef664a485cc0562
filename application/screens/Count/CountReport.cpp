#include "Count/CountReport.h"

#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaCoreApp.h"
#include "Report/PdfReport.h"
#include "Saving/SavingThread.h"

#include <QLocale>

namespace CountReport {
namespace {

const QString kDoubleRule = QStringLiteral("     ========================================\n");
const QString kRule = QStringLiteral("     ------------------------------\n");
// U+2264, two spaces, "x", two spaces, "<"
const QString kGateSign = QStringLiteral("\u2264  x  <");

QString concentration(const char* what, float mantissa, int exponent)
{
    return QStringLiteral("      [%1] : %2 cells/mL\n")
        .arg(QLatin1String(what), PdfReport::concentrationText(mantissa, exponent));
}

QString sizeGating(const ReportProtocol& p)
{
    if (p.gateMin < 0 && p.gateMax < 0)
        return QStringLiteral("      Size gating :\n");
    return QStringLiteral("      Size gating : %1 %2 %3 um\n").arg(p.gateMin).arg(kGateSign).arg(p.gateMax);
}

// Live cells over all cells, from the counts (not the stored viability).
float viability(const TCountImageInfo& r)
{
    return r.total_cell == 0 ? 0.0f : float(r.live_cell) / float(r.total_cell) * 100.0f;
}

}  // namespace

QString text(const QString& fileName, const QDateTime& now)
{
    const KovaCoreApp& app = theApp;
    const bool viabilityMode = app.m_CountingMode != BF_TOTAL_CELL_COUNTING;
    const ReportProtocol p = SavingThread::countedProtocol();
    const TCountImageInfo& r = app.m_CountResult;

    QString t;
    t += QStringLiteral("\n");
    t += QStringLiteral("     Cell count report\n");
    t += kDoubleRule;
    t += QStringLiteral("      Instrument: KOVA-III Cell Counter\n");
    t += QStringLiteral("      Serial number : %1\n").arg(app.m_SerialNumber);
    t += QStringLiteral("      Software version : %1\n").arg(app.m_CurrentVersion);
    t += QStringLiteral("      Firmware version : %1\n").arg(global_ini()->IQOQ.FW_version);
    t += QStringLiteral("      Instrument name : %1\n").arg(app.m_SerialNumber);
    t += QStringLiteral("      Date : %1\n").arg(QLocale::c().toString(now, QStringLiteral("dd MMM yyyy hh:mm:ss")));
    t += QStringLiteral("      Security : Off\n");
    t += QStringLiteral("      User : anonymous\n");
    t += QStringLiteral("      File name : %1\n").arg(fileName.isEmpty() ? QStringLiteral("NoTitle") : fileName);
    t += QStringLiteral("      Counting mode :\n");
    t += QStringLiteral("      - Bright field cell counting\n");
    t += QStringLiteral("      - %1\n")
             .arg(viabilityMode ? QStringLiteral("Cell counting & Viability") : QStringLiteral("Total cell counting"));
    t += QStringLiteral("\n");

    t += QStringLiteral("     Instrument setting\n");
    t += kRule;
    t += QStringLiteral("      Slide type : %1\n").arg(PdfReport::slideTypeText(app.m_nSlideType));
    t += QStringLiteral("      Autofocused counting : %1\n")
             .arg(app.m_bAutofocusedCounting ? QStringLiteral("On") : QStringLiteral("Off"));
    t += QStringLiteral("      Last calibration : %1\n").arg(app.m_Calibration.Last_calibration);
    t += QStringLiteral("      Calibration setting : %1\n").arg(app.m_Calibration.Background_value);
    t += QStringLiteral("\n");

    t += QStringLiteral("     Protocol\n");
    t += kRule;
    t += QStringLiteral("      Protocol name : %1\n").arg(p.name);
    t += QStringLiteral("      Min. search size : %1 um\n").arg(p.minSearchSize);
    t += QStringLiteral("      Max. search size : %1 um\n").arg(p.maxSearchSize);
    t += QStringLiteral("      Cell detection sensitivity : %1\n").arg(p.cellDetectionSensitivity);
    if (viabilityMode)
        t += QStringLiteral("      Live cell sensitivity : %1\n").arg(p.liveCellSensitivity);
    t += QStringLiteral("      Noise reduction : %1\n").arg(p.noiseReduction);
    t += QStringLiteral("      Dilution factor : %1\n").arg(p.dilutionFactor);
    t += sizeGating(p);
    t += QStringLiteral("\n");

    t += QStringLiteral("     Cell count results\n");
    t += kRule;
    t += concentration("Total cell", r.total, r.total_exp);
    if (viabilityMode) {
        t += concentration("Live cell", r.live, r.live_exp);
        t += concentration("Dead cell", r.dead, r.dead_exp);
        t += QStringLiteral("      Viability : %1 %\n").arg(double(viability(r)), 0, 'f', 1);
    }
    t += QStringLiteral("      Avg. size : %1 um\n").arg(double(r.average_cell_size), 0, 'f', 1);
    t += QStringLiteral("      Total cell number : %1\n").arg(r.total_cell);
    if (viabilityMode) {
        t += QStringLiteral("      Live cell number : %1\n").arg(r.live_cell);
        t += QStringLiteral("      Dead cell number : %1\n").arg(r.dead_cell);
    }
    t += kDoubleRule;
    return t;
}

QString labelText(const QString& report)
{
    QString label = QStringLiteral("\n\n") + report;
    label.replace(QLatin1Char('-'), QStringLiteral("- "));
    return label;
}

}  // namespace CountReport
