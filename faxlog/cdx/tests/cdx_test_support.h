// Helpers shared by the index tests: a scratch directory per test and a shell runner.
#pragma once

#include "faxlog/cdx/cdx_index.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace faxlog::cdx::testing {

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("parvane_cdx_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        if (!HasFailure()) std::filesystem::remove_all(dir_);
    }
    std::filesystem::path file(const std::string& name) const { return dir_ / name; }

    std::filesystem::path dir_;
};

inline std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Runs a shell command; returns its standard output and sets `status` to its exit code.
inline std::string run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int rc = ::pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

inline std::vector<KeyEntry> walk(const CdxTag& tag) { return {tag.begin(), tag.end()}; }

}  // namespace faxlog::cdx::testing

namespace faxlog::cdx {
inline void PrintTo(const KeyEntry& e, std::ostream* os) {
    *os << '"';
    for (char c : e.key) {
        if (c >= 32 && c < 127) *os << c;
        else *os << "\\x" << "0123456789abcdef"[(uint8_t(c) >> 4)] << "0123456789abcdef"[uint8_t(c) & 15];
    }
    *os << "\"#" << e.recno;
}
}  // namespace faxlog::cdx
