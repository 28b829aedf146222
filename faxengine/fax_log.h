// TApdFaxLog: appends a plain-text history of fax sessions, one block of lines per log
// notice of the fax component it is bound to.
#pragma once

#include "faxengine/fax_status.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine {

class TApdCustomAbstractFax;

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

class TApdFaxLog {
public:
    TApdFaxLog() = default;
    virtual ~TApdFaxLog();
    TApdFaxLog(const TApdFaxLog&) = delete;
    TApdFaxLog& operator=(const TApdFaxLog&) = delete;

    const std::string& FaxHistoryName() const { return faxHistoryName_; }
    void SetFaxHistoryName(std::string name) { faxHistoryName_ = std::move(name); }
    TApdCustomAbstractFax* Fax() const { return fax_; }
    // Binds the log to a fax component (and the component to this log).
    void SetFax(TApdCustomAbstractFax* fax);

    // Appends the lines for `code`; does nothing without a name or a fax. A file that
    // cannot be written is ignored: the history must never stop a fax.
    virtual void WriteLogEntry(TFaxLogCode code);

private:
    friend class TApdCustomAbstractFax;
    std::string faxHistoryName_ = kDefaultFaxHistoryName;
    TApdCustomAbstractFax* fax_ = nullptr;
};

} // namespace faxengine
