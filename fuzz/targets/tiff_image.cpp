// A stored image as any bytes: the TIFF reader with the instrument's private
// fields, as a re-analysis reads a raw image from the result tree or a stick.
#include "FuzzSupport.h"

#include "File_IO/ImReaderWriter.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QString path = QStringLiteral("/fuzz/input.tif");
    fuzz::writeFile(path, fuzz::bytes(data, size));
    ImReaderWriter reader;
    const std::unique_ptr<unsigned char[]> image(reader.imread(path.toStdString()));
    FUZZ_CHECK(!image == !reader.readOk());
    reader.getTiffDirectoryCounts(path.toStdString());
    return 0;
}
