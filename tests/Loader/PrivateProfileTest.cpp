#include "PrivateProfile.h"

#include "TempRoot.h"

#include <gtest/gtest.h>


namespace {

const std::string kFile = "/opt/KOVA3/conf/service.ini";

}  // namespace

TEST(PrivateProfile, ReadsTheKeyOfTheWantedSectionOnly)
{
    const struct
    {
        const char* name;
        const char* content;
        const char* section;
        const char* key;
        int found;
        std::string value;
    } cases[] = {
        {"second section", "[A]\nkey=first\n[B]\nkey=second\n", "B", "key", 1, "second"},
        {"after a comment", "[A]\n;key=commented\nkey=value\n", "A", "key", 1, "value"},
        {"after an empty line", "[A]\nother=1\n\nkey=value\n", "A", "key", 1, "value"},
        {"last line without a line feed", "[A]\nkey=value", "A", "key", 1, "value"},
        {"empty value", "[A]\nkey=\n", "A", "key", 1, ""},
        {"blank before =", "[A]\nkey =value\n", "A", "key", 0, "default"},
        {"other case", "[A]\nKey=value\n", "A", "key", 0, "default"},
        {"section ends at the next header", "[A]\nx=1\n[B]\nkey=b\n", "A", "key", 0, "default"},
        {"commented header", ";[A]\nkey=value\n", "A", "key", 0, "default"},
        {"no such section", "[A]\nkey=value\n", "C", "key", 0, "default"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        root.writeFile(QString::fromStdString(kFile), c.content);
        std::string result = "stale";
        EXPECT_EQ(ReadPrivateProfileString(c.section, c.key, "default", result, kFile), c.found);
        EXPECT_EQ(result, c.value);
    }
    TempRoot root;
    std::string result;
    EXPECT_EQ(ReadPrivateProfileString("A", "key", "default", result, kFile), 0) << "no file";
    EXPECT_EQ(result, "default");
}

TEST(PrivateProfile, WritesInPlaceAtTheSectionEndOrAppends)
{
    const struct
    {
        const char* name;
        const char* before;  // null: no file
        const char* section;
        const char* after;
    } cases[] = {
        {"replaces the value", "[A]\nkey=old\nx=1\n", "A", "[A]\nkey=new\nx=1\n"},
        {"new key before the next header", "[A]\nx=1\n[B]\nkey=b\n", "A", "[A]\nx=1\nkey=new\n[B]\nkey=b\n"},
        {"new key in the last section", "[A]\nx=1\n", "A", "[A]\nx=1\nkey=new\n"},
        {"new section", "[A]\nx=1\n", "B", "[A]\nx=1\n[B]\nkey=new\n"},
        {"missing file", nullptr, "A", "[A]\nkey=new\n"},
        {"last line gets its line feed", "[A]\nx=1", "B", "[A]\nx=1\n[B]\nkey=new\n"},
        {"key on the last line without a line feed", "[A]\nkey=old", "A", "[A]\nkey=new"},
        {"key after a comment", "[A]\n;key=old\nkey=old\n", "A", "[A]\n;key=old\nkey=new\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        if (c.before)
            root.writeFile(QString::fromStdString(kFile), c.before);
        else
            root.writeFile("/opt/KOVA3/conf/.keep", "");
        EXPECT_TRUE(WritePrivateProfileString(c.section, "key", "new", kFile));
        EXPECT_EQ(root.readFile(QString::fromStdString(kFile)), QByteArray(c.after));
        std::string value;
        EXPECT_EQ(ReadPrivateProfileString(c.section, "key", "", value, kFile), 1);
        EXPECT_EQ(value, "new");
    }
}

TEST(PrivateProfile, AFailedWriteLeavesTheFileAsItWas)
{
    TempRoot root;
    root.writeFile(QString::fromStdString(kFile), "[A]\nkey=old\n");
    // The temporary file cannot be made: a folder stands in its way.
    root.writeFile(QString::fromStdString(kFile) + ".new/blocker", "");
    EXPECT_FALSE(WritePrivateProfileString("A", "key", "new", kFile));
    EXPECT_EQ(root.readFile(QString::fromStdString(kFile)), QByteArray("[A]\nkey=old\n"));
    EXPECT_FALSE(WritePrivateProfileString("A", "key", "new", "/no/such/folder/file.ini"));
}
