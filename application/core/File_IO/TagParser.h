#pragma once

#include <map>
#include <string>

// Turns "key=value,key=value" into a map. Any character of the separator set
// ends an item; empty items count; the first "=" splits; the first value of a
// repeated key wins; an item without "=" is its own key and value.
class TagParser
{
public:
    TagParser();

    // An empty set leaves the separators unchanged.
    void setSeperator(std::string separators);
    std::map<std::string, std::string> parse(std::string text) const;

private:
    std::string m_strSeparators;
};
