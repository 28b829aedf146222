// TVelkFaxPrinterLog: one record per print event appended to a text file, "FAXPRINT.LOG"
// by default. The file is opened and closed for every record.
#pragma once

#include "print_codes.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace workflow::printing {

inline constexpr const char* kDefaultPrintLogName = "FAXPRINT.LOG";

// "Printing FILE started at WHEN" and a line end; finish, abort and fail end with an
// empty line, so a blank line closes each job.
std::string printLogRecord(PrintLogCode code, std::string_view faxFile, std::string_view when);

// The locale's short date and long time: "12/08/26 23:41:07".
std::string printLogDateTime();

class PrintLogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TVelkCustomFaxPrinterLog {
public:
    virtual ~TVelkCustomFaxPrinterLog() = default;

    // No name, no logging.
    std::filesystem::path FileName = kDefaultPrintLogName;

    // Appends the record, creating the file when it is missing; any other failure to
    // write raises PrintLogError naming the file.
    void UpdateLog(PrintLogCode code, std::string_view faxFile);
};

class TVelkFaxPrinterLog : public TVelkCustomFaxPrinterLog {};

} // namespace workflow::printing
