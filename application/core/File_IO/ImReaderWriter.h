#pragma once

#include <QMutex>

#include <cstdint>
#include <memory>
#include <string>

struct tiff;

// Writes an image held in memory to a file whose format follows the file
// name's extension (TIFF, JPEG, PNG, BMP or raw samples), and reads stored
// TIFF images back together with the instrument's private TIFF fields.
// Paths are logical and mapped under the instrument root. One object is used
// by one thread at a time; loadAndWrite serialises all writers.
class ImReaderWriter
{
public:
    enum IMAGE_TYPE { IMAGE_TIFF = 0, IMAGE_JPEG = 1, IMAGE_PNG = 2, IMAGE_BMP = 3, IMAGE_RAW = 4 };

    // Private TIFF fields that the reader understands.
    enum PrivateTag : uint32_t {
        KovaFLVersion = 33600,
        KovaFLSerial = 33601,
        KovaFLCalibration = 33602,
        KovaFLParams = 33603,
        KovaFLCountingResult1 = 33604,
        KovaFLCountingResult2 = 33605,
    };

    ImReaderWriter();
    ~ImReaderWriter();
    ImReaderWriter(const ImReaderWriter&) = delete;
    ImReaderWriter& operator=(const ImReaderWriter&) = delete;

    // load then write, holding mutex_imgwrite throughout; write's result.
    bool loadAndWrite(void* data, uint32_t width, uint32_t height, uint16_t bitsPerSample,
                      uint16_t samplesPerPixel, uint16_t compression, uint16_t photometric,
                      std::string& path, std::string metadata);

    // Copies the caller's samples (8 or 16 bits per pixel grey, 24 or 48 RGB);
    // false, holding no image, for any other depth or no data.
    bool load(void* data, uint32_t width, uint32_t height, uint16_t bitsPerSample, uint16_t samplesPerPixel,
              uint16_t compression, uint16_t photometric);
    // Writes the held image in the format of the path; false when there is no
    // image or the file could not be written completely.
    bool write(std::string& path, std::string metadata);

    // The largest image imread takes: the camera's full frame. Nothing the
    // instrument stores is larger, and a file of a few bytes may declare
    // gigabytes.
    static constexpr uint32_t kMaxReadWidth = 2592;
    static constexpr uint32_t kMaxReadHeight = 1944;

    // Reads the first directory of an 8-bit RGB TIFF into a new buffer of
    // readWidth() × readHeight() × 3 bytes that the caller releases with
    // delete[]; null for a missing, unreadable or other kind of image, and
    // for one larger than kMaxReadWidth × kMaxReadHeight (refused by its
    // header, before anything is allocated).
    unsigned char* imread(std::string path);
    uint32_t readWidth() const { return m_readWidth; }
    uint32_t readHeight() const { return m_readHeight; }
    // True once the last imread found the base fields of an 8-bit RGB image
    // and read every row.
    bool readOk() const { return m_bReadOk; }

    // 1 when a second image directory follows the first, else 0.
    int getTiffDirectoryCounts(std::string path);

    // The 18 counting-result slots, in the order of the saving code: R1[0] R2[0]
    // (total), R1[1] R2[1] (live), R1[2] R2[2] (dead), R1[3] viability, R1[4]
    // average size, R1[5] dilution, R2[3..5] cell numbers, then R1[6] R2[6]
    // R2[8] R1[7] R2[7] R2[9].
    void setCountedResults(float total, int totalExp, float live, int liveExp, float dead, int deadExp,
                           float viability, float averageSize, int dilution, int totalCells, int liveCells,
                           int deadCells, float r1_6, int r2_6, int r2_8, float r1_7, int r2_7, int r2_9);
    // The slots as set or as read by the last imread (fields 33604 and 33605).
    const float* countingResult1() const { return m_countingResult1; }
    const int32_t* countingResult2() const { return m_countingResult2; }

    // Private fields of the last imread (empty or zero when absent).
    const std::string& version() const { return m_version; }
    const std::string& serial() const { return m_serial; }
    const std::string& calibration() const { return m_calibration; }
    const float* params() const { return m_params; }

    static IMAGE_TYPE _getImageType(std::string& path);

    static QMutex mutex_imgwrite;

private:
    bool _write_tiff(std::string& path, std::string& metadata);
    bool _write_qt(std::string& path, const char* format);
    bool _write_raw(std::string& path);
    void readPrivateFields(struct tiff* handle);

    bool m_bReadOk = false;
    std::string m_version;
    std::string m_serial;
    std::string m_calibration;
    float m_params[4] = {};
    float m_countingResult1[8] = {};
    int32_t m_countingResult2[10] = {};

    uint32_t m_width = 0;
    uint32_t m_height = 0;
    uint16_t m_bitsPerSample = 0;
    uint16_t m_samplesPerPixel = 0;
    uint16_t m_photometric = 0;
    uint16_t m_compression = 0;
    uint16_t m_depth = 0;
    uint32_t m_size = 0;
    std::unique_ptr<uint16_t[]> m_pData16;
    std::unique_ptr<uint8_t[]> m_pData8;

    uint32_t m_readWidth = 0;
    uint32_t m_readHeight = 0;
};
