#include "faxengine/apd_send_fax.h"

#include "faxengine/apd_fax_files.h"
#include "faxengine/tick_clock.h"

#include <system_error>

namespace faxengine {

TApdCustomSendFax::TApdCustomSendFax(FaxMachine machine)
    : TApdCustomAbstractFax(FaxRole::Transmit, std::move(machine)) {
    Session().safeMode = true;
    Session().sameParams = true;
    Session().SetDetectBusy(true);
}

TApdCustomSendFax::~TApdCustomSendFax() { removeTempFile(); }

std::string TApdCustomSendFax::FaxFile() const {
    return faxFileList_.empty() ? std::string() : faxFileList_.front();
}

void TApdCustomSendFax::SetFaxFile(std::string name) {
    faxFileList_.clear();
    faxFileList_.push_back(std::move(name));
}

int TApdCustomSendFax::DialWait() const { return ticksToSecs(Session().dialWait); }
void TApdCustomSendFax::SetDialWait(int seconds) { Session().dialWait = secsToTicks(seconds); }
int TApdCustomSendFax::DialRetryWait() const { return ticksToSecs(Session().dialRetryWait); }
void TApdCustomSendFax::SetDialRetryWait(int seconds) { Session().dialRetryWait = secsToTicks(seconds); }

void TApdCustomSendFax::StartSending() {
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

void TApdCustomSendFax::FaxNextOrAcceptNotice(FaxNoticeAnswer& a) {
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

void TApdCustomSendFax::FaxFinishNotice(int errorCode) {
    removeTempFile();
    TApdCustomAbstractFax::FaxFinishNotice(errorCode);
}

FaxHistoryFacts TApdCustomSendFax::HistoryFacts() const {
    FaxHistoryFacts f = TApdCustomAbstractFax::HistoryFacts();
    f.faxFiles = faxFileList_;
    f.phoneNumber = phoneNumber_;
    return f;
}

void TApdCustomSendFax::removeTempFile() {
    if (tempFile_.empty())
        return;
    std::error_code ec;
    std::filesystem::remove(tempFile_, ec);
    tempFile_.clear();
}

} // namespace faxengine
