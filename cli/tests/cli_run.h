// Runs parvane-cli as a user does, on a data directory of its own, and collects its exit
// status and everything it printed.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;


struct CliResult {
    int status = -1;
    std::string output; // stdout and stderr together
};

class CliRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("cli_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        // One dial attempt: a busy number fails at once instead of after the redial waits.
        writeIni("[Dialing]\nDialAttempts=1\nRetryWait=1\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    void writeIni(const std::string& text) { std::ofstream(dir / "PVN.INI") << text; }

    CliResult cli(const std::string& arguments) {
        const std::string command = std::string(PARVANE_BINARY_DIR) + "/cli/parvane-cli --data-dir '" +
                                    dir.string() + "' " + arguments + " 2>&1";
        CliResult r;
        FILE* p = ::popen(command.c_str(), "r");
        if (!p)
            return r;
        std::array<char, 512> buf{};
        while (std::fgets(buf.data(), int(buf.size()), p))
            r.output += buf.data();
        const int raw = ::pclose(p);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return r;
    }

    // A short one-page fax made by the program itself.
    fs::path makeFax() {
        std::ofstream(dir / "note.txt") << "A short note\nfor the test.\n";
        const CliResult made = cli("convert '" + (dir / "note.txt").string() + "' '" + (dir / "note.apf").string() + "'");
        EXPECT_EQ(made.status, 0) << made.output;
        return dir / "note.apf";
    }

    fs::path dir;
};

