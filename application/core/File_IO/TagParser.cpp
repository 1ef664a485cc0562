#include "File_IO/TagParser.h"

TagParser::TagParser()
    : m_strSeparators(",")
{
}

void TagParser::setSeperator(std::string separators)
{
    if (!separators.empty())
        m_strSeparators = std::move(separators);
}

std::map<std::string, std::string> TagParser::parse(std::string text) const
{
    std::map<std::string, std::string> result;
    std::string::size_type start = 0;
    while (true) {
        const std::string::size_type end = text.find_first_of(m_strSeparators, start);
        const std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);

        const std::string::size_type equals = item.find('=');
        if (equals == std::string::npos)
            result.emplace(item, item);
        else
            result.emplace(item.substr(0, equals), item.substr(equals + 1));

        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return result;
}
