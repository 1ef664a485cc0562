#include "SoftwareUpdate/PackageListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

using PackageListing::Member;

// The verdict on members listed in this order.
QString refusalOf(const QList<Member>& members)
{
    PackageListing::Judge judge;
    for (const Member& member : members)
        judge.add(member);
    return judge.finish();
}

QList<Member> reversed(QList<Member> members)
{
    std::reverse(members.begin(), members.end());
    return members;
}

TEST(PackageListing, ReadsTarsVerboseLines)
{
    const struct
    {
        const char* line;
        char type;
        const char* name;
        const char* link;
        qint64 size;
    } cases[] = {
        {"-rw-r--r-- 0/0               6 2026-12-10 18:31 \"VERSION\"", '-', "VERSION", "", 6},
        {"-rw-r--r-- 0/0      3221225472 2026-12-10 18:31 \"zeros\"", '-', "zeros", "", 3LL << 30},
        {"drwxr-xr-x 0/0               0 2026-12-10 18:31 \"./lib/\"", 'd', "./lib/", "", 0},
        {"lrwxrwxrwx 0/0               0 2026-12-10 18:31 \"out\" -> \"/etc/passwd\"", 'l', "out", "/etc/passwd", 0},
        {"hrw-r--r-- 0/0               0 2026-12-10 18:31 \"a b\" link to \"c -> d\"", 'h', "a b", "c -> d", 0},
        {"crw-r--r-- 0/0             1,3 2026-12-10 18:31 \"null\"", 'c', "null", "", 0},
        {"-rw-r--r-- 0/0               2 2026-12-10 18:31 \"q \\\"x\\\" \\\\ \\n\\303\\251\"", '-',
         "q \"x\" \\ \n\xc3\xa9", "", 2},
    };
    for (const auto& c : cases) {
        Member member;
        ASSERT_TRUE(PackageListing::parseLine(c.line, member)) << c.line;
        EXPECT_EQ(member.type, c.type) << c.line;
        EXPECT_EQ(member.name, QString::fromUtf8(c.name)) << c.line;
        EXPECT_EQ(member.linkTarget, QString::fromUtf8(c.link)) << c.line;
        EXPECT_EQ(member.size, c.size) << c.line;
    }
}

TEST(PackageListing, RefusesLinesNotOfTarsForm)
{
    for (const char* line : {"-rw-r--r-- 0/0 6 2026-12-10 18:31 VERSION", "-rw-r--r-- 0/0 6 \"VERSION",
                             "-rw-r--r-- 0/0 99999999999999999999 2026-12-10 18:31 \"VERSION\"",
                             "-rw-r--r-- 0/0 -6 2026-12-10 18:31 \"VERSION\"", "-rw-r--r-- \"VERSION\"",
                             "-rw-r--r-- 0/0 6 \"VERSION\" -> \"x\"", "lrwxrwxrwx 0/0 0 \"out\"",
                             "lrwxrwxrwx 0/0 0 \"out\" -> \"x\" trailing"}) {
        Member member;
        EXPECT_FALSE(PackageListing::parseLine(line, member)) << line;
        PackageListing::Judge judge;
        EXPECT_FALSE(judge.read(QByteArray(line) + '\n')) << line;
        EXPECT_TRUE(judge.finish().startsWith("unreadable listing line")) << line;
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
        // The order in which tar lists them does not matter.
        EXPECT_EQ(!refusalOf(sound + c.extra).isEmpty(), c.refused) << c.name;
        EXPECT_EQ(!refusalOf(reversed(sound + c.extra)).isEmpty(), c.refused) << c.name << ", reversed";
    }
    EXPECT_FALSE(refusalOf({{'-', "VERSION", ""}}).isEmpty());
    EXPECT_FALSE(refusalOf({{'-', "install.sh", ""}}).isEmpty());
    EXPECT_FALSE(refusalOf({{'-', "install.sh", ""}, {'d', "VERSION/", ""}}).isEmpty());
    EXPECT_FALSE(refusalOf({{'-', "install.sh", ""}, {'-', "sub/VERSION", ""}}).isEmpty());
}

