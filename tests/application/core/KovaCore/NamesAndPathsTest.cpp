#include "KovaCore/KovaCoreApp.h"

#include <gtest/gtest.h>

TEST(CheckNameRule, KeepsOnlyLettersDigitsBlankHyphenUnderscore)
{
    const struct { const char* in; const char* out; } cases[] = {
        {"Cell-1 (a)", "Cell-1 a"},
        {"RAW264_7", "RAW264_7"},
        {"../../x", "x"},
        {"a/b\\c.ini", "abcini"},
        {"tab\there", "tabhere"},
        {"\xC3\xA9t\xC3\xA9", "t"},          // é dropped whole, not as stray bytes
        {"\xEC\x84\xB8\xED\x8F\xAC", ""},    // a name wholly in non-Latin letters
        {"100 \xC2\xB5m", "100 m"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KovaCoreApp::checkNameRule(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;

    // The text ends at its first NUL.
    EXPECT_EQ(KovaCoreApp::checkNameRule(QString::fromUtf8("ab\0cd", 5)), QStringLiteral("ab"));
}

TEST(RemoveLastSpace, DropsTrailingBlanksOnly)
{
    const struct { const char* in; const char* out; } cases[] = {
        {"name  ", "name"},  {"   ", ""}, {"", ""}, {" two words ", " two words"},
        {"name\t", "name\t"},  // only blanks count
    };
    for (const auto& c : cases)
        EXPECT_EQ(KovaCoreApp::removeLastSpace(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(PreviousCountCsvPath, PerCountingMode)
{
    const struct { int type; int result; const char* path; } cases[] = {
        {0, 0, "/opt/KOVA3/log/PreviousCount_BF_TotalCellCounting.csv"},
        {1, 0, "/opt/KOVA3/log/PreviousCount_BF_CellCountingViability.csv"},
        {2, -1, "unchanged"},
        {-1, -1, "unchanged"},
    };
    for (const auto& c : cases) {
        std::string path = "unchanged";
        EXPECT_EQ(KovaCoreApp::get_local_previous_count_csv_path(c.type, path), c.result) << c.type;
        EXPECT_EQ(path, c.path) << c.type;
    }
}
