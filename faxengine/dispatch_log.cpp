#include "faxengine/dispatch_log.h"

#include "faxengine/port_trace.h"
#include "faxengine/engine_errors.h"

#include <sys/utsname.h>

#include <cstdio>

namespace faxengine {

namespace {
constexpr std::size_t kDataIndent = 45;
constexpr std::size_t kMaxLine = 78; // lines are broken before they reach 79 characters

std::string subTypeText(std::uint8_t sub) {
    return std::string(errorTableText(faximage::kLogSubTypeTextBase + sub));
}

std::string dataToken(std::uint8_t b, bool hex) {
    if (b > ' ' && b <= '~')
        return std::string(1, static_cast<char>(b));
    char buf[8];
    std::snprintf(buf, sizeof buf, hex ? "[%02X]" : "[%u]", b);
    return buf;
}

std::string operatingSystem() {
    utsname u{};
    if (uname(&u) != 0)
        return "Unknown";
    return std::string(u.sysname) + " " + u.release;
}
} // namespace

std::string_view to_string(LogType t) {
    switch (t) {
    case LogType::NoEvent: return "No event";
    case LogType::Dispatch: return "Dispatch";
    case LogType::Trigger: return "Trigger";
    case LogType::Error: return "Error";
    case LogType::Thread: return "Thread";
    case LogType::TrigAllc: return "TrigAllc";
    case LogType::TrigDisp: return "TrigDisp";
    case LogType::TrgHdAlc: return "TrgHdAlc";
    case LogType::TrgHdDsp: return "TrgHdDsp";
    case LogType::TrDatChg: return "TrDatChg";
    case LogType::Telnet: return "Telnet";
    case LogType::Fax: return "Fax";
    case LogType::XModem: return "XModem";
    case LogType::User: return "User";
    }
    return "?";
}

int DispatchLog::Start(std::size_t logSize) {
    if (logSize < kRecordSize || logSize > kMaxSize)
        return ec::BadArgument;
    records_.clear();
    size_ = logSize;
    used_ = 0;
    paused_ = false;
    return 0;
}

void DispatchLog::Stop() {
    records_.clear();
    size_ = used_ = 0;
    paused_ = false;
}

void DispatchLog::Clear() {
    records_.clear();
    used_ = 0;
}

void DispatchLog::Add(LogType type, std::uint8_t subType, std::uint32_t timeMs,
                      std::uint32_t data, std::span<const std::uint8_t> bytes) {
    if (!Recording())
        return;
    if (bytes.size() > size_ - kRecordSize)
        bytes = bytes.first(size_ - kRecordSize);
    std::size_t need = kRecordSize + bytes.size();
    while (used_ + need > size_ && !records_.empty()) {
        used_ -= kRecordSize + records_.front().bytes.size();
        records_.pop_front();
    }
    records_.push_back({type, subType, timeMs, data, {bytes.begin(), bytes.end()}});
    used_ += need;
}

std::string DispatchLog::FormatRecord(const LogRecord& r, bool hex) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07u", r.timeMs);
    std::string time = digits;
    time.insert(time.size() - 3, ".");
    std::string typeText(errorTableText(faximage::kLogTypeTextBase +
                                                  static_cast<std::uint8_t>(r.type)));
    char line[160];
    // "%08x" prints what "%08.8x" means: eight zero-padded hex digits.
    std::snprintf(line, sizeof line, "%8s  %-8s  %-12s  %08x  ", time.c_str(), typeText.c_str(),
                  subTypeText(r.subType).c_str(), r.data);
    std::string out = line;

    if (r.subType == logsub::Status || r.subType == logsub::StatusChange) {
        static const char* const kinds[] = {"(Not active)",         "(Modem status)",
                                            "(Line status)",        "(Output buffer free)",
                                            "(Output buffer used)", "(Output sent)"};
        unsigned kind = r.data & 7u;
        if (kind < std::size(kinds))
            out += kinds[kind];
    } else if (r.subType == logsub::ModemStatus && r.type == LogType::Dispatch) {
        static const char* const names[] = {"DCTS ", "DDSR ", "TERI ", "DDCD ",
                                            "CTS ",  "DSR ",  "RI ",   "DCD "};
        for (unsigned bit = 0; bit < 8; ++bit)
            if (r.data & (1u << bit))
                out += names[bit];
    }
    if (!r.bytes.empty()) {
        for (std::size_t i = 0; i < r.bytes.size(); ++i) {
            std::string t = dataToken(r.bytes[i], hex);
            std::size_t lineStart = out.rfind('\n');
            std::size_t lineLen = lineStart == std::string::npos ? out.size() : out.size() - lineStart - 1;
            if (lineLen + t.size() > kMaxLine && lineLen > kDataIndent)
                out += "\n" + std::string(kDataIndent, ' ');
            out += t;
        }
    }
    return out + "\n";
}

std::string DispatchLog::Format(bool hex) const {
    std::string out = "VELK v2.56\n";
    out += "Compiler : GCC " __VERSION__ "\n";
    out += "Operating System : " + operatingSystem() + "\n";
    out += "Time      Type      SubType       Data      OtherData\n";
    out += "--------  --------  ------------  --------  ---------\n";
    for (const auto& r : records_)
        out += FormatRecord(r, hex);
    return out;
}

int DispatchLog::Dump(const std::filesystem::path& file, bool append, bool hex) {
    if (!Started())
        return ec::LoggingNotEnabled;
    int rc = writeTextFile(file, Format(hex), append);
    Clear();
    return rc;
}

} // namespace faxengine
