#include "KovaCore/KovaCoreApp.h"
#include "Protocol/ProtocolTables.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Names = std::vector<std::pair<std::string, std::string>>;

const Names kTotalNames = {{"Min. search size", "Size"},
                           {"Max. search size", "Size"},
                           {"Cell detection sensitivity", "Value"},
                           {"Noise reduction", "Value"},
                           {"Dilution factor", "Value"}};
const Names kViabilityNames = {{"Min. search size", "Size"},      {"Max. search size", "Size"},
                               {"Cell detection sensitivity", "Value"}, {"Live cell sensitivity", "Value"},
                               {"Noise reduction", "Value"},      {"Dilution factor", "Value"}};

struct Table
{
    const char* name;
    const local_protocol_t* rows;
    std::vector<int64_t> values;
};

const Table kTables[] = {
    {"DEFAULT total", local_protocol_BF_TOTAL_CELL_COUNTING, {7, 24, 5, 5, 1}},
    {"PBMC total", PBMC_protocol_BF_TOTAL_CELL_COUNTING, {7, 15, 6, 8, 1}},
    {"DEFAULT viability", local_protocol_BF_CELL_COUNTING_VIABILITY, {7, 24, 5, 5, 5, 2}},
    {"PBMC viability", PBMC_protocol_BF_CELL_COUNTING_VIABILITY, {7, 15, 6, 6, 8, 2}},
    {"IQOQ", IQOQ_protocol_BF_CELL_COUNTING_VIABILITY, {7, 24, 5, 5, 5, 1}},
    {"3T3", NIH3T3_protocol_BF_CELL_COUNTING_VIABILITY, {10, 35, 5, 5, 6, 2}},
    {"HeLa", HeLa_protocol_BF_CELL_COUNTING_VIABILITY, {12, 27, 5, 5, 5, 2}},
    {"HL-60", HL60_protocol_BF_CELL_COUNTING_VIABILITY, {8, 21, 5, 5, 5, 2}},
    {"McCoy", McCoy_protocol_BF_CELL_COUNTING_VIABILITY, {10, 25, 5, 5, 5, 2}},
    {"RAW264_7", RAW264_7_protocol_BF_CELL_COUNTING_VIABILITY, {8, 20, 5, 5, 5, 2}},
    {"U-937", U937_protocol_BF_CELL_COUNTING_VIABILITY, {8, 20, 5, 5, 5, 2}},
};

}  // namespace

TEST(ProtocolTables, EveryBuiltInTableWalksToItsTerminator)
{
    for (const Table& table : kTables) {
        Names names;
        std::vector<int64_t> values;
        const local_protocol_t* row = table.rows;
        for (; row->value != -1; ++row) {
            names.emplace_back(row->group, row->key);
            values.push_back(row->value);
            for (uint8_t byte : row->reserved)
                EXPECT_EQ(byte, 0) << table.name;
        }
        EXPECT_STREQ(row->group, "") << table.name;
        EXPECT_STREQ(row->key, "") << table.name;
        EXPECT_EQ(names, values.size() == 5 ? kTotalNames : kViabilityNames) << table.name;
        EXPECT_EQ(values, table.values) << table.name;
    }
}

TEST(ProtocolTables, ItemLookupCopiesADefaultRow)
{
    local_protocol_t row{};
    ASSERT_EQ(KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING_item(BF_TOTAL_NOISE_REDUCTION, &row), 0);
    EXPECT_STREQ(row.group, "Noise reduction");
    EXPECT_STREQ(row.key, "Value");
    EXPECT_EQ(row.value, 5);
    ASSERT_EQ(KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY_item(BF_VIABILITY_LIVE_CELL_SENSITIVITY, &row),
              0);
    EXPECT_STREQ(row.group, "Live cell sensitivity");
    EXPECT_STREQ(row.key, "Value");
    ASSERT_EQ(KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY_item(BF_VIABILITY_DILUTION_FACTOR, &row), 0);
    EXPECT_EQ(row.value, 2);

    // Past the parameters (the terminator included) nothing is copied.
    local_protocol_t untouched{};
    untouched.value = 77;
    EXPECT_EQ(KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING_item(
                  static_cast<PROTOCOL_BF_TOTAL_CELL_COUNTING_ITEM_e>(5), &untouched),
              -1);
    EXPECT_EQ(KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY_item(
                  static_cast<PROTOCOL_BF_CELL_COUNTING_VIABILITY_ITEM_e>(-1), &untouched),
              -1);
    EXPECT_EQ(untouched.value, 77);
}

