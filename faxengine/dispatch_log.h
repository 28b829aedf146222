// The dispatch log: what the dispatcher did and when, as 16-byte records (type, sub-type,
// time, data, length of the bytes that follow) in a circular buffer of LogSize bytes, with
// a text dump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace faxengine {

enum class LogType : std::uint8_t {
    NoEvent = 0,
    Dispatch = 1,
    Trigger = 2,
    Error = 3,
    Thread = 4,
    TrigAllc = 5,
    TrigDisp = 6,
    TrgHdAlc = 7,
    TrgHdDsp = 8,
    TrDatChg = 9,
    Telnet = 10,
    Fax = 11,
    XModem = 12,
    User = 19,
};
std::string_view to_string(LogType t);

// Sub-types; fax states log at FaxTransmitBase + state and FaxReceiveBase + state.
namespace logsub {
inline constexpr std::uint8_t None = 0;
inline constexpr std::uint8_t ReadCom = 1;
inline constexpr std::uint8_t WriteCom = 2;
inline constexpr std::uint8_t LineStatus = 3;
inline constexpr std::uint8_t ModemStatus = 4;
inline constexpr std::uint8_t Avail = 5;
inline constexpr std::uint8_t Timer = 6;
inline constexpr std::uint8_t Data = 7;
inline constexpr std::uint8_t Status = 8;
inline constexpr std::uint8_t TimerChange = 14;
inline constexpr std::uint8_t StatusChange = 15;
inline constexpr std::uint8_t AvailChange = 16;
inline constexpr std::uint8_t Window = 17;
inline constexpr std::uint8_t Procedure = 18;
inline constexpr std::uint8_t Method = 19;
inline constexpr std::uint8_t FaxTransmitBase = 30;
inline constexpr std::uint8_t FaxReceiveBase = 79;
} // namespace logsub

struct LogRecord {
    LogType type = LogType::NoEvent;
    std::uint8_t subType = 0;
    std::uint32_t timeMs = 0;
    std::uint32_t data = 0;
    std::vector<std::uint8_t> bytes;
};

class DispatchLog {
public:
    static constexpr std::size_t kRecordSize = 16;
    static constexpr std::size_t kMaxSize = 64u * 1024u * 1024u;

    // Starts (emptied) with LogSize bytes; -1002 when too small for one record or too big.
    int Start(std::size_t logSize);
    void Stop();
    void Clear();
    void Pause() { paused_ = true; }
    void Resume() { paused_ = false; }
    bool Started() const { return size_ != 0; }
    bool Recording() const { return Started() && !paused_; }
    const std::deque<LogRecord>& Records() const { return records_; }

    // Adds a record; the oldest records make room. Bytes that cannot fit are cut.
    void Add(LogType type, std::uint8_t subType, std::uint32_t timeMs, std::uint32_t data,
             std::span<const std::uint8_t> bytes = {});

    // The dump text: the heading lines, then one line per record, oldest first.
    std::string Format(bool hex) const;
    // Writes the dump (overwriting or appending), then clears the log. 0 or -errno;
    // -3009 when logging is not on.
    int Dump(const std::filesystem::path& file, bool append, bool hex);

    // One record's line(s) without the heading, for tests and the dump.
    static std::string FormatRecord(const LogRecord& r, bool hex);

private:
    std::deque<LogRecord> records_;
    std::size_t size_ = 0;
    std::size_t used_ = 0;
    bool paused_ = false;
};

} // namespace faxengine
