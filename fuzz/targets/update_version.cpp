// An update package's VERSION and its file name as any bytes: the version
// read and compared with the running one (only its first bytes count, however
// long the member), and the versions read from names as the update's helpers
// read them.
#include "FuzzSupport.h"

#include "SoftwareUpdate/UpdateSoftwareThread.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    using Update = UpdateSoftwareThread;
    FuzzedDataProvider input(data, size);
    const QString name = QString::fromStdString(input.ConsumeRandomLengthString(64));
    const QByteArray version = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    const int number = Update::getVersion(Update::versionText(version));
    FUZZ_CHECK(number >= -1);
    FUZZ_CHECK(Update::versionText(version) == Update::versionText(version.left(Update::kMaxVersionBytes)));
    Update::backupFileName(Update::versionText(version));

    const QString prefix = QStringLiteral("KOVA3_");
    const QString suffix = QStringLiteral(".ko3");
    for (int place = Update::MajorVersion; place <= Update::PatchVersion; ++place)
        Update::VersionToSoftware(Update::SoftwareVersionType(place), name, prefix, suffix);
    Update::IntegerToSoftwareVersion(name, prefix, suffix);
    Update::StringToSoftwareVersion(name, prefix, suffix);
    FUZZ_CHECK(Update::CompareVersion(name, name) == 0);
    Update::CompareVersion(name, QStringLiteral("KOVA3_1_0_2.ko3"));
    QFileInfo chosen;
    int chosenVersion = 0;
    Update::IntegerToSoftwareVersion3({QFileInfo(name)}, chosen, chosenVersion);
    return 0;
}
