#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A rolling table of text lines kept in memory: a header line, then data lines
// oldest first, at most a fixed number of lines in all. Lines are byte strings
// taken as they are (no quoting, trimming or conversion); callers format whole
// lines and split them with parse. Paths are logical and mapped under the
// instrument root.
class CSVReaderWriter
{
public:
    // Capacity in lines (header included) and a printf-style header; the
    // header becomes line 0.
    CSVReaderWriter(size_t maxLines, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    // Capacity 100; the header is kept but is not a line.
    explicit CSVReaderWriter(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    ~CSVReaderWriter();

    // Appends one printf-formatted data line; a full table first drops its
    // oldest data line (and line 0 becomes the header text again).
    void fillDataField(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // Appends every line of the file but its first; no capacity is applied.
    // False (lines unchanged) when the file cannot be read.
    bool read(const char* path);

    // The lines in stored order, joined by line feeds, no line feed at the end.
    // Written through a temporary file and a rename: false, and the file as it
    // was, when anything fails.
    bool write(const char* path) const;
    // Line 0 and a line feed, then the data lines newest first (no line feed
    // after the oldest). Same safety as write.
    bool reverseWrite(const char* path) const;

    std::vector<std::string> csv() const;

    // Splits at every comma; a final comma adds no empty field, an empty line
    // gives no fields.
    static void parse(std::string line, std::vector<std::string>& fields);

    // Replaces the second field of the line `fromEnd` lines from the end
    // (1 = the last line). False when there is no such data line.
    bool replaceName(std::string name, int fromEnd);
    // Replaces the first field of the last line. False without a data line.
    bool replaceName(std::string name);

    // Removes every line, line 0 included; header text and capacity stay.
    void erase();

private:
    bool save(const char* path, const std::string& bytes) const;

    size_t m_nMaxLines;
    std::string m_strHeader;
    std::vector<std::string> m_Lines;
};
