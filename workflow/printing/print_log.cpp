#include "print_log.h"

#include "print_tags.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace workflow::printing {

namespace {
constexpr std::string_view kEol = "\r\n";
}

std::string printLogRecord(PrintLogCode code, std::string_view faxFile, std::string_view when) {
    std::string s = "Printing ";
    s += faxFile;
    s += ' ';
    s += to_string(code);
    s += " at ";
    s += when;
    s += kEol;
    if (code != PrintLogCode::Start)
        s += kEol;
    return s;
}

std::string printLogDateTime() { return localShortDate() + " " + localLongTime(); }

void TVelkCustomFaxPrinterLog::UpdateLog(PrintLogCode code, std::string_view faxFile) {
    if (FileName.empty())
        return;
    const std::string record = printLogRecord(code, faxFile, printLogDateTime());
    const auto fail = [&](int err) {
        throw PrintLogError("Cannot write the print log " + FileName.string() + ": " +
                            std::strerror(err));
    };
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(FileName.c_str(), "ab"), &std::fclose);
    if (!f)
        fail(errno);
    if (std::fwrite(record.data(), 1, record.size(), f.get()) != record.size())
        fail(errno);
    std::FILE* raw = f.release();
    if (std::fclose(raw) != 0)
        fail(errno);
}

} // namespace workflow::printing
