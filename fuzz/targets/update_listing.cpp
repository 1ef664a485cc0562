// tar's listing of an update package as any bytes: judged as the worker
// judges it, piece by piece as tar writes it, before anything of the package
// is unpacked. The verdict does not depend on where the pieces are cut, and
// no member past the limits of length and depth is ever let through.
#include "FuzzSupport.h"

#include "SoftwareUpdate/PackageListing.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    using namespace PackageListing;
    const QByteArray listing = fuzz::bytes(data, size);

    Judge whole;
    whole.read(listing);
    const QString verdict = whole.finish();

    Judge inPieces;
    const int cut = size > 0 ? 1 + data[0] % 97 : 1;
    for (int at = 0; at < listing.size(); at += cut)
        inPieces.read(listing.mid(at, cut));
    FUZZ_CHECK(inPieces.finish() == verdict);

    if (verdict.isEmpty()) {
        for (const QByteArray& line : listing.split('\n')) {
            Member member;
            if (!parseLine(line, member))
                continue;
            FUZZ_CHECK(member.name.toUtf8().size() <= kMaxNameBytes);
            FUZZ_CHECK(QDir::cleanPath(member.name).count(QLatin1Char('/')) < kMaxDepth);
        }
    }
    return 0;
}
