#include "File_IO/TagParser.h"

#include <gtest/gtest.h>

using Map = std::map<std::string, std::string>;

TEST(TagParser, Table)
{
    const struct { const char* separators; const char* text; Map expected; } cases[] = {
        {",", "Date=01Jan2020,Exposure=12", {{"Date", "01Jan2020"}, {"Exposure", "12"}}},
        {",", "a=1,a=2", {{"a", "1"}}},
        {",", "a=1,,b=2", {{"a", "1"}, {"", ""}, {"b", "2"}}},
        {",", "flag", {{"flag", "flag"}}},
        {",", "", {{"", ""}}},
        {",", "a=1,", {{"a", "1"}, {"", ""}}},
        {",", "k=v=w", {{"k", "v=w"}}},
        {",", " a = 1 ", {{" a ", " 1 "}}},
        {";,", "x=1;y=2", {{"x", "1"}, {"y", "2"}}},
        {"", "x=1,y=2", {{"x", "1"}, {"y", "2"}}},  // empty set keeps ","
    };
    for (const auto& c : cases) {
        TagParser parser;
        parser.setSeperator(c.separators);
        EXPECT_EQ(parser.parse(c.text), c.expected) << '"' << c.text << "\" with \"" << c.separators << '"';
    }
}
