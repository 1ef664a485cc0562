#include "SoftwareUpdate/PackageListing.h"

#include <gtest/gtest.h>

namespace {

using PackageListing::Member;

TEST(PackageListing, ReadsTarsVerboseLines)
{
    const struct
    {
        const char* line;
        char type;
        const char* name;
        const char* link;
    } cases[] = {
        {"-rw-r--r-- 0/0               6 2026-12-10 18:31 \"VERSION\"", '-', "VERSION", ""},
        {"drwxr-xr-x 0/0               0 2026-12-10 18:31 \"./lib/\"", 'd', "./lib/", ""},
        {"lrwxrwxrwx 0/0               0 2026-12-10 18:31 \"out\" -> \"/etc/passwd\"", 'l', "out", "/etc/passwd"},
        {"hrw-r--r-- 0/0               0 2026-12-10 18:31 \"a b\" link to \"c -> d\"", 'h', "a b", "c -> d"},
        {"crw-r--r-- 0/0             1,3 2026-12-10 18:31 \"null\"", 'c', "null", ""},
        {"-rw-r--r-- 0/0               2 2026-12-10 18:31 \"q \\\"x\\\" \\\\ \\n\\303\\251\"", '-',
         "q \"x\" \\ \n\xc3\xa9", ""},
    };
    for (const auto& c : cases) {
        QList<Member> members;
        QString error;
        ASSERT_TRUE(PackageListing::parse(QByteArray(c.line) + '\n', members, &error)) << c.line << error.toStdString();
        ASSERT_EQ(members.size(), 1) << c.line;
        EXPECT_EQ(members[0].type, c.type) << c.line;
        EXPECT_EQ(members[0].name, QString::fromUtf8(c.name)) << c.line;
        EXPECT_EQ(members[0].linkTarget, QString::fromUtf8(c.link)) << c.line;
    }
}

TEST(PackageListing, RefusesLinesNotOfTarsForm)
{
    for (const char* line : {"-rw-r--r-- 0/0 6 2026-12-10 18:31 VERSION", "-rw-r--r-- 0/0 6 \"VERSION",
                             "-rw-r--r-- 0/0 6 \"VERSION\" -> \"x\"", "lrwxrwxrwx 0/0 0 \"out\"",
                             "lrwxrwxrwx 0/0 0 \"out\" -> \"x\" trailing"}) {
        QList<Member> members;
        QString error;
        EXPECT_FALSE(PackageListing::parse(line, members, &error)) << line;
        EXPECT_FALSE(error.isEmpty()) << line;
    }
}

TEST(PackageListing, WhatMayBeUnpacked)
{
    const QList<Member> sound = {{'d', "./", ""}, {'-', "./VERSION", ""}, {'-', "install.sh", ""}};
    const struct
    {
        const char* name;
        QList<Member> extra;  // beside the sound members
        bool refused;
    } cases[] = {
        {"sound", {}, false},
        {"files and folders", {{'d', "lib/", ""}, {'-', "lib/a.so", ""}}, false},
        {"a link inside", {{'l', "lib/current", "../VERSION"}, {'l', "here", "."}}, false},
        {"a hard link inside", {{'h', "copy", "install.sh"}}, false},
        {"absolute", {{'-', "/etc/x", ""}}, true},
        {"parent", {{'-', "../x", ""}}, true},
        {"parent inside a name", {{'-', "lib/../../x", ""}}, true},
        {"a link to an absolute path", {{'l', "out", "/etc"}}, true},
        {"a link leading up and out", {{'l', "lib/out", "../../etc"}}, true},
        {"an empty link", {{'l', "nowhere", ""}}, true},
        {"a member under a link", {{'l', "lib", "data"}, {'d', "data/", ""}, {'-', "lib/x", ""}}, true},
        {"a hard link out", {{'h', "copy", "../etc/passwd"}}, true},
        {"a hard link through a link", {{'l', "l", "data"}, {'h', "copy", "l/x"}}, true},
        {"a link up through a link", {{'l', "y", "."}, {'l', "x", "y/.."}}, true},
        {"a link up through a link, deeper", {{'l', "lib/y", "."}, {'l', "lib/x", "./y//../.."}}, true},
        {"a link to a link", {{'l', "y", "lib"}, {'l', "x", "y"}, {'d', "lib/", ""}}, false},
        {"a character device", {{'c', "null", ""}}, true},
        {"a block device", {{'b', "disk", ""}}, true},
        {"a pipe", {{'p', "fifo", ""}}, true},
        {"install.sh also a link", {{'l', "install.sh", "VERSION"}}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!PackageListing::refusal(sound + c.extra).isEmpty(), c.refused) << c.name;
    }
    EXPECT_FALSE(PackageListing::refusal({{'-', "VERSION", ""}}).isEmpty());
    EXPECT_FALSE(PackageListing::refusal({{'-', "install.sh", ""}}).isEmpty());
    EXPECT_FALSE(PackageListing::refusal({{'-', "install.sh", ""}, {'d', "VERSION/", ""}}).isEmpty());
    EXPECT_FALSE(PackageListing::refusal({{'-', "install.sh", ""}, {'-', "sub/VERSION", ""}}).isEmpty());
}

}  // namespace
