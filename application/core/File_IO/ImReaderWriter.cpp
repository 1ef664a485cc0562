#include "File_IO/ImReaderWriter.h"

#include "File_IO/PartFile.h"
#include "File_IO/TagParser.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QFile>
#include <QImage>
#include <QMutexLocker>
#include <QVector>

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

QMutex ImReaderWriter::mutex_imgwrite;

namespace {

// The counted text takes a 32-bit count: libtiff 4.5 rejects counted ASCII
// fields declared with the 16-bit variable count.
const TIFFFieldInfo kPrivateFields[] = {
    {ImReaderWriter::KovaFLVersion, 1, 1, TIFF_ASCII, FIELD_CUSTOM, 0, 0, const_cast<char*>("KovaFLVersion")},
    {ImReaderWriter::KovaFLSerial, 1, 1, TIFF_ASCII, FIELD_CUSTOM, 0, 0, const_cast<char*>("KovaFLSerial")},
    {ImReaderWriter::KovaFLCalibration, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_ASCII, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("KovaFLCalibration")},
    {ImReaderWriter::KovaFLParams, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_FLOAT, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("KovaFLParams")},
    {ImReaderWriter::KovaFLCountingResult1, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_FLOAT, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("KovaFLCountingResult1")},
    {ImReaderWriter::KovaFLCountingResult2, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_LONG, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("KovaFLCountingResult2")},
};

TIFFExtendProc g_parentExtender = nullptr;

void TagExtender(TIFF* tiff)
{
    TIFFMergeFieldInfo(tiff, kPrivateFields, sizeof(kPrivateFields) / sizeof(kPrivateFields[0]));
    if (g_parentExtender)
        g_parentExtender(tiff);
}

// Registered once per process and chained, so that another user of libtiff
// in the same process keeps its own extender.
void registerTagExtender()
{
    static std::once_flag once;
    std::call_once(once, [] { g_parentExtender = TIFFSetTagExtender(TagExtender); });
}

// libtiff's complaints go to the system log, per handle, instead of stderr.
int logTiffMessage(TIFF*, void*, const char* module, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof(text), format, args);
    KLOG << "libtiff:" << (module ? module : "") << text;
    return 1;
}

struct TiffCloser
{
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFree
{
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, OptionsFree> openOptions()
{
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), logTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), logTiffMessage, nullptr);
    return options;
}

TiffHandle openTiff(const std::string& physicalPath, const char* mode)
{
    return TiffHandle(TIFFOpenExt(physicalPath.c_str(), mode, openOptions().get()));
}

// A new TIFF in a part file, so that closing it is checked too: a removable
// or network medium may report a failed write only then.
class TiffOutput
{
public:
    explicit TiffOutput(const QString& target) : m_part(target)
    {
        if (m_part.isOpen())
            m_tiff = TIFFFdOpenExt(m_part.handle(), QFile::encodeName(m_part.partPath()).constData(), "w",
                                   openOptions().get());
    }
    ~TiffOutput()
    {
        if (m_tiff)
            TIFFCleanup(m_tiff);
    }
    TiffOutput(const TiffOutput&) = delete;
    TiffOutput& operator=(const TiffOutput&) = delete;

    bool created() const { return m_part.isOpen(); }
    TIFF* get() const { return m_tiff; }

    // Writes what libtiff still holds (the directory) and puts the file in
    // place when `complete` and every step succeeds; false otherwise, the
    // part then removed.
    bool commit(bool complete)
    {
        bool ok = complete && m_tiff && TIFFFlush(m_tiff) == 1;
        if (m_tiff)
            TIFFCleanup(m_tiff);
        m_tiff = nullptr;
        if (!ok) {
            m_part.discard();
            return false;
        }
        return m_part.commit();
    }

private:
    PartFile m_part;
    TIFF* m_tiff = nullptr;
};