TEST(ProtocolRecords, TextConvertsToNumbersAndGatingIsKept)
{
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viability;
    viability.gating_min_size = 3;
    viability.gating_max_size = 40;
    convert_protocol(PROTOCOL_BF_CELL_COUNTING_VIABILITY_t{"Mine", "8", "", "abc", "42", "-3", "0x10"}, viability);
    EXPECT_EQ(viability.name, "Mine");
    EXPECT_EQ(viability.min_search_size, 8);
    EXPECT_EQ(viability.max_search_size, 0);
    EXPECT_EQ(viability.cell_detection_sensitivity, 0);
    EXPECT_EQ(viability.live_cell_sensitivity, 42);  // out of range: kept as read
    EXPECT_EQ(viability.noise_reduction, -3);
    EXPECT_EQ(viability.dilution_factor, 0);  // not base 10
    EXPECT_EQ(viability.gating_min_size, 3);
    EXPECT_EQ(viability.gating_max_size, 40);

    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t total;
    total.gating_max_size = 181;
    convert_protocol(PROTOCOL_BF_TOTAL_CELL_COUNTING_t{"PBMC", "7", "15", "6", "8", "1"}, total);
    EXPECT_EQ(total.name, "PBMC");
    EXPECT_EQ((std::vector<int>{total.min_search_size, total.max_search_size, total.cell_detection_sensitivity,
                                total.noise_reduction, total.dilution_factor, total.gating_max_size}),
              (std::vector<int>{7, 15, 6, 8, 1, 181}));
}

// A count runs with what the protocol screen's steppers allow, whatever the
// file holds: every parameter clamped, the maximum size above the minimum.
TEST(ProtocolRecords, ACountRunsWithinTheSteppersRanges)
{
    const struct
    {
        std::vector<int> given;     // min, max, detection, live, noise, dilution
        std::vector<int> expected;
    } cases[] = {
        {{7, 15, 6, 6, 8, 2}, {7, 15, 6, 6, 8, 2}},
        {{3, 60, 1, 10, 0, 100}, {3, 60, 1, 10, 0, 100}},
        {{7, 2147483647, 6, 6, 8, 2}, {7, 60, 6, 6, 8, 2}},
        {{-2147483647 - 1, 1000000000, 0, 11, -1, 0}, {3, 60, 1, 10, 0, 1}},
        {{59, 4, 11, 0, 10, 101}, {59, 60, 10, 1, 9, 100}},
        {{70, 70, 5, 5, 5, 5}, {59, 60, 5, 5, 5, 5}},
        {{20, 20, 5, 5, 5, 5}, {20, 21, 5, 5, 5, 5}},
    };
    for (const auto& c : cases) {
        counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viability;
        viability.name = "Edited";
        viability.min_search_size = c.given[0];
        viability.max_search_size = c.given[1];
        viability.cell_detection_sensitivity = c.given[2];
        viability.live_cell_sensitivity = c.given[3];
        viability.noise_reduction = c.given[4];
        viability.dilution_factor = c.given[5];
        viability.gating_min_size = -7;
        const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t v = boundedForCount(viability);
        EXPECT_EQ((std::vector<int>{v.min_search_size, v.max_search_size, v.cell_detection_sensitivity,
                                    v.live_cell_sensitivity, v.noise_reduction, v.dilution_factor}),
                  c.expected);
        EXPECT_EQ(v.name, "Edited");
        EXPECT_EQ(v.gating_min_size, -7);  // not a protocol parameter

        counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t total;
        total.min_search_size = c.given[0];
        total.max_search_size = c.given[1];
        total.cell_detection_sensitivity = c.given[2];
        total.noise_reduction = c.given[4];
        total.dilution_factor = c.given[5];
        const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t t = boundedForCount(total);
        EXPECT_EQ((std::vector<int>{t.min_search_size, t.max_search_size, t.cell_detection_sensitivity,
                                    t.noise_reduction, t.dilution_factor}),
                  (std::vector<int>{c.expected[0], c.expected[1], c.expected[2], c.expected[4], c.expected[5]}));
    }
}
