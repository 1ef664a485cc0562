// The previous-counts table on any file: read as the home and review screens
// read it, every line split into its fields, then a count added and named as
// the counting screen and the save dialog do.
#include "FuzzSupport.h"

#include "File_IO/CSVReaderWriter.h"
#include "KovaCore/ResultTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QString path = QStringLiteral("/fuzz/input.csv");
    fuzz::writeFile(path, fuzz::bytes(data, size));
    CSVReaderWriter table(ResultTree::kPreviousCountLines, "%s", ResultTree::previousCountHeader(1));
    FUZZ_CHECK(table.read(path.toUtf8().constData()));
    std::vector<std::string> fields;
    for (const std::string& line : table.csv())
        CSVReaderWriter::parse(line, fields);
    table.replaceName("renamed", 1);
    table.fillDataField("%s,%s", "1", "name");
    table.replaceName("first");
    return 0;
}
