#include "File_IO/ImReaderWriter.h"

#include "FullDisk.h"
#include "TempRoot.h"
#include "HostTool.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <tiffio.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kWidth = 2592;
constexpr uint32_t kHeight = 1944;

// A frame with structure (gradients) and noise, deterministic.
std::vector<uint8_t> frame(uint32_t width, uint32_t height, uint32_t seed = 1)
{
    std::vector<uint8_t> pixels(size_t(width) * height * 3);
    uint32_t state = seed;
    for (size_t i = 0; i < pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const size_t pixel = i / 3;
        const uint32_t x = uint32_t(pixel % width), y = uint32_t(pixel / width);
        pixels[i] = uint8_t((x / 4 + y / 3 + (i % 3) * 70) + (state >> 29));
    }
    return pixels;
}

struct TiffCloser { void operator()(TIFF* t) const { TIFFClose(t); } };
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

Tiff openForCheck(const QString& physical)
{
    return Tiff(TIFFOpen(physical.toLocal8Bit().constData(), "r"));
}

std::string asciiField(TIFF* tiff, ttag_t tag)
{
    char* text = nullptr;
    return TIFFGetField(tiff, tag, &text) && text ? std::string(text) : std::string("<absent>");
}

QByteArray head(const QString& physical, int bytes)
{
    QFile file(physical);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

bool writeImage(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, const std::string& logical,
                const std::string& metadata = std::string())
{
    ImReaderWriter writer;
    std::string path = logical;
    return writer.loadAndWrite(const_cast<uint8_t*>(pixels.data()), width, height, 8, 3, 5, 2, path, metadata);
}

std::vector<float> results1(const ImReaderWriter& image)
{
    return std::vector<float>(image.countingResult1(), image.countingResult1() + 8);
}

std::vector<int32_t> results2(const ImReaderWriter& image)
{
    return std::vector<int32_t>(image.countingResult2(), image.countingResult2() + 10);
}

}  // namespace

TEST(ImReaderWriter, ResultImageHasTheStoredLayoutAndReadsBackExactly)
{
    TempRoot root;
    const std::vector<uint8_t> pixels = frame(kWidth, kHeight);
    const std::string metadata = "Serial number=K3-1,Date=08 Dec 2026 14:03:22,User=anonymous,Total cell number=5 cells";
    ASSERT_TRUE(QDir().mkpath(root.path("/KOVA/anonymous/TOTAL_CELL_COUNTING/N")));
    ASSERT_TRUE(writeImage(pixels, kWidth, kHeight, "/KOVA/anonymous/TOTAL_CELL_COUNTING/N/N_TAG.tif", metadata));

    const QString file = root.path("/KOVA/anonymous/TOTAL_CELL_COUNTING/N/N_TAG.tif");
    {
        Tiff tiff = openForCheck(file);
        ASSERT_TRUE(tiff);
        TIFF* t = tiff.get();
        uint32_t width = 0, height = 0;
        uint16_t bits = 0, samples = 0, compression = 0, photometric = 0, planar = 0, predictor = 0;
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width));
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height));
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bits));
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &samples));
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_COMPRESSION, &compression));
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric));
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_PLANARCONFIG, &planar));
        EXPECT_EQ(width, kWidth);
        EXPECT_EQ(height, kHeight);
        EXPECT_EQ(bits, 8);
        EXPECT_EQ(samples, 3);
        EXPECT_EQ(compression, COMPRESSION_LZW);
        EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(planar, PLANARCONFIG_CONTIG);
        EXPECT_FALSE(TIFFGetField(t, TIFFTAG_PREDICTOR, &predictor));
        EXPECT_EQ(TIFFNumberOfStrips(t), 1u);
        EXPECT_EQ(asciiField(t, TIFFTAG_IMAGEDESCRIPTION), metadata);
        EXPECT_EQ(asciiField(t, TIFFTAG_SOFTWARE), "<absent>");
        EXPECT_EQ(TIFFReadDirectory(t), 0);  // one directory only
    }

    ImReaderWriter reader;
    std::unique_ptr<unsigned char[]> back(reader.imread("/KOVA/anonymous/TOTAL_CELL_COUNTING/N/N_TAG.tif"));
    ASSERT_TRUE(back);
    EXPECT_TRUE(reader.readOk());
    EXPECT_EQ(reader.readWidth(), kWidth);
    EXPECT_EQ(reader.readHeight(), kHeight);
    EXPECT_EQ(std::memcmp(back.get(), pixels.data(), pixels.size()), 0);
    EXPECT_EQ(reader.version(), "");
    EXPECT_EQ(reader.serial(), "");
    EXPECT_EQ(reader.calibration(), "");
    EXPECT_EQ(results1(reader), std::vector<float>(8, 0.0f));
    EXPECT_EQ(results2(reader), std::vector<int32_t>(10, 0));
    EXPECT_EQ(reader.getTiffDirectoryCounts("/KOVA/anonymous/TOTAL_CELL_COUNTING/N/N_TAG.tif"), 0);
}

