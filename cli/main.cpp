// parvane-cli: one executable, one command table. Each command lives in its own file
// and registers here.
#include "cli_args.h"

#include <cstdio>
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
} // namespace cli

namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(const cli::CliArgs&);
};

// Options that take a separate value word, for every command.
const std::vector<std::string> kValueOptions = {"--data-dir", "--type", "--page", "--to", "--port", "--device", "--baud", "--trace", "--dir", "--class", "--speed", "--station-id", "--header", "--dial-prefix", "--history"};

const Command kCommands[] = {
    {"convert", "convert INPUT OUTPUT.apf [--fine] [--wide] [--type text|textex|tiff|pcx|dcx|bmp|pdf]",
     cli::runConvert},
    {"info", "info FILE.apf", cli::runInfo},
    {"unpack", "unpack FILE.apf [--page N] --to OUT.{bmp,pcx,dcx,tif,pdf}", cli::runUnpack},
    {"log", "log list|show N [--sent|--received|--covers|--phonebook]", cli::runLog},
    {"term", "term --port N|--device PATH [--baud BPS] [--trace FILE]", cli::runTerm},
    {"send", "send --port N|--device PATH|--virtual NUMBER FILE.apf... [--class C] [--speed BPS] [--ecm] [--station-id ID] [--header TEXT] [--dial-prefix P] [--trace FILE] [--history FILE]", cli::runSend},
    {"receive", "receive --port N|--device PATH|--virtual [--dir DIR] [--once] [--class C] [--speed BPS] [--ecm] [--station-id ID] [--trace FILE] [--history FILE]", cli::runReceive},
    {"", "", nullptr}, // commands are added above this line
};

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