// Removes the item whose key is exactly `key`, up to and including its ",",
// leaving other items that merely mention the word alone.
void eraseItem(std::string& text, const std::string& key)
{
    std::string::size_type at = 0;
    while ((at = text.find(key, at)) != std::string::npos) {
        const std::string::size_type end = at + key.size();
        const bool itemStart = at == 0 || text[at - 1] == ',';
        const bool keyEnd = end == text.size() || text[end] == '=' || text[end] == ',';
        if (itemStart && keyEnd) {
            const std::string::size_type comma = text.find(',', at);
            text.erase(at, comma == std::string::npos ? std::string::npos : comma - at + 1);
            return;
        }
        ++at;
    }
}

}  // namespace

ImReaderWriter::ImReaderWriter() = default;

ImReaderWriter::~ImReaderWriter() = default;

bool ImReaderWriter::loadAndWrite(void* data, uint32_t width, uint32_t height, uint16_t bitsPerSample,
                                  uint16_t samplesPerPixel, uint16_t compression, uint16_t photometric,
                                  std::string& path, std::string metadata)
{
    QMutexLocker lock(&mutex_imgwrite);
    load(data, width, height, bitsPerSample, samplesPerPixel, compression, photometric);
    return write(path, std::move(metadata));
}

bool ImReaderWriter::load(void* data, uint32_t width, uint32_t height, uint16_t bitsPerSample,
                          uint16_t samplesPerPixel, uint16_t compression, uint16_t photometric)
{
    // A new geometry never pairs with an earlier image's samples.
    m_pData16.reset();
    m_pData8.reset();

    m_width = width;
    m_height = height;
    m_bitsPerSample = bitsPerSample;
    m_samplesPerPixel = samplesPerPixel;
    m_compression = compression;
    m_photometric = photometric;
    m_depth = static_cast<uint16_t>(samplesPerPixel * bitsPerSample);
    const uint64_t size = uint64_t(width) * samplesPerPixel * height;
    m_size = size <= UINT32_MAX ? static_cast<uint32_t>(size) : 0;
    if (!data || m_size == 0)
        return false;

    if (m_depth == 16 || m_depth == 48) {
        m_pData16.reset(new (std::nothrow) uint16_t[m_size]);
        if (m_pData16)
            std::memcpy(m_pData16.get(), data, size_t(m_size) * 2);
        return bool(m_pData16);
    }
    if (m_depth == 8 || m_depth == 24) {
        m_pData8.reset(new (std::nothrow) uint8_t[m_size]);
        if (m_pData8)
            std::memcpy(m_pData8.get(), data, m_size);
        return bool(m_pData8);
    }
    return false;
}

ImReaderWriter::IMAGE_TYPE ImReaderWriter::_getImageType(std::string& path)
{
    const std::string::size_type dot = path.rfind('.');
    const std::string extension = path.substr(dot == std::string::npos ? 0 : dot + 1, 3);
    if (extension == "jpg")
        return IMAGE_JPEG;
    if (extension == "png")
        return IMAGE_PNG;
    if (extension == "bmp")
        return IMAGE_BMP;
    if (extension == "raw")
        return IMAGE_RAW;
    return IMAGE_TIFF;
}

bool ImReaderWriter::write(std::string& path, std::string metadata)
{
    if (!m_pData8 && !m_pData16) {
        KLOG << "ImReaderWriter::write: no image held for" << QString::fromStdString(path);
        return false;
    }
    switch (_getImageType(path)) {
    case IMAGE_JPEG:
        return _write_qt(path, "JPG");
    case IMAGE_PNG:
        return _write_qt(path, "PNG");
    case IMAGE_BMP:
        return _write_qt(path, "BMP");
    case IMAGE_RAW:
        return _write_raw(path);
    case IMAGE_TIFF:
        break;
    }
    return _write_tiff(path, metadata);
}

