#include "File_IO/CSVReaderWriter.h"

#include "FullDisk.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFileInfo>

using Lines = std::vector<std::string>;

namespace {

const char* const kViabilityHeader = "User,File,Date,[Total cell],Total cell number,[Live cell],Live cell number,"
                                     "[Dead cell],Dead cell number,Viability,Avg. size,Protocol";
const char* const kTablePath = "/opt/KOVA3/log/PreviousCount_BF_CellCountingViability.csv";

CSVReaderWriter table(size_t capacity, const Lines& data)
{
    CSVReaderWriter store(capacity, "%s", "H");
    for (const std::string& line : data)
        store.fillDataField("%s", line.c_str());
    return store;
}

std::string row(int i)
{
    return "anonymous,count" + std::to_string(i) + ",08 Dec 2026 14:03,2.25x10e5,100,2.00x10e5,90,"
           "2.50x10e4,10,90.0,12.3,DEFAULT";
}

}  // namespace

TEST(CSVReaderWriter, FullTableDropsTheOldestDataLine)
{
    CSVReaderWriter store = table(3, {"X", "Y"});
    store.fillDataField("%s", "Z");
    EXPECT_EQ(store.csv(), (Lines{"H", "Y", "Z"}));

    CSVReaderWriter previous(1001, "%s", kViabilityHeader);
    for (int i = 1; i <= 1001; ++i)
        previous.fillDataField("%s", row(i).c_str());
    const Lines lines = previous.csv();
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines.front(), kViabilityHeader);
    EXPECT_EQ(lines[1], row(2));
    EXPECT_EQ(lines.back(), row(1001));
}

TEST(CSVReaderWriter, WritesExactBytesOldestOrNewestFirst)
{
    TempRoot root;
    root.writeFile("/opt/KOVA3/log/.keep", "");
    root.writeFile("/KOVA/anonymous/.keep", "");
    const struct { Lines data; const char* oldestFirst; const char* newestFirst; } cases[] = {
        {{"X", "Y", "Z"}, "H\nX\nY\nZ", "H\nZ\nY\nX"},
        {{}, "H", "H\n"},
        {{""}, "H\n", "H\n"},
        {{"a,,b", "c\r"}, "H\na,,b\nc\r", "H\nc\r\na,,b"},
    };
    for (const auto& c : cases) {
        const CSVReaderWriter store = table(1001, c.data);
        ASSERT_TRUE(store.write("/opt/KOVA3/log/table.csv"));
        ASSERT_TRUE(store.reverseWrite("/KOVA/anonymous/temp.csv"));
        EXPECT_EQ(root.readFile("/opt/KOVA3/log/table.csv"), QByteArray(c.oldestFirst)) << c.oldestFirst;
        EXPECT_EQ(root.readFile("/KOVA/anonymous/temp.csv"), QByteArray(c.newestFirst)) << c.oldestFirst;
    }
}

TEST(CSVReaderWriter, ReadSkipsTheFileHeaderAndKeepsLinesAsTheyAre)
{
    TempRoot root;
    const struct { const char* content; Lines expected; } cases[] = {
        {"", {"H"}},
        {"File header", {"H"}},
        {"File header\n", {"H", ""}},
        {"File header\nX\nY", {"H", "X", "Y"}},
        {"File header\nX\r\n\nY\n", {"H", "X\r", "", "Y", ""}},
        {"F\na,\xc2\xb5m ,b", {"H", "a,\xc2\xb5m ,b"}},
    };
    for (const auto& c : cases) {
        root.writeFile("/opt/KOVA3/log/in.csv", c.content);
        CSVReaderWriter store(1001, "%s", "H");
        EXPECT_TRUE(store.read("/opt/KOVA3/log/in.csv")) << c.content;
        EXPECT_EQ(store.csv(), c.expected) << c.content;
    }

    CSVReaderWriter store = table(1001, {"X"});
    EXPECT_FALSE(store.read("/opt/KOVA3/log/missing.csv"));
    EXPECT_EQ(store.csv(), (Lines{"H", "X"}));
}

TEST(CSVReaderWriter, WrittenTableReadsBackAndKeepsRollingAtItsLength)
{
    TempRoot root;
    root.writeFile("/opt/KOVA3/log/.keep", "");
    CSVReaderWriter written = table(1001, {"X", "Y,1", "Z,,"});
    ASSERT_TRUE(written.write(kTablePath));
    CSVReaderWriter reread(1001, "%s", "H");
    ASSERT_TRUE(reread.read(kTablePath));
    EXPECT_EQ(reread.csv(), written.csv());

    // A file longer than the capacity is kept whole; each new line then drops one.
    CSVReaderWriter small(3, "%s", "H");
    ASSERT_TRUE(small.read(kTablePath));
    EXPECT_EQ(small.csv().size(), 4u);
    small.fillDataField("%s", "W");
    EXPECT_EQ(small.csv(), (Lines{"H", "Y,1", "Z,,", "W"}));
}

