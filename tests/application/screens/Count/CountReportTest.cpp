#include "Count/CountReport.h"

#include "CountedResult.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

const QDateTime kPrinted(QDate(2026, 12, 8), QTime(14, 3, 22));

QString fixture(const char* name)
{
    QFile file(QStringLiteral(KOVA_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing fixture>");
}

TEST(CountReport, EachModeMatchesItsGolden)
{
    const struct {
        int mode;
        const char* golden;
        int lines;
    } cases[] = {
        {BF_CELL_COUNTING_VIABILITY, "count_report_viability.txt", 45},
        {BF_TOTAL_CELL_COUNTING, "count_report_total.txt", 39},
    };
    for (const auto& c : cases) {
        CountedResult count(c.mode);
        theApp.m_Counted_Viability_Protocol.gating_min_size = 10;
        theApp.m_Counted_Viability_Protocol.gating_max_size = 50;
        const QString text = CountReport::text("Sample-1", kPrinted);
        EXPECT_EQ(text.count(QLatin1Char('\n')), c.lines) << c.golden;
        EXPECT_TRUE(text.endsWith(QLatin1Char('\n')));
        EXPECT_EQ(text.toStdString(), fixture(c.golden).toStdString()) << c.golden;
    }
}

TEST(CountReport, EdgeLines)
{
    CountedResult count(BF_CELL_COUNTING_VIABILITY);
    const auto has = [](const QString& line) { return CountReport::text("", kPrinted).contains(line + "\n"); };

    EXPECT_TRUE(has("      File name : NoTitle"));

    theApp.m_Counted_Viability_Protocol.gating_min_size = -1;
    theApp.m_Counted_Viability_Protocol.gating_max_size = -1;
    EXPECT_TRUE(has("      Size gating :"));
    theApp.m_Counted_Viability_Protocol.gating_min_size = 0;
    EXPECT_TRUE(has(QStringLiteral("      Size gating : 0 \u2264  x  < -1 um"))) << "one bound set: both printed";

    theApp.m_CountResult.total_cell = 0;
    theApp.m_CountResult.live_cell = 0;
    theApp.m_CountResult.viability = 55.0f;
    EXPECT_TRUE(has("      Viability : 0.0 %")) << "worked out from the counts, never divided by 0";

    for (const auto& slide : {std::pair<int, const char*>{9, "Reusable slide"}, {10, "Validation slide"},
                              {2, "2 channel slide"}, {7, "2 channel slide"}}) {
        theApp.m_nSlideType = slide.first;
        EXPECT_TRUE(has(QStringLiteral("      Slide type : ") + slide.second)) << slide.first;
    }
}

TEST(CountReport, LabelTextStartsWithTwoEmptyLinesAndSpacesEveryHyphen)
{
    CountedResult count(BF_TOTAL_CELL_COUNTING);
    const QString report = CountReport::text("Sample-1", kPrinted);
    const QString label = CountReport::labelText(report);

    EXPECT_TRUE(label.startsWith("\n\n\n     Cell count report\n"));
    EXPECT_TRUE(label.contains("      Serial number : KV3- 2026- 0042\n"));
    EXPECT_TRUE(label.contains("      File name : Sample- 1\n"));
    EXPECT_TRUE(label.contains("      -  Bright field cell counting\n      -  Total cell counting\n"));
    EXPECT_TRUE(label.contains("     " + QString("- ").repeated(30) + "\n"));
    EXPECT_EQ(label.count(QLatin1Char('-')), report.count(QLatin1Char('-')));
    EXPECT_EQ(QString(label).remove(QStringLiteral("- ")), QString(report).remove(QLatin1Char('-')).prepend("\n\n"));
}

}  // namespace
