// Errors of the table engine. Every error that concerns a file names it.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace faxlog {

class TableError : public std::runtime_error {
public:
    explicit TableError(const std::string& what) : std::runtime_error(what) {}
    TableError(const std::filesystem::path& file, const std::string& what)
        : std::runtime_error(file.string() + ": " + what), file_(file) {}
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
};

// A second opener was refused by the lock of another (exclusive) user.
class TableBusyError : public TableError {
public:
    using TableError::TableError;
};

} // namespace faxlog
