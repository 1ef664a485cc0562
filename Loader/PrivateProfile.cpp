#include "PrivateProfile.h"

#include "platform/Root.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

// Where a key stands in a file's text.
struct Lookup
{
    bool sectionFound = false;
    bool keyFound = false;
    std::size_t valueBegin = 0;  // the value, when the key was found
    std::size_t valueEnd = 0;
    std::size_t nextHeader = std::string::npos;  // the "[" that ends the section
};

std::size_t nextLine(const std::string& text, std::size_t from)
{
    const std::size_t end = text.find('\n', from);
    return end == std::string::npos ? text.size() : end + 1;
}

Lookup lookUp(const std::string& text, const std::string& section, const std::string& key)
{
    Lookup found;
    std::size_t i = 0;
    while (i < text.size() && !found.sectionFound) {
        if (text[i] == '[') {
            const std::size_t close = text.find(']', i + 1);
            if (close == std::string::npos)
                return found;
            found.sectionFound = text.compare(i + 1, close - i - 1, section) == 0;
            i = nextLine(text, close);
        } else if (text[i] == ';') {
            i = nextLine(text, i);
        } else {
            ++i;
        }
    }
    // Inside the section only the first character of a line decides.
    while (found.sectionFound && i < text.size()) {
        if (text[i] == '[') {
            found.nextHeader = i;
            return found;
        }
        const std::size_t lineEnd = std::min(text.find('\n', i), text.size());
        const std::size_t equals = text.find('=', i);
        if (text[i] != ';' && equals < lineEnd && equals - i == key.size() && text.compare(i, key.size(), key) == 0) {
            found.keyFound = true;
            found.valueBegin = equals + 1;
            found.valueEnd = lineEnd;
            return found;
        }
        i = nextLine(text, i);
    }
    return found;
}

bool readText(const std::string& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

}  // namespace

int ReadPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                             std::string& result, const std::string& fileName)
{
    std::string text;
    if (readText(platform::rootPath(fileName), text)) {
        const Lookup found = lookUp(text, section, key);
        if (found.keyFound) {
            result = text.substr(found.valueBegin, found.valueEnd - found.valueBegin);
            return 1;
        }
    }
    result = defaultValue;
    return 0;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& fileName)
{
    const std::string path = platform::rootPath(fileName);
    std::string text;
    readText(path, text);  // a missing file counts as empty

    const Lookup found = lookUp(text, section, key);
    const std::string line = key + "=" + value + "\n";
    if (found.keyFound) {
        text.replace(found.valueBegin, found.valueEnd - found.valueBegin, value);
    } else if (found.nextHeader != std::string::npos) {
        text.insert(found.nextHeader, line);
    } else {
        if (!text.empty() && text.back() != '\n')
            text += '\n';
        if (!found.sectionFound)
            text += "[" + section + "]\n";
        text += line;
    }

    const std::string temporary = path + ".new";
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    file.write(text.data(), std::streamsize(text.size()));
    file.close();
    if (!file || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
