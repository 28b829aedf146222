// Command-line arguments shared by every parvane-cli command.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct CliArgs {
    std::vector<std::string> words;               // command words and operands, options removed
    std::vector<std::string> options;             // "--name" or "--name=value", in order
    std::optional<std::filesystem::path> dataDir; // --data-dir DIR

    bool has(std::string_view name) const;
    // Value of "--name=value" or "--name value" (the word after it), if given.
    std::optional<std::string> value(std::string_view name) const;
};

// Splits argv into words and options. Options that take a separate value word must
// be listed in valueOptions so that the value is not taken for an operand.
CliArgs parseArgs(int argc, char** argv, const std::vector<std::string>& valueOptions);

} // namespace cli
