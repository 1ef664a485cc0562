// A result's own CSV report as any bytes, read as the review viewer reads it
// from the result tree or a stick: its fields, the search sizes' numbers and
// the protocol the viewer hands on to a re-analysis.
#include "FuzzSupport.h"

#include "Protocol/ProtocolRecords.h"
#include "Saving/ResultReport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QString path = QStringLiteral("/fuzz/input.csv");
    fuzz::writeFile(path, fuzz::bytes(data, size));
    ResultReport report;
    FUZZ_CHECK(get_result_from_csv(path.toStdString(), report) == 0);

    const PROTOCOL_BF_CELL_COUNTING_VIABILITY_t text{report.protocolName,
                                                     extractNumberFromString(report.minSearchSize),
                                                     extractNumberFromString(report.maxSearchSize),
                                                     report.cellDetectionSensitivity,
                                                     report.liveCellSensitivity,
                                                     report.noiseReduction,
                                                     report.dilutionFactor};
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t protocol;
    convert_protocol(text, protocol);
    boundedForCount(protocol);
    return 0;
}
