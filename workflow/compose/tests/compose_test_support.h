// Shared pieces of the composing tests: outside programs, templates with merge fields,
// and decoded fax pages.
#pragma once

#include "faximage/mono_bitmap.h"

#include <QString>
#include <QStringList>

#include <filesystem>
#include <vector>

class QTextDocument;

namespace compose_test {

// Runs a program; its standard output. A program that is not installed fails the test
// that asked (the caller checks `ran`).
struct Run {
    bool ran = false;
    int status = -1;
    QString out;
};
Run runProgram(const QString& program, const QStringList& args, int timeoutMs = 120000);

// "To: [RECIPIENT]" ... "Time: [TIME]", one line each, in 14-point Liberation Sans.
void fiveFieldTemplate(QTextDocument& document);

// Every page of an APF file, decoded at full line width (1 = black).
std::vector<faximage::MonoBitmap> decodePages(const std::filesystem::path& apf);
// A page as a grey PNG at 200 dots per inch.
bool savePng(const faximage::MonoBitmap& page, const std::filesystem::path& png);

} // namespace compose_test
