// A protocol file as any bytes, read as the protocol screen reads it and
// bounded as a count hands it to the worker and the engine.
#include "FuzzSupport.h"

#include "KovaCore/KovaCoreApp.h"
#include "Protocol/ProtocolRecords.h"

namespace {

template <typename Protocol>
void checkShared(const Protocol& p)
{
    using namespace protocol_range;
    FUZZ_CHECK(p.min_search_size >= kMinSizeLow && p.min_search_size <= kMinSizeHigh);
    FUZZ_CHECK(p.max_search_size >= kMaxSizeLow && p.max_search_size <= kMaxSizeHigh);
    FUZZ_CHECK(p.min_search_size < p.max_search_size);
    FUZZ_CHECK(p.cell_detection_sensitivity >= kLevelLow && p.cell_detection_sensitivity <= kLevelHigh);
    FUZZ_CHECK(p.noise_reduction >= kNoiseLow && p.noise_reduction <= kNoiseHigh);
    FUZZ_CHECK(p.dilution_factor >= kDilutionLow && p.dilution_factor <= kDilutionHigh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QString path = QStringLiteral("/fuzz/input.ini");
    fuzz::writeFile(path, fuzz::bytes(data, size));

    PROTOCOL_BF_TOTAL_CELL_COUNTING_t totalText;
    KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(QStringLiteral("fuzz"), path, totalText);
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t total;
    convert_protocol(totalText, total);
    checkShared(boundedForCount(total));

    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viabilityText;
    KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY(QStringLiteral("fuzz"), path, viabilityText);
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viability;
    convert_protocol(viabilityText, viability);
    const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t bounded = boundedForCount(viability);
    checkShared(bounded);
    FUZZ_CHECK(bounded.live_cell_sensitivity >= protocol_range::kLevelLow
               && bounded.live_cell_sensitivity <= protocol_range::kLevelHigh);

    return 0;
}
