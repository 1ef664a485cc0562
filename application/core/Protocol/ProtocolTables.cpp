#include "Protocol/ProtocolTables.h"

// Every table of a kind has the same groups and keys; only the values differ.
#define KOVA_TOTAL_PROTOCOL(minSize, maxSize, detection, noise, dilution)                                  \
    {                                                                                                      \
        {"Min. search size", "Size", minSize, {}}, {"Max. search size", "Size", maxSize, {}},              \
            {"Cell detection sensitivity", "Value", detection, {}}, {"Noise reduction", "Value", noise, {}}, \
            {"Dilution factor", "Value", dilution, {}}, {"", "", -1, {}},                                  \
    }

#define KOVA_VIABILITY_PROTOCOL(minSize, maxSize, detection, live, noise, dilution)                        \
    {                                                                                                      \
        {"Min. search size", "Size", minSize, {}}, {"Max. search size", "Size", maxSize, {}},              \
            {"Cell detection sensitivity", "Value", detection, {}},                                        \
            {"Live cell sensitivity", "Value", live, {}}, {"Noise reduction", "Value", noise, {}},         \
            {"Dilution factor", "Value", dilution, {}}, {"", "", -1, {}},                                  \
    }

const local_protocol_t local_protocol_BF_TOTAL_CELL_COUNTING[6] = KOVA_TOTAL_PROTOCOL(7, 24, 5, 5, 1);
const local_protocol_t PBMC_protocol_BF_TOTAL_CELL_COUNTING[6] = KOVA_TOTAL_PROTOCOL(7, 15, 6, 8, 1);

const local_protocol_t local_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(7, 24, 5, 5, 5, 2);
const local_protocol_t PBMC_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(7, 15, 6, 6, 8, 2);
// The validation protocol is counted undiluted, unlike every other viability table.
const local_protocol_t IQOQ_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(7, 24, 5, 5, 5, 1);
const local_protocol_t NIH3T3_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(10, 35, 5, 5, 6, 2);
const local_protocol_t HeLa_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(12, 27, 5, 5, 5, 2);
const local_protocol_t HL60_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(8, 21, 5, 5, 5, 2);
const local_protocol_t McCoy_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(10, 25, 5, 5, 5, 2);
const local_protocol_t RAW264_7_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(8, 20, 5, 5, 5, 2);
const local_protocol_t U937_protocol_BF_CELL_COUNTING_VIABILITY[7] = KOVA_VIABILITY_PROTOCOL(8, 20, 5, 5, 5, 2);

#undef KOVA_TOTAL_PROTOCOL
#undef KOVA_VIABILITY_PROTOCOL
