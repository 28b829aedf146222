#include "faxengine/port_trace.h"

#include "faxengine/engine_errors.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace faxengine {

namespace {
constexpr std::size_t kMaxLine = 78;

std::string byteToken(std::uint8_t b, bool hex) {
    char first = hex ? '!' : ' ';
    if (b >= static_cast<std::uint8_t>(first) && b <= '~')
        return std::string(1, static_cast<char>(b));
    char buf[8];
    std::snprintf(buf, sizeof buf, hex ? "[%02X]" : "[%u]", b);
    return buf;
}

std::string directionLine(char d) {
    if (d == 'T')
        return "Transmit: ";
    if (d == 'R')
        return "Receive: ";
    return std::string("Special-") + d + ": ";
}
} // namespace

int PortTrace::Start(std::size_t entries) {
    if (entries == 0 || entries > kMaxEntries)
        return ec::BadArgument;
    buf_.assign(entries, Entry{});
    next_ = 0;
    wrapped_ = false;
    paused_ = false;
    return 0;
}

void PortTrace::Stop() {
    buf_.clear();
    buf_.shrink_to_fit();
    next_ = 0;
    wrapped_ = false;
    paused_ = false;
}

void PortTrace::Clear() {
    next_ = 0;
    wrapped_ = false;
}

void PortTrace::Add(char direction, std::span<const std::uint8_t> bytes) {
    if (!Recording())
        return;
    for (auto b : bytes) {
        buf_[next_] = {direction, b};
        if (++next_ == buf_.size()) {
            next_ = 0;
            wrapped_ = true;
        }
    }
}

std::string PortTrace::Format(bool hex) const {
    std::string out, line;
    char current = 0;
    std::size_t n = Count();
    std::size_t first = wrapped_ ? next_ : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Entry& e = buf_[(first + i) % buf_.size()];
        if (e.direction != current) {
            if (current != 0) {
                out += line + "\n\n";
                line.clear();
            }
            out += directionLine(e.direction) + "\n";
            current = e.direction;
        }
        std::string tok = byteToken(e.byte, hex);
        if (!line.empty() && line.size() + tok.size() > kMaxLine) {
            out += line + "\n";
            line.clear();
        }
        line += tok;
    }
    if (current != 0)
        out += line + "\n";
    return out;
}

int PortTrace::Dump(const std::filesystem::path& file, bool append, bool hex) {
    if (!Started())
        return ec::TracingNotEnabled;
    int rc = writeTextFile(file, Format(hex), append);
    Clear();
    return rc;
}

int writeTextFile(const std::filesystem::path& file, const std::string& text, bool append) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(std::fopen(file.c_str(), append ? "ab" : "wb"));
    if (!f)
        return -errno;
    if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size())
        return -(errno ? errno : EIO);
    if (std::fflush(f.get()) != 0)
        return -errno;
    return 0;
}

} // namespace faxengine
