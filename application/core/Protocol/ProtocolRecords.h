#pragma once

#include <QString>

#include <cstdint>

// The three shapes in which a counting protocol travels: table rows (the
// built-in protocols and the INI names of every parameter), text records (as
// read from a file) and integer records (as handed to a count). Parameters are
// always in the same order: min. search size, max. search size, cell detection
// sensitivity, live cell sensitivity (viability only), noise reduction,
// dilution factor.

enum PROTOCOL_BF_TOTAL_CELL_COUNTING_ITEM_e {
    BF_TOTAL_MIN_SEARCH_SIZE = 0,
    BF_TOTAL_MAX_SEARCH_SIZE = 1,
    BF_TOTAL_CELL_DETECTION_SENSITIVITY = 2,
    BF_TOTAL_NOISE_REDUCTION = 3,
    BF_TOTAL_DILUTION_FACTOR = 4,
};

enum PROTOCOL_BF_CELL_COUNTING_VIABILITY_ITEM_e {
    BF_VIABILITY_MIN_SEARCH_SIZE = 0,
    BF_VIABILITY_MAX_SEARCH_SIZE = 1,
    BF_VIABILITY_CELL_DETECTION_SENSITIVITY = 2,
    BF_VIABILITY_LIVE_CELL_SENSITIVITY = 3,
    BF_VIABILITY_NOISE_REDUCTION = 4,
    BF_VIABILITY_DILUTION_FACTOR = 5,
};

// One parameter of a protocol table; a row whose value is -1 ends the table.
typedef struct local_protocol_s
{
    char group[32];  // INI group, NUL-terminated
    char key[32];    // INI key within the group
    int64_t value;
    uint8_t reserved[24];
} local_protocol_t;

// A protocol as read from its file: every parameter as the text found there.
typedef struct PROTOCOL_BF_TOTAL_CELL_COUNTING_s
{
    QString name;
    QString min_search_size;
    QString max_search_size;
    QString cell_detection_sensitivity;
    QString noise_reduction;
    QString dilution_factor;
} PROTOCOL_BF_TOTAL_CELL_COUNTING_t;

typedef struct PROTOCOL_BF_CELL_COUNTING_VIABILITY_s
{
    QString name;
    QString min_search_size;
    QString max_search_size;
    QString cell_detection_sensitivity;
    QString live_cell_sensitivity;
    QString noise_reduction;
    QString dilution_factor;
} PROTOCOL_BF_CELL_COUNTING_VIABILITY_t;

// A loaded protocol, converted to numbers, plus the size-gating range that the
// counting screen sets after a count.
struct counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t
{
    QString name;
    int32_t min_search_size = 0;
    int32_t max_search_size = 0;
    int32_t cell_detection_sensitivity = 0;
    int32_t noise_reduction = 0;
    int32_t dilution_factor = 0;
    int32_t gating_min_size = 0;
    int32_t gating_max_size = 0;
};

struct counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t
{
    QString name;
    int32_t min_search_size = 0;
    int32_t max_search_size = 0;
    int32_t cell_detection_sensitivity = 0;
    int32_t live_cell_sensitivity = 0;
    int32_t noise_reduction = 0;
    int32_t dilution_factor = 0;
    int32_t gating_min_size = 0;
    int32_t gating_max_size = 0;
};

// What the protocol screen's steppers allow, and so what a count runs with:
// search sizes in µm (minimum below maximum), levels, the dilution factor.
namespace protocol_range {
constexpr int kMinSizeLow = 3;
constexpr int kMinSizeHigh = 59;
constexpr int kMaxSizeLow = 4;
constexpr int kMaxSizeHigh = 60;
constexpr int kLevelLow = 1;  // cell detection and live cell sensitivity
constexpr int kLevelHigh = 10;
constexpr int kNoiseLow = 0;
constexpr int kNoiseHigh = 9;
constexpr int kDilutionLow = 1;
constexpr int kDilutionHigh = 100;
}  // namespace protocol_range

// A protocol as a count may run it: every parameter clamped into its range
// (the maximum search size kept above the minimum), each change logged. The
// readers keep what the file holds, since the protocol screen shows it so;
// the count hands only these values to the worker and the engine.
counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t boundedForCount(const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& protocol);
counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t boundedForCount(
    const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& protocol);

// Loads a text record into an integer record: the name and each parameter
// (base 10; anything else gives 0). The gating fields keep their values, and
// levels are kept as read: the engine bounds them where it looks them up.
void convert_protocol(const PROTOCOL_BF_TOTAL_CELL_COUNTING_t& text, counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& out);
void convert_protocol(const PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& text,
                      counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& out);
