// The INI reader on arbitrary files: whatever a file holds, parse → write → parse gives
// the same entries, both when the text is written back as it was and when every entry
// is written anew; and an untouched file is written back byte for byte.
#include "base/ini_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using settings::IniFile;

struct Entry {
    std::string section, key, value;
    bool operator==(const Entry&) const = default;
};

// Every entry a caller can reach: the first section of each name, the first key of each
// name in it.
std::vector<Entry> entriesOf(const IniFile& ini) {
    std::vector<Entry> out;
    for (const auto& section : ini.sectionNames())
        for (const auto& key : ini.keys(section))
            out.push_back({section, key, *ini.value(section, key)});
    return out;
}

// What the reached entries read as, looked up by name (duplicates read as their first).
std::vector<std::string> readBack(const IniFile& ini, const std::vector<Entry>& entries) {
    std::vector<std::string> values;
    for (const auto& e : entries)
        values.push_back(ini.value(e.section, e.key).value_or("<missing>"));
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const IniFile ini = IniFile::parse(text);
    if (ini.text() != text)
        std::abort(); // nothing changed: every byte written back as read

    const auto entries = entriesOf(ini);
    const auto expected = readBack(ini, entries);
    if (entriesOf(IniFile::parse(ini.text())) != entries)
        std::abort();

    IniFile rebuilt;
    for (const auto& e : entries)
        rebuilt.writeString(e.section, e.key, e.value);
    if (readBack(IniFile::parse(rebuilt.text()), entries) != expected)
        std::abort();

    // Changing every entry of the parsed file in place keeps the others readable too.
    IniFile changed = IniFile::parse(text);
    for (const auto& e : entries)
        changed.writeString(e.section, e.key, e.value + " ");
    const IniFile again = IniFile::parse(changed.text());
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (again.value(entries[i].section, entries[i].key) != expected[i] + " ")
            std::abort();
    return 0;
}