TEST(CSVReaderWriter, ParseSplitsAtEveryComma)
{
    const struct { const char* line; Lines fields; } cases[] = {
        {"", {}},
        {"abc", {"abc"}},
        {"a,,b", {"a", "", "b"}},
        {"a,b,", {"a", "b"}},
        {",a", {"", "a"}},
        {",", {""}},
        {"a,,", {"a", ""}},
        {"\"x,y\", z ", {"\"x", "y\"", " z "}},
    };
    for (const auto& c : cases) {
        Lines fields{"stale"};
        CSVReaderWriter::parse(c.line, fields);
        EXPECT_EQ(fields, c.fields) << '"' << c.line << '"';
    }
}

TEST(CSVReaderWriter, ReplaceNameChangesOneField)
{
    const struct { const char* last; const char* second; const char* first; } cases[] = {
        {"anonymous,,08 Dec 2026 14:03,a,b,c,d,e,f,g,h,DEFAULT", "anonymous,NEW,08 Dec 2026 14:03,a,b,c,d,e,f,g,h,DEFAULT",
         "NEW,,08 Dec 2026 14:03,a,b,c,d,e,f,g,h,DEFAULT"},
        {"u,old", "u,NEW", "NEW,old"},
        {"alone", "NEW", "NEW"},
    };
    for (const auto& c : cases) {
        CSVReaderWriter byPosition = table(1001, {"older,x,y", c.last});
        EXPECT_TRUE(byPosition.replaceName("NEW", 1));
        EXPECT_EQ(byPosition.csv(), (Lines{"H", "older,x,y", c.second}));
        CSVReaderWriter first = table(1001, {"older,x,y", c.last});
        EXPECT_TRUE(first.replaceName("NEW"));
        EXPECT_EQ(first.csv(), (Lines{"H", "older,x,y", c.first}));
    }

    CSVReaderWriter twoBack = table(1001, {"a,b,c", "d,e,f"});
    EXPECT_TRUE(twoBack.replaceName("NEW", 2));
    EXPECT_EQ(twoBack.csv(), (Lines{"H", "a,NEW,c", "d,e,f"}));

    CSVReaderWriter headerOnly = table(1001, {});
    EXPECT_FALSE(headerOnly.replaceName("NEW", 1));
    EXPECT_FALSE(headerOnly.replaceName("NEW"));
    EXPECT_FALSE(twoBack.replaceName("NEW", 3));  // would reach the header
    EXPECT_FALSE(twoBack.replaceName("NEW", 0));
    EXPECT_EQ(headerOnly.csv(), (Lines{"H"}));
}

TEST(CSVReaderWriter, FormatsHeadersAndLinesPrintfStyleWithoutLengthLimit)
{
    CSVReaderWriter store(5, "%s,%d", "User", 7);
    const std::string longName(3000, 'n');
    store.fillDataField("anonymous,%s,%.1f", longName.c_str(), 90.04);
    EXPECT_EQ(store.csv(), (Lines{"User,7", "anonymous," + longName + ",90.0"}));

    CSVReaderWriter noCapacity("%s", "Header");
    EXPECT_TRUE(noCapacity.csv().empty());
    store.erase();
    EXPECT_TRUE(store.csv().empty());
    store.fillDataField("%s", "after erase");
    EXPECT_EQ(store.csv(), (Lines{"after erase"}));
}

// Up to 1000 earlier counts live in the table: a failed write keeps them.
TEST(CSVReaderWriter, FailedWriteIsReportedAndKeepsThePreviousFile)
{
    TempRoot root;
    root.writeFile("/opt/KOVA3/log/.keep", "");
    CSVReaderWriter store(1001, "%s", kViabilityHeader);
    for (int i = 1; i <= 1000; ++i)
        store.fillDataField("%s", row(i).c_str());
    ASSERT_TRUE(store.write(kTablePath));
    const QByteArray before = root.readFile(kTablePath);
    ASSERT_GT(before.size(), 8192);

    store.fillDataField("%s", row(1001).c_str());
    EXPECT_FALSE(runOnFullDisk(8192, [&] { return store.write(kTablePath); }));
    EXPECT_FALSE(runOnFullDisk(8192, [&] { return store.reverseWrite(kTablePath); }));
    EXPECT_EQ(root.readFile(kTablePath), before);

    EXPECT_FALSE(store.write("/opt/KOVA3/no-such-folder/table.csv"));
    EXPECT_FALSE(QFileInfo::exists(root.path("/opt/KOVA3/no-such-folder")));
}
