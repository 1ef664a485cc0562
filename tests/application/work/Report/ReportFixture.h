#pragma once

#include "Report/PdfReport.h"
#include "HostTool.h"

#include "TempRoot.h"
#include "VirtualPrinter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <cmath>

// A count to report: histograms with a peak, a gate of 10 to 40 µm.
inline ReportContent sampleContent(int countingMode)
{
    ReportContent c;
    c.serialNumber = "KV3-0042";
    c.softwareVersion = "3.1.7";
    c.date = "2026-12-10 09:41:07";
    c.countingMode = countingMode;
    c.slideType = 9;
    c.autofocusedCounting = true;
    c.autofocusOffset = 1;
    c.protocol = {"Yeast", 5, 60, 7, 4, 3, 2, 10, 40};
    c.result.total = 2.35f;
    c.result.total_exp = 6;
    c.result.total_cell = 431;
    c.result.live = 1.99f;
    c.result.live_exp = 6;
    c.result.live_cell = 366;
    c.result.dead = 3.5f;
    c.result.dead_exp = 5;
    c.result.dead_cell = 65;
    c.result.viability = 84.9f;
    c.result.average_cell_size = 12.34f;
    c.result.total_histogram.assign(181, 0);
    c.result.live_histogram.assign(181, 0);
    c.result.dead_histogram.assign(181, 0);
    for (int i = 8; i < 20; ++i) {
        c.result.live_histogram[i] = 30 - 2 * std::abs(i - 13);
        c.result.dead_histogram[i] = 5;
        c.result.total_histogram[i] = c.result.live_histogram[i] + c.result.dead_histogram[i];
    }
    c.result.cluster_histogram = {300, 40, 12, 5, 2, 1, 0, 1, 1};
    c.lastCalibration = "2026-11-02";
    c.calibrationValue = "0x3A";
    QImage field(2592, 1944, QImage::Format_RGB888);
    field.fill(QColor(200, 200, 190));
    {
        QPainter p(&field);
        p.setBrush(QColor(60, 60, 60));
        for (int i = 0; i < 40; ++i)
            p.drawEllipse(QPoint(100 + 61 * i, 200 + 37 * i), 30, 30);
    }
    c.fieldImage = field;
    c.zoomedImage = field.copy();
    c.concentration = [](int count, float dilution, float& mantissa, int& exponent) {
        const double perMl = double(count) * double(dilution) * 1e4;
        exponent = perMl > 0 ? int(std::floor(std::log10(perMl))) : 0;
        mantissa = float(perMl / std::pow(10.0, exponent));
    };
    return c;
}

// Output of a poppler tool on a file ("" when it fails).
inline QString poppler(const QString& tool, QStringList args)
{
    const auto r = runHostTool(tool, args);
    return r.succeeded() ? QString::fromUtf8(r.standardOutput) : QString();
}

inline QString pageText(const QString& pdf, int page)
{
    return poppler("pdftotext", {"-layout", "-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
}

inline int pageCount(const QString& pdf)
{
    for (const QString& line : poppler("pdfinfo", {pdf}).split('\n'))
        if (line.startsWith("Pages:"))
            return line.mid(6).trimmed().toInt();
    return -1;
}
