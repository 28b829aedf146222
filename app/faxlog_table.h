// The main window's log tables on the project's table engine: one engine environment
// (DbeEnv1) for the program, one TDbeTable per open table.
#pragma once

#include "log_table.h"

#include <filesystem>
#include <memory>
#include <string>

namespace faxlog {
class DbeEngine;
class TDbeEnv;
} // namespace faxlog

namespace app {

class LogDatabase {
public:
    // Starts the engine: deleted records skipped, system property 1009 off.
    explicit LogDatabase(std::filesystem::path programDir);
    ~LogDatabase();
    LogDatabase(const LogDatabase&) = delete;
    LogDatabase& operator=(const LogDatabase&) = delete;

    // Opens the sent or received table exclusively, creating it (and its open-time tag)
    // when missing; null when it can be neither opened nor created.
    std::unique_ptr<LogTable> open(LogKind kind);

    faxlog::DbeEngine& engine() { return *engine_; }
    faxlog::TDbeEnv& environment() { return *env_; }
    const std::filesystem::path& programDirectory() const { return programDir_; }
    // Why the last open failed.
    const std::string& lastError() const { return lastError_; }

private:
    std::filesystem::path programDir_;
    std::unique_ptr<faxlog::DbeEngine> engine_;
    std::unique_ptr<faxlog::TDbeEnv> env_;
    std::string lastError_;
};

} // namespace app