// Other programs must open the stored images: the system's TIFF tools and ImageMagick.
TEST(ImReaderWriter, ResultImageOpensInTiffinfoAndImageMagick)
{
    TempRoot root;
    root.writeFile("/KOVA/r/.keep", "");
    ASSERT_TRUE(writeImage(frame(kWidth, kHeight), kWidth, kHeight, "/KOVA/r/r_RAW.tif", "A=1,B=2,"));
    const QString file = root.path("/KOVA/r/r_RAW.tif");

    const platform::CommandResult info = runHostTool("tiffinfo", {file});
    if (!info.started)
        GTEST_SKIP() << "tiffinfo not installed";
    EXPECT_TRUE(info.succeeded()) << info.standardError.constData();
    EXPECT_TRUE(info.standardOutput.contains("Image Width: 2592 Image Length: 1944"));
    EXPECT_TRUE(info.standardOutput.contains("Compression Scheme: LZW"));
    EXPECT_TRUE(info.standardOutput.contains("ImageDescription: A=1,B=2,"));

    const platform::CommandResult identify =
        runHostTool("identify", {"-format", "%w %h %z %[channels] %C", file});
    if (!identify.started)
        GTEST_SKIP() << "ImageMagick not installed";
    EXPECT_TRUE(identify.succeeded()) << identify.standardError.constData();
    EXPECT_EQ(identify.standardOutput.trimmed(), QByteArray("2592 1944 8 srgb LZW"));
}

TEST(ImReaderWriter, InstrumentItemMovesToTheSoftwareField)
{
    TempRoot root;
    root.writeFile("/KOVA/m/.keep", "");
    const std::vector<uint8_t> pixels = frame(8, 4);
    const struct { std::string metadata; std::string description; std::string software; } cases[] = {
        {"A=1,B=2,", "A=1,B=2,", "<absent>"},
        {"Instrument=Z,A=1,", "A=1,", "Z"},
        {"A=1,Instrument=Z", "A=1,", "Z"},
        // Only the item keyed Instrument goes, not a value that mentions the word.
        {"Note=Instrument X,Instrument=Z,A=1", "Note=Instrument X,A=1", "Z"},
        {"", "<absent>", "<absent>"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeImage(pixels, 8, 4, "/KOVA/m/m.tif", c.metadata)) << c.metadata;
        Tiff tiff = openForCheck(root.path("/KOVA/m/m.tif"));
        ASSERT_TRUE(tiff);
        EXPECT_EQ(asciiField(tiff.get(), TIFFTAG_IMAGEDESCRIPTION), c.description) << c.metadata;
        EXPECT_EQ(asciiField(tiff.get(), TIFFTAG_SOFTWARE), c.software) << c.metadata;
    }
}

