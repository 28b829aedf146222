// A Windows-style INI file ("[Section]" lines and "Key=Value" lines) that keeps what it
// does not understand. Sections and keys are looked up without regard to case; lines that
// are neither (comments, blank lines, malformed text, binary bytes) stay where they were,
// each with its own line end, so that a load/save round trip loses nothing written by
// someone else. Whatever else a file holds, every readable entry in it is read.
//
// Values are read with the blanks around them removed; a value that starts and ends with
// a double quote is read without that pair, which is how values with blanks at either
// end (or with quotes at both ends) are written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

class IniFile {
public:
    IniFile() = default;

    // Reads the file; a missing or unreadable file reads as empty.
    static IniFile load(const std::filesystem::path& file);
    static IniFile parse(std::string_view text);

    // False when the file held bytes no text file has (NUL). Such bytes are ignored where
    // entries are read and kept where lines are left as they were.
    bool wasText() const { return wasText_; }

    // Writes to a temporary file beside `file` and renames it over, so that a crash
    // leaves either the old or the new file. Throws std::system_error on failure.
    void save(const std::filesystem::path& file) const;
    std::string text() const;

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // Decimal (optionally signed) or 0x/$ hexadecimal; anything else gives the fallback.
    int readInteger(std::string_view section, std::string_view key, int fallback) const;
    // Stored as an integer: 0 is false, any other number true; unreadable gives the fallback.
    bool readBool(std::string_view section, std::string_view key, bool fallback) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    bool hasSection(std::string_view section) const;
    std::vector<std::string> sectionNames() const;
    std::vector<std::string> keys(std::string_view section) const;
    void eraseKey(std::string_view section, std::string_view key);
    void eraseSection(std::string_view section);

private:
    struct Line {
        std::string key;   // empty for a line that is not an entry
        std::string value; // the entry's value
        std::string raw;   // the line as read; cleared when the entry is changed
        std::string end;   // its line end as read ("\n", "\r\n" or none); empty: the file's
    };
    struct Section {
        std::string name;   // empty for the lines before the first section header
        std::string header; // the header line as read
        std::string headerEnd;
        std::vector<Line> lines;
    };

    const Section* findSection(std::string_view name) const;
    Section& sectionForWrite(std::string_view name);

    std::vector<Section> sections_;
    std::string eol_ = "\n"; // for new lines: the line end of the file's first line
    bool wasText_ = true;
};

// Case-insensitive comparison for ASCII names, as INI files and DOS file names use.
bool equalsNoCase(std::string_view a, std::string_view b);

} // namespace settings