// Names and link targets past the limits are refused, and judging one costs
// no more than its length: a name is never cut into all its folders.
TEST(PackageListing, NamesWithinTheLimits)
{
    using PackageListing::kMaxDepth;
    using PackageListing::kMaxNameBytes;
    const QString deepest = QString("d/").repeated(kMaxDepth - 1) + "f";
    const QString tooDeep = QString("d/").repeated(kMaxDepth) + "f";
    const QString longest = "lib/" + QString(kMaxNameBytes - 4, 'x');
    const QString tooLong = longest + "x";
    const struct
    {
        const char* name;
        Member member;
        bool refused;
    } cases[] = {
        {"as deep as may be", {'-', deepest, ""}, false},
        {"a folder as deep as may be", {'d', QString("d/").repeated(kMaxDepth), ""}, false},
        {"a level deeper", {'-', tooDeep, ""}, true},
        {"as long as may be", {'-', longest, ""}, false},
        {"a byte longer", {'-', tooLong, ""}, true},
        {"a byte longer in UTF-8", {'-', "lib/\u00e9" + QString(kMaxNameBytes - 5, 'x'), ""}, true},
        {"a link's target too deep", {'l', "lib/l", QString("./").repeated(kMaxDepth) + "x"}, true},
        {"a hard link's target too long", {'h', "copy", tooLong}, true},
        {"60000 levels", {'-', QString("a/").repeated(60000), ""}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!refusalOf({{'-', "VERSION", ""}, {'-', "install.sh", ""}, c.member}).isEmpty(), c.refused)
            << c.name;
    }
}

// What the members take unpacked: each its size in whole blocks, at least
// one; the package is refused once the total passes the room.
TEST(PackageListing, WhatTheMembersTakeMustFitTheRoom)
{
    using PackageListing::kBlockBytes;
    const QList<Member> required = {{'-', "VERSION", "", 6}, {'-', "install.sh", "", 9}};  // two blocks
    const struct
    {
        const char* name;
        qint64 room;
        QList<Member> extra;
        bool refused;
    } cases[] = {
        {"a block each", 4 * kBlockBytes, {{'d', "lib/", ""}, {'l', "l", "VERSION"}}, false},
        {"a block more than the room", 4 * kBlockBytes, {{'d', "lib/", ""}, {'l', "l", "VERSION"}, {'-', "e", ""}},
         true},
        {"a whole block", 3 * kBlockBytes, {{'-', "f", "", kBlockBytes}}, false},
        {"a byte into the next block", 3 * kBlockBytes, {{'-', "f", "", kBlockBytes + 1}}, true},
        {"3 GiB of zeros, no room for them", 100LL << 20, {{'-', "zeros", "", 3LL << 30}}, true},
        {"3 GiB of zeros, no limit", PackageListing::kUnlimited, {{'-', "zeros", "", 3LL << 30}}, false},
        {"sizes past any number", std::numeric_limits<qint64>::max() - 1,
         {{'-', "a", "", std::numeric_limits<qint64>::max()}, {'-', "b", "", std::numeric_limits<qint64>::max()}},
         true},
    };
    for (const auto& c : cases) {
        PackageListing::Judge judge(c.room);
        for (const Member& member : required + c.extra)
            judge.add(member);
        EXPECT_EQ(!judge.finish().isEmpty(), c.refused) << c.name;
    }
}

// A package whose first member alone passes the room is refused at that
// member's line: tar need not go on through the rest.
TEST(PackageListing, ABombIsRefusedAtItsFirstLine)
{
    PackageListing::Judge judge(100LL << 20);
    EXPECT_FALSE(judge.read("-rw-r--r-- 0/0 3221225472 2026-12-10 18:31 \"zeros\"\n"));
    EXPECT_TRUE(judge.refusal().contains("room")) << judge.refusal().toStdString();
    EXPECT_EQ(judge.unpackedBytes(), 3LL << 30);
}

// tar's listing as it comes: the verdict is the same however its pieces are
// cut, and a line too long for any name within the limits is refused before
// its end has come.
TEST(PackageListing, TheListingIsJudgedPieceByPiece)
{
    const QByteArray listing = "-rw-r--r-- 0/0 6 2026-12-10 18:31 \"VERSION\"\n"
                               "lrwxrwxrwx 0/0 0 2026-12-10 18:31 \"lib\" -> \"data\"\n"
                               "-rwxr-xr-x 0/0 9 2026-12-10 18:31 \"install.sh\"\n"
                               "-rw-r--r-- 0/0 1 2026-12-10 18:31 \"lib/x\"\n";
    for (int cut = 1; cut < listing.size(); cut += 7) {
        PackageListing::Judge judge;
        for (int at = 0; at < listing.size(); at += cut)
            judge.read(listing.mid(at, cut));
        EXPECT_TRUE(judge.finish().contains("lib/x")) << cut;
    }
    PackageListing::Judge sound;
    EXPECT_TRUE(sound.read(listing.left(listing.lastIndexOf("-rw-r--r--")).replace("\"lib\" -> \"data\"", "\"lib\" -> \".\"")));
    EXPECT_EQ(sound.finish(), "");

    PackageListing::Judge endless;
    EXPECT_TRUE(endless.read("-rw-r--r-- 0/0 6 2026-12-10 18:31 \""));
    EXPECT_FALSE(endless.read(QByteArray(8 * PackageListing::kMaxNameBytes + 1024, 'a')));
    EXPECT_TRUE(endless.refusal().contains("longer than")) << endless.refusal().toStdString();
}

}  // namespace
