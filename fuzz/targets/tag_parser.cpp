// The tag parser on any text and separator set: the TIFF writer parses the
// count's metadata with it.
#include "File_IO/TagParser.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    TagParser parser;
    if (input.ConsumeBool())
        parser.setSeperator(input.ConsumeRandomLengthString(8));
    parser.parse(input.ConsumeRemainingBytesAsString());
    return 0;
}
