// The main window's log tables on the project's table engine: one engine environment for
// the program, one work area per open table.
#pragma once

#include "log_table.h"

#include <filesystem>
#include <memory>

namespace faxlog {
class SxEngine;
}

namespace app {

// The engine environment the main window's tables share (deleted records skipped).
class LogDatabase {
public:
    explicit LogDatabase(std::filesystem::path programDir);
    ~LogDatabase();
    LogDatabase(const LogDatabase&) = delete;
    LogDatabase& operator=(const LogDatabase&) = delete;

    // Opens the sent or received table exclusively, creating it (and its open-time
    // tag) when missing; null when it can be neither opened nor created.
    std::unique_ptr<LogTable> open(LogKind kind);

    faxlog::SxEngine& engine() { return *engine_; }
    const std::filesystem::path& programDirectory() const { return programDir_; }
    // Why the last open failed, for logs and tests.
    const std::string& lastError() const { return lastError_; }

private:
    friend class FaxlogTable;
    int openArea(LogKind kind);

    std::filesystem::path programDir_;
    std::unique_ptr<faxlog::SxEngine> engine_;
    std::string lastError_;
};

} // namespace app
