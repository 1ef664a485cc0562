#include "Count/ResultTexts.h"

#include "KovaCore/KovaCoreApp.h"

#include <QLocale>
#include <QStringList>

namespace ResultTexts {

namespace {

QString cells(int count)
{
    return QStringLiteral("%1 cells").arg(count);
}

// "%.2fe%d", as the previous-counts table writes a concentration.
QString rowConcentration(float mantissa, int exponent)
{
    return QString::asprintf("%.2fe%d", double(mantissa), exponent);
}

}  // namespace

QString concentration(float mantissa, int exponent)
{
    return QStringLiteral("%1x10e%2 cells/mL").arg(double(mantissa), 0, 'f', 2).arg(exponent);
}

Texts fromResult(const TCountImageInfo& r, int dilutionFactor)
{
    Texts t;
    t.totalConcentration = concentration(r.total, r.total_exp);
    t.liveConcentration = concentration(r.live, r.live_exp);
    t.deadConcentration = concentration(r.dead, r.dead_exp);
    t.viability = QStringLiteral("%1 %").arg(double(r.viability), 0, 'f', 1);
    t.averageSize = QStringLiteral("%1 um").arg(double(r.average_cell_size), 0, 'f', 1);
    t.totalCells = cells(r.total_cell);
    t.liveCells = cells(r.live_cell);
    t.deadCells = cells(r.dead_cell);
    t.dilution = QString::number(dilutionFactor);
    return t;
}

std::string previousCountRow(int countingMode, const TCountImageInfo& r, const QString& protocol,
                             const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    QStringList fields = {
        QStringLiteral("anonymous"),
        QStringLiteral(" "),
        locale.toString(when.date(), QStringLiteral("dd MMM yyyy")) + QLatin1Char(' ')
            + locale.toString(when.time(), QStringLiteral("hh:mm:ss")),
        rowConcentration(r.total, r.total_exp),
        QString::number(r.total_cell),
    };
    if (countingMode != BF_TOTAL_CELL_COUNTING)
        fields << rowConcentration(r.live, r.live_exp) << QString::number(r.live_cell)
               << rowConcentration(r.dead, r.dead_exp) << QString::number(r.dead_cell)
               << QString::asprintf("%.1f", double(r.viability));
    fields << QString::asprintf("%.1f", double(r.average_cell_size));
    if (!protocol.isEmpty())
        fields << protocol;
    return fields.join(QLatin1Char(',')).toStdString();
}

}  // namespace ResultTexts
