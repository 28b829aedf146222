#include "call_log.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vline {

CallLog::CallLog(const std::filesystem::path& path, int callId, bool echo)
    : path_(path), callId_(callId), echo_(echo), start_(std::chrono::steady_clock::now()) {
    file_ = std::fopen(path.c_str(), "w");
    if (!file_)
        throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
}

CallLog::~CallLog() {
    if (file_)
        std::fclose(file_);
}

void CallLog::line(std::string_view who, std::string_view text) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now() - start_).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%4lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    std::fprintf(file_, "%s %-8.*s %.*s\n", stamp, static_cast<int>(who.size()), who.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(file_);
    if (echo_)
        std::fprintf(stderr, "call %d %s %.*s %.*s\n", callId_, stamp,
                     static_cast<int>(who.size()), who.data(), static_cast<int>(text.size()),
                     text.data());
}

void CallLog::bytes(std::string_view who, std::string_view what,
                    std::span<const std::uint8_t> data) {
    line(who, std::string(what) + printable(data));
}

std::string printable(std::span<const std::uint8_t> data) {
    std::string out;
    for (std::uint8_t b : data) {
        if (b == '\r')
            out += "<CR>";
        else if (b == '\n')
            out += "<LF>";
        else if (b == 0x10)
            out += "<DLE>";
        else if (b == 0x03)
            out += "<ETX>";
        else if (b >= 0x20 && b < 0x7F)
            out += static_cast<char>(b);
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", b);
            out += hex;
        }
    }
    return out;
}

namespace {
std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += (c == '\n' || c == '\r') ? ' ' : c;
    }
    return out + "\"";
}
} // namespace

std::string ResultRecord::format() const {
    std::string s = "call=" + std::to_string(call) + " number=" + number +
                    " direction=" + direction + " result=" + std::to_string(completionCode) +
                    " result_text=" + quoted(completionText) + " pages=" + std::to_string(pages) +
                    " bit_rate=" + std::to_string(bitRate) + " ecm=" + (ecm ? "on" : "off") +
                    " remote_id=" + quoted(remoteId) + " file=" + quoted(file);
    if (!hangup.empty())
        s += " hangup=" + quoted(hangup);
    return s;
}

void appendResult(const std::filesystem::path& file, const ResultRecord& r) {
    std::ofstream out(file, std::ios::app);
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
    out << r.format() << '\n';
}

} // namespace vline
