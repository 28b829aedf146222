// The readable log of one call and the result record the far end writes for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace vline {

// Lines stamped with the time since the call began. Also echoed to standard error
// when asked (--verbose).
class CallLog {
public:
    CallLog(const std::filesystem::path& path, int callId, bool echo);
    ~CallLog();
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    void line(std::string_view who, std::string_view text);
    // Bytes as text, with control bytes as <CR>, <LF>, <DLE>, <10> ...
    void bytes(std::string_view who, std::string_view what, std::span<const std::uint8_t> data);
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    int callId_;
    bool echo_;
    std::chrono::steady_clock::time_point start_;
};

// Printable form of modem traffic: "AT+FTM=96<CR>".
std::string printable(std::span<const std::uint8_t> data);

// What the far end reports at the end of a call.
struct ResultRecord {
    int call = 0;
    std::string number;     // the far end's number
    std::string direction;  // "receive" or "send"
    int completionCode = -1; // T.30 completion code, 0 = success; -1 = no fax session
    std::string completionText;
    int pages = 0;
    int bitRate = 0;
    bool ecm = false;
    std::string remoteId;
    std::string file;       // the TIFF received or sent
    std::string hangup;     // why the call ended, when not by the protocol

    // One line of key=value pairs; text values in double quotes.
    std::string format() const;
};

// Appends a record line to a results file (created when missing).
void appendResult(const std::filesystem::path& file, const ResultRecord& r);

} // namespace vline