bool ImReaderWriter::_write_tiff(std::string& path, std::string& metadata)
{
    // Written beside the image and put in its place once whole: a failed
    // save (a full disk) keeps the image that was there.
    const QString target = QString::fromStdString(platform::rootPath(path));
    TiffOutput tiff(target);
    if (!tiff.created()) {
        KLOG << "ImReaderWriter: cannot create a part of" << target;
        return false;
    }
    if (!tiff.get()) {
        // A full disk can leave an empty file without even its header.
        KLOG << "ImReaderWriter: cannot start" << target;
        return tiff.commit(false);
    }
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, m_width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, m_height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, m_bitsPerSample);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, m_samplesPerPixel);
    TIFFSetField(t, TIFFTAG_COMPRESSION, m_compression);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, m_photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);

    if (!metadata.empty()) {
        const auto items = TagParser().parse(metadata);
        const auto instrument = items.find("Instrument");
        if (instrument != items.end()) {
            TIFFSetField(t, TIFFTAG_SOFTWARE, instrument->second.c_str());
            eraseItem(metadata, "Instrument");
        }
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, metadata.c_str());
    }

    tmsize_t written;
    tmsize_t expected;
    if (m_pData16) {
        // 12-bit samples sit in the low bits; the file keeps them in the high bits.
        std::unique_ptr<uint16_t[]> rotated(new (std::nothrow) uint16_t[m_size]);
        if (!rotated)
            return tiff.commit(false);
        for (uint32_t i = 0; i < m_size; ++i)
            rotated[i] = static_cast<uint16_t>(m_pData16[i] << 4 | m_pData16[i] >> 12);
        expected = tmsize_t(m_size) * 2;
        written = TIFFWriteEncodedStrip(t, 0, rotated.get(), expected);
    } else {
        expected = tmsize_t(m_size);
        written = TIFFWriteEncodedStrip(t, 0, m_pData8.get(), expected);
    }
    // A full disk shows here: a short strip, a directory that cannot be
    // written or a part that cannot be forced to the medium or renamed.
    if (!tiff.commit(written == expected)) {
        KLOG << "ImReaderWriter: writing failed" << target;
        return false;
    }
    return true;
}

bool ImReaderWriter::_write_qt(std::string& path, const char* format)
{
    if (!m_pData8)
        return false;
    QImage image;
    // Rows of the held image are packed; QImage assumes 32-bit aligned rows
    // unless told otherwise.
    if (m_depth == 8) {
        image = QImage(m_pData8.get(), int(m_width), int(m_height), int(m_width), QImage::Format_Indexed8);
        QVector<QRgb> grey(256);
        for (int i = 0; i < 256; ++i)
            grey[i] = qRgba(i, i, i, 255);
        image.setColorTable(grey);
    } else if (m_depth == 24) {
        image = QImage(m_pData8.get(), int(m_width), int(m_height), int(m_width) * 3, QImage::Format_RGB888);
    }
    const QString file = platform::rootPath(QString::fromStdString(path));
    return image.save(file, format, -1);
}

bool ImReaderWriter::_write_raw(std::string& path)
{
    QFile file(platform::rootPath(QString::fromStdString(path)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const char* bytes = m_pData16 ? reinterpret_cast<const char*>(m_pData16.get())
                                  : reinterpret_cast<const char*>(m_pData8.get());
    const qint64 size = qint64(m_size) * (m_pData16 ? 2 : 1);
    const bool ok = file.write(bytes, size) == size && file.flush();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

unsigned char* ImReaderWriter::imread(std::string path)
{
    registerTagExtender();
    m_bReadOk = false;
    m_readWidth = 0;
    m_readHeight = 0;

    const std::string file = platform::rootPath(path);
    TiffHandle tiff = openTiff(file, "r");
    if (!tiff) {
        KLOG << "ImReaderWriter::imread: cannot open" << QString::fromStdString(file);
        return nullptr;
    }
    TIFF* t = tiff.get();
    uint32_t width = 0, height = 0;
    uint16_t bitsPerSample = 0, samplesPerPixel = 0, photometric = 0, compression = 0;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height)
        || !TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bitsPerSample)
        || !TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel)
        || !TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) || !TIFFGetField(t, TIFFTAG_COMPRESSION, &compression)) {
        KLOG << "ImReaderWriter::imread: base fields missing in" << QString::fromStdString(file);
        return nullptr;
    }

    // The buffer is width × height × 3 bytes and callers take it as such:
    // anything but contiguous 8-bit RGB would not fit it.
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    const uint64_t rowBytes = uint64_t(width) * 3;
    if (bitsPerSample != 8 || samplesPerPixel != 3 || photometric != PHOTOMETRIC_RGB
        || planar != PLANARCONFIG_CONTIG || width == 0 || height == 0
        || uint64_t(TIFFScanlineSize64(t)) != rowBytes) {
        KLOG << "ImReaderWriter::imread: not an 8-bit RGB image:" << QString::fromStdString(file);
        return nullptr;
    }
    if (width > kMaxReadWidth || height > kMaxReadHeight) {
        KLOG << "ImReaderWriter::imread: larger than a frame:" << width << "x" << height << QString::fromStdString(file);
        return nullptr;
    }
    m_bReadOk = true;

    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[rowBytes * height]);
    if (!buffer) {
        m_bReadOk = false;
        return nullptr;
    }
    readPrivateFields(t);

    for (uint32_t row = 0; row < height; ++row) {
        if (TIFFReadScanline(t, buffer.get() + rowBytes * row, row, 0) < 0) {
            KLOG << "ImReaderWriter::imread: row" << row << "unreadable in" << QString::fromStdString(file);
            m_bReadOk = false;
            return nullptr;
        }
    }
    m_readWidth = width;
    m_readHeight = height;
    return buffer.release();
}

