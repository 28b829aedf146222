#include "faxengine/send_fax.h"

#include "faxengine/fax_files.h"
#include "faxengine/tick_clock.h"

#include <system_error>

namespace faxengine {

TVelkCustomSendFax::TVelkCustomSendFax(FaxMachine machine)
    : TVelkCustomAbstractFax(FaxRole::Transmit, std::move(machine)) {
    Session().safeMode = true;
    Session().sameParams = true;
    Session().SetDetectBusy(true);
}

TVelkCustomSendFax::~TVelkCustomSendFax() { removeTempFile(); }

std::string TVelkCustomSendFax::FaxFile() const {
    return faxFileList_.empty() ? std::string() : faxFileList_.front();
}

void TVelkCustomSendFax::SetFaxFile(std::string name) {
    faxFileList_.clear();
    faxFileList_.push_back(std::move(name));
}

int TVelkCustomSendFax::DialWait() const { return ticksToSecs(Session().dialWait); }
void TVelkCustomSendFax::SetDialWait(int seconds) { Session().dialWait = secsToTicks(seconds); }
int TVelkCustomSendFax::DialRetryWait() const { return ticksToSecs(Session().dialRetryWait); }
void TVelkCustomSendFax::SetDialRetryWait(int seconds) { Session().dialRetryWait = secsToTicks(seconds); }

void TVelkCustomSendFax::StartSending() {
    CheckPort();
    removeTempFile();
    if (faxFileList_.size() >= 2 && !OnFaxNext) {
        std::filesystem::path dir = tempDir_;
        if (dir.empty())
            dir = std::filesystem::temp_directory_path();
        tempFile_ = concatenateFaxFiles(faxFileList_, dir);
    }
    nextHandedOut_ = false;
    Session().converterEnhanced = enhTextEnabled_;
    Session().enhHeaderFont = enhHeaderFont_;
    Session().enhCoverFont = enhFont_;
    try {
        StartSession();
    } catch (...) {
        removeTempFile();
        throw;
    }
}

void TVelkCustomSendFax::FaxNextOrAcceptNotice(FaxNoticeAnswer& a) {
    if (OnFaxNext) {
        std::string phone, file, cover;
        OnFaxNext(*this, phone, file, cover);
        phoneNumber_ = phone;
        SetFaxFile(file);
        coverFile_ = cover;
        a.phoneNumber = std::move(phone);
        a.faxFile = std::move(file);
        a.coverFile = std::move(cover);
    } else if (!nextHandedOut_) {
        // Without a handler a start sends one fax.
        nextHandedOut_ = true;
        a.phoneNumber = phoneNumber_;
        a.faxFile = tempFile_.empty() ? FaxFile() : tempFile_.string();
        a.coverFile = coverFile_;
    } else {
        a.phoneNumber.clear();
        a.faxFile.clear();
        a.coverFile.clear();
    }
    a.haveFax = !a.phoneNumber.empty();
}

void TVelkCustomSendFax::FaxFinishNotice(int errorCode) {
    removeTempFile();
    TVelkCustomAbstractFax::FaxFinishNotice(errorCode);
}

FaxHistoryFacts TVelkCustomSendFax::HistoryFacts() const {
    FaxHistoryFacts f = TVelkCustomAbstractFax::HistoryFacts();
    f.faxFiles = faxFileList_;
    f.phoneNumber = phoneNumber_;
    return f;
}

void TVelkCustomSendFax::removeTempFile() {
    if (tempFile_.empty())
        return;
    std::error_code ec;
    std::filesystem::remove(tempFile_, ec);
    tempFile_.clear();
}

} // namespace faxengine
