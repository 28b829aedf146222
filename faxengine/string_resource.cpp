#include "faxengine/string_resource.h"

#include "faxengine/fax_status.h"

#include <algorithm>
#include <cstdio>

namespace faxengine {

namespace {

constexpr faximage::StringEntry kResourceManagerStrings[] = {
    {1, "String not found: %d"},
    {2, "Cannot lock resource"},
    {3, "String resource not found: %s"},
    {4, "Unable to open string resource: %s"},
    {5, "Invalid string resource: %s"},
};


constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get32(std::span<const std::uint8_t> d, std::size_t at) {
    return std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 | std::uint32_t(d[at + 2]) << 16 |
           std::uint32_t(d[at + 3]) << 24;
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        char32_t cp = 0xFFFD;
        std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (n == 1 && c < 0x80) {
            cp = c;
        } else if (n > 1 && i + n <= s.size()) {
            cp = c & (0x3F >> (n - 1));
            for (std::size_t k = 1; k < n; ++k)
                cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        i += std::min(n, s.size() - i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string formatted(const char* fmt, const std::string& arg) {
    std::string f = fmt;
    auto p = f.find("%s");
    if (p == std::string::npos)
        p = f.find("%d");
    if (p != std::string::npos)
        f.replace(p, 2, arg);
    return f;
}

[[noreturn]] void raiseStringError(int number, const std::string& arg) {
    // The resource-manager table is built from constants, so it cannot fail itself.
    std::string fmt = "Invalid string resource: %s";
    for (const auto& e : kResourceManagerStrings)
        if (e.id == static_cast<std::uint32_t>(number))
            fmt = std::string(e.text);
    throw EAdStringResourceError(number, formatted(fmt.c_str(), arg));
}

} // namespace

std::vector<std::uint8_t> buildStr0(std::span<const faximage::StringEntry> entries) {
    std::vector<std::u16string> texts;
    texts.reserve(entries.size());
    std::size_t size = kHeaderSize + kEntrySize * entries.size();
    for (const auto& e : entries) {
        texts.push_back(utf8ToUtf16(e.text));
        size += texts.back().size() * 2;
    }
    std::vector<std::uint8_t> out(size);
    out[0] = 'S', out[1] = 'T', out[2] = 'R', out[3] = '0';
    put32(out, 4, static_cast<std::uint32_t>(entries.size()));
    std::size_t textAt = kHeaderSize + kEntrySize * entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::size_t at = kHeaderSize + kEntrySize * i;
        put32(out, at, entries[i].id);
        put32(out, at + 4, static_cast<std::uint32_t>(textAt));
        put32(out, at + 8, static_cast<std::uint32_t>(texts[i].size()));
        for (char16_t ch : texts[i]) {
            out[textAt++] = static_cast<std::uint8_t>(ch);
            out[textAt++] = static_cast<std::uint8_t>(ch >> 8);
        }
    }
    return out;
}

TVelkStringResource::TVelkStringResource(std::span<const std::uint8_t> data, std::string name)
    : data_(data), name_(std::move(name)) {
    if (data_.size() < kHeaderSize || data_[0] != 'S' || data_[1] != 'T' || data_[2] != 'R' ||
        data_[3] != '0')
        raiseStringError(5, name_);
    count_ = get32(data_, 4);
    if (count_ > (data_.size() - kHeaderSize) / kEntrySize)
        raiseStringError(5, name_);
    std::uint32_t prev = 0;
    for (std::uint32_t i = 0; i < count_; ++i) {
        Entry e = entry(i);
        std::uint64_t end = std::uint64_t(e.offset) + std::uint64_t(e.length) * 2;
        if (end > data_.size() || (i > 0 && e.id <= prev))
            raiseStringError(5, name_);
        prev = e.id;
    }
}

TVelkStringResource::Entry TVelkStringResource::entry(std::uint32_t index) const {
    std::size_t at = kHeaderSize + kEntrySize * index;
    return {get32(data_, at), get32(data_, at + 4), get32(data_, at + 8)};
}

bool TVelkStringResource::find(std::uint32_t id, Entry& out) const {
    std::uint32_t lo = 0, hi = count_;
    while (lo < hi) {
        std::uint32_t mid = lo + (hi - lo) / 2;
        Entry e = entry(mid);
        if (e.id == id) {
            out = e;
            return true;
        }
        if (e.id < id)
            lo = mid + 1;
        else
            hi = mid;
    }
    return false;
}

bool TVelkStringResource::Contains(std::uint32_t id) const {
    Entry e{};
    return find(id, e);
}

std::string TVelkStringResource::GetString(std::uint32_t id) const {
    Entry e{};
    if (!find(id, e))
        raiseStringError(1, std::to_string(id));
    std::string out;
    for (std::uint32_t i = 0; i < e.length; ++i) {
        std::size_t at = e.offset + 2 * std::size_t(i);
        char32_t ch = data_[at] | data_[at + 1] << 8;
        if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < e.length) {
            char32_t lo = data_[at + 2] | data_[at + 3] << 8;
            if (lo >= 0xDC00 && lo < 0xE000) {
                ch = 0x10000 + ((ch - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (ch >= 0xD800 && ch < 0xE000)
            ch = 0xFFFD;
        appendUtf8(out, ch);
    }
    return out;
}

std::string TVelkStringResource::GetString(std::uint32_t id, std::size_t bufferSize) const {
    std::string s = GetString(id);
    if (bufferSize == 0)
        return {};
    if (s.size() > bufferSize - 1) {
        std::size_t cut = bufferSize - 1;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
            --cut;
        s.resize(cut);
    }
    return s;
}

namespace {
struct EmbeddedTable {
    std::vector<std::uint8_t> data;
    TVelkStringResource reader;
    EmbeddedTable(std::span<const faximage::StringEntry> entries, const char* name)
        : data(buildStr0(entries)), reader(data, name) {}
};
} // namespace

const TVelkStringResource& resourceManagerStrings() {
    static const EmbeddedTable table(kResourceManagerStrings, "RESMGR");
    return table.reader;
}

const TVelkStringResource& errorStrings() {
    static const EmbeddedTable table(faximage::errorStringTable(), "ERRORS");
    return table.reader;
}

const TVelkStringResource& faxStrings() {
    static const EmbeddedTable table(faxStatusTable(), "FAXSTR");
    return table.reader;
}

} // namespace faxengine
