#include "Protocol/ProtocolRecords.h"

namespace {

int32_t toLevel(const QString& text)
{
    return text.toInt(nullptr, 10);  // 0 when not a base-10 integer
}

}  // namespace

void convert_protocol(const PROTOCOL_BF_TOTAL_CELL_COUNTING_t& text, counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& out)
{
    out.name = text.name;
    out.min_search_size = toLevel(text.min_search_size);
    out.max_search_size = toLevel(text.max_search_size);
    out.cell_detection_sensitivity = toLevel(text.cell_detection_sensitivity);
    out.noise_reduction = toLevel(text.noise_reduction);
    out.dilution_factor = toLevel(text.dilution_factor);
}

void convert_protocol(const PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& text,
                      counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& out)
{
    out.name = text.name;
    out.min_search_size = toLevel(text.min_search_size);
    out.max_search_size = toLevel(text.max_search_size);
    out.cell_detection_sensitivity = toLevel(text.cell_detection_sensitivity);
    out.live_cell_sensitivity = toLevel(text.live_cell_sensitivity);
    out.noise_reduction = toLevel(text.noise_reduction);
    out.dilution_factor = toLevel(text.dilution_factor);
}
