#include "Saving/ResultReport.h"

#include "CountedResult.h"
#include "KovaCore/ResultTree.h"
#include "QtPrinters.h"
#include "Report/PdfReport.h"
#include "Saving/SavingThread.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

const QString kReport = QStringLiteral("/KOVA/r/r.csv");

ResultReport read(const TempRoot& root, const QByteArray& text)
{
    root.writeFile(kReport, text);
    ResultReport report;
    EXPECT_EQ(get_result_from_csv(kReport.toStdString(), report), 0);
    return report;
}

// The saving code's own file, read back field by field.
TEST(ResultReport, ReadsWhatTheSavingCodeWrote)
{
    TempRoot root;
    for (const int mode : {BF_TOTAL_CELL_COUNTING, BF_CELL_COUNTING_VIABILITY}) {
        CountedResult counted(mode);
        const QString folder = ResultTree::modeFolder(mode);
        QDir().mkpath(root.path(folder + "/R"));
        SavingThread writer;
        writer.setType(SavingThread::CsvFile);
        writer.setDestination(folder, "R");
        QString date = "08 Dec 2026 14:25";
        writer.set_date(date);
        writer.run();
        ResultReport report;
        ASSERT_EQ(get_result_from_csv((folder + "/R/R.csv").toStdString(), report), 0);
        const ReportProtocol protocol = SavingThread::countedProtocol();
        EXPECT_EQ(report.countMode, mode == 0 ? "Total cell counting" : "Cell counting & Viability");
        EXPECT_TRUE(report.totalConcentration.endsWith("cells/mL")) << report.totalConcentration.toStdString();
        EXPECT_EQ(report.totalNumber, QString::number(theApp.m_CountResult.total_cell));
        EXPECT_TRUE(report.averageSize.endsWith(" um"));
        EXPECT_EQ(report.minSearchSize, QStringLiteral("%1 um").arg(protocol.minSearchSize));
        EXPECT_EQ(report.dilutionFactor, QString::number(protocol.dilutionFactor));
        EXPECT_EQ(report.viability.isEmpty(), mode == 0);
        EXPECT_EQ(report.liveCellSensitivity.isEmpty(), mode == 0);
        if (mode != 0) {
            EXPECT_TRUE(report.sizeGating.contains(QChar(0x2264))) << "the UTF-8 of the file survives";
        }
    }
}

TEST(ResultReport, KeysCountOnlyAfterTheSettingsHeader)
{
    TempRoot root;
    const ResultReport report = read(root,
                                     "\xEF\xBB\xBF"
                                     "Protocol name,too early\n"
                                     "Counting mode,Bright field cell counting\n"
                                     "File name,x.csv\n"
                                     ",Total cell counting\n"
                                     "Device setting\n"
                                     "==========================================\n"
                                     "Protocol name,  Mine  \n"
                                     "Volume,1\n"
                                     "Dilution factor,99\n"
                                     "Noise reduction,7\n"
                                     "Dilution factor,4\n"
                                     "Viability\n"
                                     "Avg. size,12.3 um\n");
    EXPECT_EQ(report.countMode, "Total cell counting") << "the line after the mode, past the file name";
    EXPECT_EQ(report.protocolName, "Mine") << "blanks simplified";
    EXPECT_EQ(report.noiseReduction, "") << "the two lines after Volume are passed over";
    EXPECT_EQ(report.dilutionFactor, "4");
    EXPECT_EQ(report.viability, "") << "a key without a value changes nothing";
    EXPECT_EQ(report.averageSize, "12.3 um");

    ResultReport none;
    EXPECT_EQ(get_result_from_csv("/KOVA/r/missing.csv", none), -1);
}

// Any file of the name on a stick is read only as far as a report can go.
TEST(ResultReport, OnlyTheFrontOfAnOversizedFileIsRead)
{
    TempRoot root;
    const QByteArray front = "Device setting\nDilution factor,4\n";
    const QByteArray padding(2 << 20, ' ');
    const ResultReport report = read(root, front + padding + "\nDilution factor,99\nProtocol name,Late\n");
    EXPECT_EQ(report.dilutionFactor, "4");
    EXPECT_EQ(report.protocolName, "");
}

TEST(ResultReport, SearchSizesAreTheDigitsBeforeUm)
{
    const struct { const char* text; const char* number; } cases[] = {
        {"5 um", "5"}, {"12 um", "12"}, {"12", ""}, {"", ""}, {"x 7 um 9 um", "7"}, {"7um", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(extractNumberFromString(c.text), c.number) << c.text;
}

}  // namespace
