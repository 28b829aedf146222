// Shared helpers of the faxlog tests: a scratch directory and the outside DBF tools.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>
#include "oracle_skip.h"

namespace faxlog::test {

// A fresh directory under the build tree, removed at the end of the test.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs a command line; its standard output, or nullopt when it exits non-zero
// (the standard error then goes to *error).
std::optional<std::string> run(const std::string& command, std::string* error = nullptr);

// Outside tools. Each returns a reason to skip when the tool is missing, else empty.
std::string missingPythonModule(const std::string& module);
std::string missingIndexDump();

// Lines of the oracle dump ("F ..." fields and "R deleted values" records).
std::vector<std::string> oracleDump(const std::string& tool, const std::filesystem::path& table);
std::string oracleScript();

// The keys and record numbers index_dump lists for a tag, as "key recno" lines.
std::vector<std::string> indexDump(const std::filesystem::path& cdx, const std::string& tag,
                                   const std::string& type = "char");

std::string quote(const std::string& s);

} // namespace faxlog::test

#define SKIP_WITHOUT(reason)                                                                       \
    do {                                                                                           \
        const std::string why_ = (reason);                                                         \
        if (!why_.empty())                                                                         \
            PARVANE_SKIP_WITHOUT_ORACLE(why_);                                                     \
    } while (0)