TEST(ImReaderWriter, FormatFollowsTheExtension)
{
    TempRoot root;
    root.writeFile("/KOVA/x/.keep", "");
    const uint32_t width = 5, height = 3;  // rows of 15 bytes: not 32-bit aligned
    const std::vector<uint8_t> pixels = frame(width, height);
    const struct { const char* path; QByteArray magic; } cases[] = {
        {"/KOVA/x/a.tif", QByteArray("II*\0", 4)},
        {"/KOVA/x/a.tiff", QByteArray("II*\0", 4)},
        {"/KOVA/x/a.JPG", QByteArray("II*\0", 4)},
        {"/KOVA/x/a.jpeg", QByteArray("II*\0", 4)},
        {"/KOVA/x/a.dat", QByteArray("II*\0", 4)},
        {"/KOVA/x/noextension", QByteArray("II*\0", 4)},
        {"/KOVA/x/a.jpg", QByteArray("\xff\xd8\xff")},
        {"/KOVA/x/a.png", QByteArray("\x89PNG")},
        {"/KOVA/x/a.bmp", QByteArray("BM")},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeImage(pixels, width, height, c.path)) << c.path;
        EXPECT_EQ(head(root.path(c.path), c.magic.size()), c.magic) << c.path;
    }

    // Lossless formats keep every pixel in place.
    for (const char* path : {"/KOVA/x/a.png", "/KOVA/x/a.bmp"}) {
        const QImage back = QImage(root.path(path)).convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(back.size(), QSize(int(width), int(height))) << path;
        for (uint32_t y = 0; y < height; ++y)
            EXPECT_EQ(std::memcmp(back.constScanLine(int(y)), pixels.data() + y * width * 3, width * 3), 0) << path;
    }

    ASSERT_TRUE(writeImage(pixels, width, height, "/KOVA/x/a.raw"));
    EXPECT_EQ(root.readFile("/KOVA/x/a.raw"), QByteArray(reinterpret_cast<const char*>(pixels.data()), int(pixels.size())));
}

TEST(ImReaderWriter, SixteenBitSamplesAndImagesThatCannotBeHeld)
{
    TempRoot root;
    root.writeFile("/KOVA/g/.keep", "");
    std::vector<uint16_t> grey = {0x0000, 0x0001, 0x0ABC, 0x0FFF, 0x1234, 0xF00D};
    ImReaderWriter writer;
    ASSERT_TRUE(writer.load(grey.data(), 3, 2, 16, 1, 1, 1));

    std::string tif = "/KOVA/g/g.tif";
    ASSERT_TRUE(writer.write(tif, ""));
    {
        Tiff tiff = openForCheck(root.path("/KOVA/g/g.tif"));
        ASSERT_TRUE(tiff);
        std::vector<uint16_t> stored(6);
        ASSERT_EQ(TIFFReadEncodedStrip(tiff.get(), 0, stored.data(), 12), 12);
        EXPECT_EQ(stored, (std::vector<uint16_t>{0x0000, 0x0010, 0xABC0, 0xFFF0, 0x2341, 0x00DF}));
    }
    std::string raw = "/KOVA/g/g.raw";
    ASSERT_TRUE(writer.write(raw, ""));
    EXPECT_EQ(root.readFile(raw.c_str()), QByteArray(reinterpret_cast<const char*>(grey.data()), 12));
    std::string png = "/KOVA/g/g.png";
    EXPECT_FALSE(writer.write(png, ""));

    // A depth that cannot be held writes nothing at all.
    const std::vector<uint8_t> rgba(4 * 2 * 2, 7);
    std::string other = "/KOVA/g/rgba.tif";
    EXPECT_FALSE(writer.loadAndWrite(const_cast<uint8_t*>(rgba.data()), 2, 2, 8, 4, 5, 2, other, ""));
    EXPECT_FALSE(QFileInfo::exists(root.path("/KOVA/g/rgba.tif")));
    ImReaderWriter empty;
    EXPECT_FALSE(empty.write(other, ""));
    EXPECT_FALSE(QFileInfo::exists(root.path("/KOVA/g/rgba.tif")));
}

