// TVelkFaxLog: appends a plain-text history of fax sessions, one block of lines per log
// notice of the fax component it is bound to.
#pragma once

#include "faxengine/fax_status.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine {

class TVelkCustomAbstractFax;

inline constexpr const char* kDefaultFaxHistoryName = "VELKFAX.HIS";

// What a history entry says about the fax, gathered from the component.
struct FaxHistoryFacts {
    std::vector<std::string> faxFiles; // sender's file list
    std::string phoneNumber;
    std::string faxFile;               // receiver's current file
    std::string remoteId;
    int hangupCode = 0;
    int lastError = 0;
};

// The lines (CR LF after each) written for a log code.
std::string faxHistoryText(TFaxLogCode code, const FaxHistoryFacts& facts, std::string_view dateTime);

// The current local date and time as the history shows it.
std::string faxHistoryDateTime(std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

class TVelkFaxLog {
public:
    TVelkFaxLog() = default;
    virtual ~TVelkFaxLog();
    TVelkFaxLog(const TVelkFaxLog&) = delete;
    TVelkFaxLog& operator=(const TVelkFaxLog&) = delete;

    const std::string& FaxHistoryName() const { return faxHistoryName_; }
    void SetFaxHistoryName(std::string name) { faxHistoryName_ = std::move(name); }
    TVelkCustomAbstractFax* Fax() const { return fax_; }
    // Binds the log to a fax component (and the component to this log).
    void SetFax(TVelkCustomAbstractFax* fax);

    // Appends the lines for `code`; does nothing without a name or a fax. A file that
    // cannot be written is ignored: the history must never stop a fax.
    virtual void WriteLogEntry(TFaxLogCode code);

private:
    friend class TVelkCustomAbstractFax;
    std::string faxHistoryName_ = kDefaultFaxHistoryName;
    TVelkCustomAbstractFax* fax_ = nullptr;
};

} // namespace faxengine
