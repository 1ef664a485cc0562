// tar's listing of an update package as any bytes: read, and judged whether
// it may be unpacked, before anything of the package is.
#include "FuzzSupport.h"

#include "SoftwareUpdate/PackageListing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    QList<PackageListing::Member> members;
    QString error;
    if (PackageListing::parse(fuzz::bytes(data, size), members, &error))
        PackageListing::refusal(members);
    else
        FUZZ_CHECK(!error.isEmpty());
    return 0;
}