TEST(ImReaderWriter, ReadsPrivateFieldsAndZeroesWrongCounts)
{
    // The reader takes logical paths, so the fixtures stand at the same place in a root of their own.
    TempRoot root;
    for (const char* name : {"/private_fields.tif", "/private_fields_wrong_counts.tif"}) {
        QFile fixture(QStringLiteral(KOVA_FIXTURES) + name);
        ASSERT_TRUE(fixture.open(QIODevice::ReadOnly)) << name;
        root.writeFile(QStringLiteral(KOVA_FIXTURES) + name, fixture.readAll());
    }
    ImReaderWriter reader;
    std::unique_ptr<unsigned char[]> complete(reader.imread(KOVA_FIXTURES "/private_fields.tif"));
    ASSERT_TRUE(complete);
    EXPECT_EQ(reader.readWidth(), 4u);
    EXPECT_EQ(reader.readHeight(), 3u);
    for (int i = 0; i < 36; ++i)
        ASSERT_EQ(complete[i], uint8_t(i * 7 + 3)) << i;
    EXPECT_EQ(reader.version(), "FW 2.1.0");
    EXPECT_EQ(reader.serial(), "K3-000123");
    EXPECT_EQ(reader.calibration(), "slope=0.98946396,intercept=-3.0461858");
    EXPECT_EQ(std::vector<float>(reader.params(), reader.params() + 4), (std::vector<float>{1.5f, -2.25f, 3.0f, 0.125f}));
    EXPECT_EQ(results1(reader), (std::vector<float>{2.25f, 1.5f, 0.75f, 66.5f, 12.25f, 2.0f, 0, 0}));
    EXPECT_EQ(results2(reader), (std::vector<int32_t>{5, 5, -1, 100, 66, 34, 0, 0, 0, 7}));
    EXPECT_EQ(reader.getTiffDirectoryCounts(KOVA_FIXTURES "/private_fields.tif"), 1);

    // Absent version, 3 parameters and 9 integers read as empty and zeros; the 8 floats stay.
    std::unique_ptr<unsigned char[]> wrong(reader.imread(KOVA_FIXTURES "/private_fields_wrong_counts.tif"));
    ASSERT_TRUE(wrong);
    EXPECT_EQ(reader.version(), "");
    EXPECT_EQ(reader.serial(), "K3-000124");
    EXPECT_EQ(reader.calibration(), "cal");
    EXPECT_EQ(std::vector<float>(reader.params(), reader.params() + 4), (std::vector<float>(4, 0.0f)));
    EXPECT_EQ(results1(reader), (std::vector<float>{9.5f, 8.5f, 7.5f, 6.5f, 5.5f, 4.5f, 3.5f, 2.5f}));
    EXPECT_EQ(results2(reader), std::vector<int32_t>(10, 0));
    EXPECT_EQ(reader.getTiffDirectoryCounts(KOVA_FIXTURES "/private_fields_wrong_counts.tif"), 0);
}

TEST(ImReaderWriter, CountedResultsFillTheirSlots)
{
    ImReaderWriter writer;
    writer.setCountedResults(1.5f, 2, 3.5f, 4, 5.5f, 6, 7.5f, 8.5f, 9, 10, 11, 12, 13.5f, 14, 15, 16.5f, 17, 18);
    EXPECT_EQ(results1(writer), (std::vector<float>{1.5f, 3.5f, 5.5f, 7.5f, 8.5f, 9.0f, 13.5f, 16.5f}));
    EXPECT_EQ(results2(writer), (std::vector<int32_t>{2, 4, 6, 10, 11, 12, 14, 17, 15, 18}));
}

TEST(ImReaderWriter, ReadReturnsNullForAnythingButAnIntactEightBitRgbImage)
{
    TempRoot root;
    root.writeFile("/KOVA/i/.keep", "");
    // Images the buffer of width × height × 3 bytes cannot take.
    const auto writeWithLibtiff = [&](const char* logical, uint16_t bits, uint16_t samples, uint16_t photometric) {
        Tiff tiff(TIFFOpen(root.path(logical).toLocal8Bit().constData(), "w"));
        TIFF* t = tiff.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 6);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (samples == 4) {
            const uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        std::vector<uint8_t> data(6 * 2 * samples * bits / 8, 0x5A);
        TIFFWriteEncodedStrip(t, 0, data.data(), tmsize_t(data.size()));
    };
    writeWithLibtiff("/KOVA/i/rgba.tif", 8, 4, PHOTOMETRIC_RGB);
    writeWithLibtiff("/KOVA/i/rgb16.tif", 16, 3, PHOTOMETRIC_RGB);
    writeWithLibtiff("/KOVA/i/grey.tif", 8, 1, PHOTOMETRIC_MINISBLACK);

    ASSERT_TRUE(writeImage(frame(64, 64), 64, 64, "/KOVA/i/good.tif"));
    const QByteArray good = root.readFile("/KOVA/i/good.tif");
    root.writeFile("/KOVA/i/cut.tif", good.left(good.size() / 3));
    root.writeFile("/KOVA/i/text.tif", "not an image");

    for (const char* path : {"/KOVA/i/rgba.tif", "/KOVA/i/rgb16.tif", "/KOVA/i/grey.tif", "/KOVA/i/cut.tif",
                             "/KOVA/i/text.tif", "/KOVA/i/missing.tif"}) {
        ImReaderWriter reader;
        EXPECT_EQ(reader.imread(path), nullptr) << path;
        EXPECT_FALSE(reader.readOk()) << path;
        EXPECT_EQ(reader.readWidth(), 0u) << path;
        EXPECT_EQ(reader.readHeight(), 0u) << path;
    }
    ImReaderWriter reader;
    EXPECT_EQ(reader.getTiffDirectoryCounts("/KOVA/i/missing.tif"), 0);
}

