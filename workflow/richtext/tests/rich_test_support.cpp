#include "rich_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace workflow::testing {

std::filesystem::path richTextData(const std::string& name) {
    return std::filesystem::path(PARVANE_SOURCE_DIR) / "workflow/richtext/tests/data" / name;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return output;
    }
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    const int rc = pclose(pipe);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

bool requireProgram(const std::string& program) {
    int status = 0;
    runCommand("command -v " + program + " >/dev/null 2>&1", &status);
    if (status != 0)
        ADD_FAILURE() << program << " is not installed (scripts/setup --deps installs it)";
    return status == 0;
}

QStringList words(const QString& text) {
    QString t = text;
    t.remove(QChar(QChar::ObjectReplacementCharacter));
    return t.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "parvane-rich-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

} // namespace workflow::testing
