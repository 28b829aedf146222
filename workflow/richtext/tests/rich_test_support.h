// Helpers shared by the rich-text and rendering tests.
#pragma once

#include <QString>
#include <QRegularExpression>
#include <QStringList>
#include <QTextDocument>

#include <filesystem>
#include <ostream>
#include <string>

namespace workflow::testing {

std::filesystem::path richTextData(const std::string& name);
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Runs a shell command; its standard output, and the exit status in *status.
std::string runCommand(const std::string& command, int* status = nullptr);
// Fails the test (not skips it) when the program is not installed.
bool requireProgram(const std::string& program);

// The words of a text (split on white space), for comparing text that other programs
// wrap, space or break differently.
QStringList words(const QString& text);

// A fresh directory under the test's temporary directory, removed by the destructor.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path path;
};

} // namespace workflow::testing

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
