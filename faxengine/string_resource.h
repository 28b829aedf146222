// String tables in the "STR0" layout: "STR0", a 32-bit count N, N entries of three 32-bit
// values (id, offset, length in UTF-16 characters) sorted by id, and the UTF-16 texts at
// their offsets from the start. All values little-endian.
#pragma once

#include "faxengine/engine_errors.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace faxengine {

// Raised for every string-table failure; Number() is the resource-manager error (1-5).
class EAdStringResourceError : public std::runtime_error {
public:
    EAdStringResourceError(int number, const std::string& message)
        : std::runtime_error(message), number_(number) {}
    int Number() const noexcept { return number_; }

private:
    int number_;
};

// Builds a table in the layout above from (id, UTF-8 text) entries; ids must be sorted.
std::vector<std::uint8_t> buildStr0(std::span<const faximage::StringEntry> entries);

class TVelkStringResource {
public:
    // Reads a table; the data must outlive the reader. A malformed table raises error 5.
    // name is only used in error messages.
    explicit TVelkStringResource(std::span<const std::uint8_t> data, std::string name = "STR0");

    // The text of id as UTF-8; a missing id raises error 1 "String not found: %d".
    std::string GetString(std::uint32_t id) const;
    // Same, cut (at a character boundary) so that it fits a buffer of bufferSize bytes
    // including its terminating zero.
    std::string GetString(std::uint32_t id, std::size_t bufferSize) const;
    bool Contains(std::uint32_t id) const;
    std::uint32_t Count() const { return count_; }

private:
    struct Entry {
        std::uint32_t id, offset, length;
    };
    Entry entry(std::uint32_t index) const;
    bool find(std::uint32_t id, Entry& out) const;

    std::span<const std::uint8_t> data_;
    std::string name_;
    std::uint32_t count_ = 0;
};

// The three embedded tables, built once from the texts compiled into the program.
const TVelkStringResource& resourceManagerStrings();
const TVelkStringResource& errorStrings();
const TVelkStringResource& faxStrings();

} // namespace faxengine