namespace {

// A variable-count private field with exactly `count` values, or null.
template <typename T>
const T* fieldValues(TIFF* tiff, uint32_t tag, uint16_t count)
{
    uint16_t found = 0;
    T* values = nullptr;
    if (TIFFGetField(tiff, tag, &found, &values) && values && found == count)
        return values;
    return nullptr;
}

template <typename T, size_t N>
void copyOrZero(const T* values, T (&target)[N])
{
    for (size_t i = 0; i < N; ++i)
        target[i] = values ? values[i] : T(0);
}

}  // namespace

void ImReaderWriter::readPrivateFields(TIFF* t)
{
    char* text = nullptr;
    m_version = TIFFGetField(t, KovaFLVersion, &text) && text ? text : "";
    text = nullptr;
    m_serial = TIFFGetField(t, KovaFLSerial, &text) && text ? text : "";

    uint32_t length = 0;
    text = nullptr;
    if (TIFFGetField(t, KovaFLCalibration, &length, &text) && text)
        m_calibration.assign(text, strnlen(text, length));
    else
        m_calibration.clear();

    copyOrZero(fieldValues<float>(t, KovaFLParams, 4), m_params);
    copyOrZero(fieldValues<float>(t, KovaFLCountingResult1, 8), m_countingResult1);
    const uint32_t* r2 = fieldValues<uint32_t>(t, KovaFLCountingResult2, 10);
    for (size_t i = 0; i < 10; ++i)
        m_countingResult2[i] = r2 ? static_cast<int32_t>(r2[i]) : 0;
}

int ImReaderWriter::getTiffDirectoryCounts(std::string path)
{
    registerTagExtender();
    TiffHandle tiff = openTiff(platform::rootPath(path), "r");
    if (!tiff)
        return 0;
    return TIFFReadDirectory(tiff.get()) == 1 ? 1 : 0;
}

void ImReaderWriter::setCountedResults(float total, int totalExp, float live, int liveExp, float dead, int deadExp,
                                       float viability, float averageSize, int dilution, int totalCells,
                                       int liveCells, int deadCells, float r1_6, int r2_6, int r2_8, float r1_7,
                                       int r2_7, int r2_9)
{
    float* r1 = m_countingResult1;
    int32_t* r2 = m_countingResult2;
    r1[0] = total;
    r2[0] = totalExp;
    r1[1] = live;
    r2[1] = liveExp;
    r1[2] = dead;
    r2[2] = deadExp;
    r1[3] = viability;
    r1[4] = averageSize;
    r1[5] = static_cast<float>(dilution);
    r2[3] = totalCells;
    r2[4] = liveCells;
    r2[5] = deadCells;
    r1[6] = r1_6;
    r2[6] = r2_6;
    r2[8] = r2_8;
    r1[7] = r1_7;
    r2[7] = r2_7;
    r2[9] = r2_9;
}
