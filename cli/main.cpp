// parvane-cli: one executable, one command table. Each command lives in its own file
// and registers here.
#include "cli_args.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <exception>
#include <string_view>

namespace cli {
int runTerm(const CliArgs& args); // term_command.cpp
int runConvert(const CliArgs& args); // image_commands.cpp
int runInfo(const CliArgs& args);    // image_commands.cpp
int runUnpack(const CliArgs& args);  // image_commands.cpp
} // namespace cli

namespace cli {
int runLog(const CliArgs& args); // log_command.cpp
int runSend(const CliArgs& args);    // fax_commands.cpp
int runReceive(const CliArgs& args); // fax_commands.cpp
int runPrint(const CliArgs& args);   // print_command.cpp
int runPhonebook(const CliArgs& args); // phonebook_command.cpp
int runReport(const CliArgs& args);    // report_command.cpp
} // namespace cli

namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(const cli::CliArgs&);
    // The options the command knows; a mistyped one is refused rather than ignored.
    // Empty: the command checks its options itself.
    std::vector<std::string_view> options;
};

// Options that take a separate value word, for every command.
const std::vector<std::string> kValueOptions = {"--data-dir", "--type", "--page", "--to", "--port", "--device", "--baud", "--trace", "--dir", "--class", "--speed", "--station-id", "--header", "--dial-prefix", "--history", "--printer", "--pages", "--pdf", "--log", "--title", "--finish"};

const Command kCommands[] = {
    {"convert", "convert INPUT OUTPUT.apf [--fine] [--wide] [--type text|textex|tiff|pcx|dcx|bmp|pdf|rtf]",
     cli::runConvert, {"--fine", "--wide", "--type"}},
    {"info", "info FILE.apf", cli::runInfo, {"--help"}},
    {"unpack", "unpack FILE.apf [--page N] --to OUT.{bmp,pcx,dcx,tif,pdf}", cli::runUnpack,
     {"--page", "--to"}},
    {"log", "log list|show N [--sent|--received|--covers|--phonebook]", cli::runLog, {}},
    {"term", "term --port N|--device PATH [--baud BPS] [--trace FILE]", cli::runTerm,
     {"--port", "--device", "--baud", "--trace"}},
    {"send", "send --port N|--device PATH|--virtual NUMBER FILE.apf... [--class C] [--speed BPS] [--ecm] [--station-id ID] [--header TEXT] [--dial-prefix P] [--trace FILE] [--history FILE]", cli::runSend,
     {"--port", "--device", "--virtual", "--class", "--speed", "--ecm", "--no-ecm", "--station-id",
      "--header", "--dial-prefix", "--trace", "--history"}},
    {"receive", "receive --port N|--device PATH|--virtual [--dir DIR] [--once] [--class C] [--speed BPS] [--ecm] [--station-id ID] [--trace FILE] [--history FILE]", cli::runReceive,
     {"--port", "--device", "--virtual", "--dir", "--once", "--class", "--speed", "--ecm", "--no-ecm",
      "--station-id", "--trace", "--history"}},
    {"print", "print FAX.apf [--printer NAME|--pdf OUT.pdf] [--pages A-B] [--header [TEXT]] [--footer] [--four-up] [--landscape] [--log FILE] [--title T] | print --list", cli::runPrint,
     {"--printer", "--pdf", "--pages", "--header", "--footer", "--four-up", "--landscape", "--log", "--title", "--list"}},
    {"phonebook", "phonebook list|import FILE.csv|export FILE.csv|-", cli::runPhonebook, {"--help"}},
    {"report", "report FILE.call|LOG [--finish CODE]", cli::runReport, {"--finish"}},
    {"", "", nullptr, {}}, // commands are added above this line
};

std::optional<std::string> unknownOption(const Command& c, const cli::CliArgs& args) {
    if (c.options.empty())
        return std::nullopt;
    for (const auto& o : args.options) {
        const std::string_view name = std::string_view(o).substr(0, o.find('='));
        if (std::find(c.options.begin(), c.options.end(), name) == c.options.end())
            return std::string(name);
    }
    return std::nullopt;
}

void printUsage() {
    std::puts("usage: parvane-cli [--data-dir DIR] COMMAND ...");
    for (const auto& c : kCommands)
        if (c.run)
            std::printf("  %s\n", std::string(c.usage).c_str());
}

} // namespace

int main(int argc, char** argv) {
    cli::CliArgs args = cli::parseArgs(argc, argv, kValueOptions);
    if (args.words.empty() || args.has("--help")) {
        printUsage();
        return args.words.empty() ? 2 : 0;
    }
    for (const auto& c : kCommands) {
        if (c.run && c.name == args.words.front()) {
            if (auto bad = unknownOption(c, args)) {
                std::fprintf(stderr, "parvane-cli %s: unknown option %s\nusage: parvane-cli %s\n",
                             std::string(c.name).c_str(), bad->c_str(), std::string(c.usage).c_str());
                return 2;
            }
            try {
                return c.run(args);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "parvane-cli: %s\n", e.what());
                return 1;
            }
        }
    }
    std::fprintf(stderr, "parvane-cli: unknown command '%s'\n", args.words.front().c_str());
    printUsage();
    return 2;
}
