// The header of kova-evaluate's image as any bytes: the size it declares is
// read without decoding a pixel.
#include "FuzzSupport.h"

#include "EvaluateCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const cv::Size declared =
        evaluation::declaredImageSize(fuzz::writeFile(QStringLiteral("/fuzz/image"), fuzz::bytes(data, size)));
    FUZZ_CHECK(declared.width >= 0 && declared.height >= 0);
    return 0;
}
