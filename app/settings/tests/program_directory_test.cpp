#include "settings/program_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace settings;

namespace {

struct EnvGuard {
    std::string name;
    std::optional<std::string> old;
    EnvGuard(std::string n, const char* value) : name(std::move(n)) {
        if (const char* v = std::getenv(name.c_str()))
            old = v;
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }
    ~EnvGuard() {
        if (old)
            ::setenv(name.c_str(), old->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

fs::path scratch(const char* tag) {
    auto p = fs::temp_directory_path() / ("progdir_" + std::to_string(::getpid()) + "_" + tag);
    fs::remove_all(p);
    return p;
}

} // namespace

TEST(ProgramDirectory, OptionThenEnvironmentThenUserDataDirectory) {
    auto root = scratch("order");
    EnvGuard home("PARVANE_HOME", (root / "env").c_str());
    EnvGuard xdg("XDG_DATA_HOME", (root / "xdg").c_str());

    EXPECT_EQ(resolveProgramDirectory(root / "opt"), root / "opt");
    EXPECT_TRUE(fs::is_directory(root / "opt"));
    EXPECT_EQ(resolveProgramDirectory(std::nullopt), root / "env");

    ::unsetenv("PARVANE_HOME");
    EXPECT_EQ(resolveProgramDirectory(std::nullopt), root / "xdg" / "parvane");
    EXPECT_TRUE(fs::is_directory(root / "xdg" / "parvane"));
    fs::remove_all(root);
}

TEST(ProgramDirectory, ReceiveDirectoryAndFilesMatchWithoutCase) {
    auto root = scratch("case");
    fs::create_directories(root);
    EXPECT_EQ(receiveDirectory(root), root / "receive");
    fs::create_directories(root / "RECEIVE");
    EXPECT_EQ(receiveDirectory(root), root / "RECEIVE");
    std::ofstream(root / "RECEIVE" / "fax0001.apf") << "x";
    EXPECT_EQ(findFileNoCase(root / "RECEIVE", "FAX0001.APF"), root / "RECEIVE" / "fax0001.apf");
    EXPECT_EQ(findFileNoCase(root / "RECEIVE", "FAX0002.APF"), root / "RECEIVE" / "FAX0002.APF");
    fs::remove_all(root);
}