// A file may declare any size in a few bytes: anything larger than a frame is
// refused by its header, before its gigabytes are allocated.
TEST(ImReaderWriter, ImageLargerThanAFrameIsRefusedByItsHeader)
{
    TempRoot root;
    QFile finding(QStringLiteral(KOVA_FIXTURES "/fuzz/tiff_declares_9gb.tif"));
    ASSERT_TRUE(finding.open(QIODevice::ReadOnly));
    root.writeFile("/KOVA/l/declares_9gb.tif", finding.readAll());
    const auto writeRgb = [&](const char* logical, uint32_t width, uint32_t height) {
        Tiff tiff(TIFFOpen(root.path(logical).toLocal8Bit().constData(), "w"));
        TIFF* t = tiff.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        const std::vector<uint8_t> pixels = frame(width, height);
        TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t*>(pixels.data()), tmsize_t(pixels.size()));
    };
    writeRgb("/KOVA/l/wide.tif", kWidth + 1, 1);
    writeRgb("/KOVA/l/tall.tif", 1, kHeight + 1);

    for (const char* path : {"/KOVA/l/declares_9gb.tif", "/KOVA/l/wide.tif", "/KOVA/l/tall.tif"}) {
        ImReaderWriter reader;
        EXPECT_EQ(reader.imread(path), nullptr) << path;
        EXPECT_FALSE(reader.readOk()) << path;
    }
}

// A full disk must not pass for a saved image, nor leave half a file behind,
// nor cost the image that a re-save would have replaced.
TEST(ImReaderWriter, FailedTiffWriteIsReportedAndKeepsWhatWasThere)
{
    TempRoot root;
    root.writeFile("/KOVA/f/.keep", "");
    const std::vector<uint8_t> pixels = frame(kWidth, kHeight);
    ASSERT_TRUE(writeImage(pixels, kWidth, kHeight, "/KOVA/good_TAG.tif", "A=1"));
    // A few bytes short of a good file: the pixels fit, the directory that
    // closing the file writes does not.
    const long directoryShort = long(QFileInfo(root.path("/KOVA/good_TAG.tif")).size()) - 4;
    for (long limit : {0L, 4096L, 4L * 1024 * 1024, directoryShort}) {
        EXPECT_FALSE(runOnFullDisk(limit, [&] { return writeImage(pixels, kWidth, kHeight, "/KOVA/f/f_TAG.tif", "A=1"); }))
            << limit;
        EXPECT_FALSE(QFileInfo::exists(root.path("/KOVA/f/f_TAG.tif"))) << limit;
        EXPECT_FALSE(QFileInfo::exists(root.path("/KOVA/f/f_TAG.tif.part"))) << limit;
    }
    ASSERT_TRUE(writeImage(pixels, kWidth, kHeight, "/KOVA/f/old_TAG.tif", "A=old"));
    const QByteArray old = root.readFile("/KOVA/f/old_TAG.tif");
    EXPECT_FALSE(runOnFullDisk(4L * 1024 * 1024,
                               [&] { return writeImage(pixels, kWidth, kHeight, "/KOVA/f/old_TAG.tif", "A=new"); }));
    EXPECT_EQ(root.readFile("/KOVA/f/old_TAG.tif"), old);
    EXPECT_FALSE(QFileInfo::exists(root.path("/KOVA/f/old_TAG.tif.part")));
    EXPECT_FALSE(writeImage(pixels, kWidth, kHeight, "/KOVA/no-such-folder/f_TAG.tif"));
}

// The image cannot take its place (a folder of its name holds a file): no
// part file stays beside it, and the folder keeps what it holds.
TEST(ImReaderWriter, AnImageThatCannotTakeItsPlaceLeavesNoPart)
{
    TempRoot root;
    root.writeFile("/KOVA/f/f_TAG.tif/inside", "kept");
    EXPECT_FALSE(writeImage(frame(64, 64), 64, 64, "/KOVA/f/f_TAG.tif", "A=1"));
    EXPECT_EQ(QDir(root.path("/KOVA/f")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"f_TAG.tif"});
    EXPECT_EQ(root.readFile("/KOVA/f/f_TAG.tif/inside"), "kept");
}
