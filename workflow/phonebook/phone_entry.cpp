#include "workflow/phonebook/phone_entry.h"

#include "faxlog/codepage.h"

namespace phonebook {

namespace {

// Length of the UTF-8 sequence starting with byte `b` (1 for anything that is not a lead).
std::size_t sequenceLength(unsigned char b) {
    if (b >= 0xF0)
        return 4;
    if (b >= 0xE0)
        return 3;
    if (b >= 0xC0)
        return 2;
    return 1;
}

} // namespace

std::string unstorableCharacters(std::string_view utf8) {
    std::string bad;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t n = std::min(sequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        const std::string_view ch = utf8.substr(i, n);
        i += n;
        if (faxlog::cp1252ToUtf8(faxlog::utf8ToCp1252(ch)) != ch && bad.find(ch) == std::string::npos)
            bad += ch;
    }
    return bad;
}

int characterCount(std::string_view utf8) {
    int count = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

std::string trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

std::string fieldProblem(std::string_view utf8, int width, std::string_view what) {
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) < 0x20)
            return "the " + std::string(what) + " contains a line break or control character";
    if (const std::string bad = unstorableCharacters(utf8); !bad.empty())
        return "the " + std::string(what) + " contains characters the phone book cannot store: " + bad;
    if (characterCount(utf8) > width)
        return "the " + std::string(what) + " is longer than " + std::to_string(width) + " characters";
    return {};
}

} // namespace phonebook
