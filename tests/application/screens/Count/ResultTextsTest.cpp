#include "Count/ResultTexts.h"

#include "KovaCore/KovaCoreApp.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

TCountImageInfo result(float total, int exponent, int cells, float viability, float size)
{
    TCountImageInfo r;
    r.total = total;
    r.total_exp = exponent;
    r.total_cell = cells;
    r.live = 2.19f;
    r.live_exp = 6;
    r.live_cell = 105;
    r.dead = 0.31f;
    r.dead_exp = 6;
    r.dead_cell = 15;
    r.viability = viability;
    r.average_cell_size = size;
    return r;
}

TEST(ResultTexts, ReadAsTheResultPageShowsThem)
{
    const struct
    {
        TCountImageInfo result;
        int dilution;
        const char* concentration;
        const char* cells;
        const char* viability;
        const char* size;
    } cases[] = {
        {result(2.5f, 6, 120, 87.5f, 12.34f), 2, "2.50x10e6 cells/mL", "120 cells", "87.5 %", "12.3 um"},
        {result(0.0f, 0, 0, 0.0f, 0.0f), 1, "0.00x10e0 cells/mL", "0 cells", "0.0 %", "0.0 um"},
        {result(9.999f, 7, 5000, 100.0f, 9.96f), 10, "10.00x10e7 cells/mL", "5000 cells", "100.0 %", "10.0 um"},
    };
    for (const auto& c : cases) {
        const ResultTexts::Texts t = ResultTexts::fromResult(c.result, c.dilution);
        EXPECT_EQ(t.totalConcentration, c.concentration);
        EXPECT_EQ(t.totalCells, c.cells);
        EXPECT_EQ(t.viability, c.viability);
        EXPECT_EQ(t.averageSize, c.size);
        EXPECT_EQ(t.dilution, QString::number(c.dilution));
        EXPECT_EQ(t.liveConcentration, "2.19x10e6 cells/mL");
        EXPECT_EQ(t.deadCells, "15 cells");
    }
}

TEST(PreviousCountRow, HasSevenOrTwelveFieldsAndLeavesAnEmptyProtocolOut)
{
    const QDateTime when(QDate(2026, 12, 8), QTime(14, 3, 27));
    const TCountImageInfo r = result(2.5f, 6, 120, 87.54f, 12.36f);
    const struct
    {
        int mode;
        const char* protocol;
        const char* row;
    } cases[] = {
        {BF_TOTAL_CELL_COUNTING, "DEFAULT", "anonymous, ,08 Dec 2026 14:03:27,2.50e6,120,12.4,DEFAULT"},
        {BF_CELL_COUNTING_VIABILITY, "PBMC",
         "anonymous, ,08 Dec 2026 14:03:27,2.50e6,120,2.19e6,105,0.31e6,15,87.5,12.4,PBMC"},
        {BF_TOTAL_CELL_COUNTING, "", "anonymous, ,08 Dec 2026 14:03:27,2.50e6,120,12.4"},
        // Any mode but total counting writes the live and dead fields.
        {5, "", "anonymous, ,08 Dec 2026 14:03:27,2.50e6,120,2.19e6,105,0.31e6,15,87.5,12.4"},
    };
    for (const auto& c : cases) {
        const std::string row = ResultTexts::previousCountRow(c.mode, r, QString::fromUtf8(c.protocol), when);
        EXPECT_EQ(row, c.row);
        const int fields = QString::fromStdString(row).split(',').size();
        const int expected = (c.mode == BF_TOTAL_CELL_COUNTING ? 7 : 12) - (*c.protocol ? 0 : 1);
        EXPECT_EQ(fields, expected) << row;
    }
}

}  // namespace
