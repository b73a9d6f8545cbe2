#include "resources/control_text.h"

#include "resources/utf8_text.h"

Words lines(std::string_view text, char separator)
{
    Words result;
    for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = std::min(text.find(separator, start), text.size());
        result.emplace_back(text.substr(start, end - start));
    }
    return result;
}

bool contains(const Words& words, std::string_view word)
{
    return std::find(words.begin(), words.end(), word) != words.end();
}

std::string_view packageOf(std::string_view relation)
{
    return relation.substr(0, relation.find_first_of(" :("));
}

Words namesIn(std::string_view field)
{
    Words names;
    for (std::size_t start = 0; start < field.size();) {
        start = field.find_first_not_of(" \n,|", start);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(field.find_first_of(",|", start), field.size());
        names.emplace_back(packageOf(field.substr(start, end - start)));
        start = end;
    }
    return names;
}

std::string debianRelations(std::string_view relation)
{
    std::string text;
    for (std::size_t i = 0; i < relation.size(); ++i) {
        text += relation[i];
        if ((relation[i] == '<' || relation[i] == '>') && i > 0 && relation[i - 1] == '('
            && relation.substr(i + 1).starts_with(' '))
            text += relation[i];
    }
    return printable(text);
}

std::string printable(std::string_view name)
{
    std::string text = toValidUtf8(name, name.size() * 3);
    std::replace_if(
        text.begin(), text.end(),
        [](char byte) { return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F; }, '?');
    return text;
}
