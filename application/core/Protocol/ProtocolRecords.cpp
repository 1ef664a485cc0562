#include "Protocol/ProtocolRecords.h"

#include "platform/Log.h"

#include <algorithm>

namespace {

int32_t toLevel(const QString& text)
{
    return text.toInt(nullptr, 10);  // 0 when not a base-10 integer
}

void bound(const QString& protocol, const char* parameter, int32_t& value, int low, int high)
{
    const int32_t bounded = std::clamp<int32_t>(value, low, high);
    if (bounded == value)
        return;
    KLOG << "protocol" << protocol << ":" << parameter << value << "outside" << low << ".." << high << ", counting with"
         << bounded;
    value = bounded;
}

// The parameters both kinds share; the maximum search size stays above the minimum.
template <typename Protocol>
void boundShared(Protocol& p)
{
    using namespace protocol_range;
    bound(p.name, "min. search size", p.min_search_size, kMinSizeLow, kMinSizeHigh);
    bound(p.name, "max. search size", p.max_search_size, std::max(kMaxSizeLow, p.min_search_size + 1), kMaxSizeHigh);
    bound(p.name, "cell detection sensitivity", p.cell_detection_sensitivity, kLevelLow, kLevelHigh);
    bound(p.name, "noise reduction", p.noise_reduction, kNoiseLow, kNoiseHigh);
    bound(p.name, "dilution factor", p.dilution_factor, kDilutionLow, kDilutionHigh);
}

}  // namespace

counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t boundedForCount(const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& protocol)
{
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t bounded = protocol;
    boundShared(bounded);
    return bounded;
}

counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t boundedForCount(
    const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& protocol)
{
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t bounded = protocol;
    boundShared(bounded);
    bound(bounded.name, "live cell sensitivity", bounded.live_cell_sensitivity, protocol_range::kLevelLow,
          protocol_range::kLevelHigh);
    return bounded;
}

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
