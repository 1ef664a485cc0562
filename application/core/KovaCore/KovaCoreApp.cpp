#include "KovaCore/KovaCoreApp.h"

#include "KovaCore/KovaPaths.h"

std::string CUR_CAL_INI;
int g_running_capture = 0;
KovaCoreApp theApp;

KovaCoreApp::KovaCoreApp()
    : m_ScaleBarMat(kCanvasRows, kCanvasCols, CV_8UC3)
{
}

QString KovaCoreApp::checkNameRule(QString name)
{
    const QByteArray bytes = name.toUtf8();
    QString kept;
    for (const char c : bytes) {
        if (c == '\0')
            break;
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' '
                             || c == '-' || c == '_';
        if (allowed)
            kept.append(QLatin1Char(c));
    }
    return kept;
}

bool SaveReview_s::isUsableBaseName(const QString& name)
{
    return !name.isEmpty() && name.trimmed() == name && KovaCoreApp::checkNameRule(name) == name
           && name.size() <= maxBaseNameLength(true);
}

QString KovaCoreApp::removeLastSpace(QString name)
{
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name;
}

int KovaCoreApp::get_local_previous_count_csv_path(int type, std::string& path)
{
    const std::string folder = std::string(kova::kInstallDir) + "/log/";
    switch (type) {
    case BF_TOTAL_CELL_COUNTING:
        path = folder + "PreviousCount_BF_TotalCellCounting.csv";
        return 0;
    case BF_CELL_COUNTING_VIABILITY:
        path = folder + "PreviousCount_BF_CellCountingViability.csv";
        return 0;
    default:
        return -1;
    }
}
