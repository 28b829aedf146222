// The main window's log tables on the project's table engine: one engine environment
// (DbeEnv1) for the program, one TDbeTable per open table.
#pragma once

#include "log_table.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace faxlog {
class DbeEngine;
class TDbeEnv;
} // namespace faxlog

namespace app {

class LogDatabase : public LogOpenRescue {
public:
    // Starts the engine: deleted records skipped, system property 1009 off.
    explicit LogDatabase(std::filesystem::path programDir);
    ~LogDatabase() override;
    LogDatabase(const LogDatabase&) = delete;
    LogDatabase& operator=(const LogDatabase&) = delete;

    // Opens the sent or received table exclusively, creating it (and its open-time tag)
    // when missing; null when it can be neither opened nor created.
    std::unique_ptr<LogTable> open(LogKind kind);

    // After a failed open: what is wrong, the repair of what can be repaired, and opening
    // for reading only.
    LogOpenProblem diagnose(LogKind kind) override;
    bool repair(LogKind kind, std::string* report) override;
    std::unique_ptr<LogTable> openReadOnly(LogKind kind) override;
    // What the last successful open repaired on its own (records recovered, an index
    // rebuilt).
    const std::vector<std::string>& lastNotices() const { return notices_; }

    faxlog::DbeEngine& engine() { return *engine_; }
    faxlog::TDbeEnv& environment() { return *env_; }
    const std::filesystem::path& programDirectory() const { return programDir_; }
    // Why the last open failed.
    const std::string& lastError() const { return lastError_; }

private:
    std::unique_ptr<LogTable> openTable(LogKind kind, bool readOnly);

    std::filesystem::path programDir_;
    std::unique_ptr<faxlog::DbeEngine> engine_;
    std::unique_ptr<faxlog::TDbeEnv> env_;
    std::string lastError_;
    std::vector<std::string> notices_;
};

} // namespace app
