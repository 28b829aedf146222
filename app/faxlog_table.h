// The main window's log tables on the project's table engine: one engine environment
// (ApolloEnv1) for the program, one TApollo per open table.
#pragma once

#include "log_table.h"

#include <filesystem>
#include <memory>
#include <string>

namespace faxlog {
class SxEngine;
class TApolloEnv;
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

    faxlog::SxEngine& engine() { return *engine_; }
    faxlog::TApolloEnv& environment() { return *env_; }
    const std::filesystem::path& programDirectory() const { return programDir_; }
    // Why the last open failed.
    const std::string& lastError() const { return lastError_; }

private:
    std::filesystem::path programDir_;
    std::unique_ptr<faxlog::SxEngine> engine_;
    std::unique_ptr<faxlog::TApolloEnv> env_;
    std::string lastError_;
};

} // namespace app
