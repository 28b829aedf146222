// TVelkSendFax: sends one or more APF faxes through the transmit state machine.
#pragma once

#include "faxengine/abstract_fax.h"
#include "faximage/enhanced_font.h"

#include <filesystem>
#include <string>
#include <vector>

namespace faxengine {

class TVelkCustomSendFax : public TVelkCustomAbstractFax {
public:
    explicit TVelkCustomSendFax(FaxMachine machine = transmitMachine());
    ~TVelkCustomSendFax() override;

    // ---- published properties --------------------------------------------------------
    bool EnhTextEnabled() const { return enhTextEnabled_; }
    void SetEnhTextEnabled(bool on) { enhTextEnabled_ = on; }
    const faximage::EnhFontSpec& EnhHeaderFont() const { return enhHeaderFont_; }
    void SetEnhHeaderFont(faximage::EnhFontSpec f) { enhHeaderFont_ = std::move(f); }
    const faximage::EnhFontSpec& EnhFont() const { return enhFont_; }
    void SetEnhFont(faximage::EnhFontSpec f) { enhFont_ = std::move(f); }
    // FaxFile is the list's first entry; setting it replaces the list by that one file.
    const std::vector<std::string>& FaxFileList() const { return faxFileList_; }
    void SetFaxFileList(std::vector<std::string> files) { faxFileList_ = std::move(files); }
    std::string FaxFile() const override;
    void SetFaxFile(std::string name) override;
    bool BlindDial() const { return Session().blindDial; }
    void SetBlindDial(bool on) { Session().SetBlindDial(on); }
    bool DetectBusy() const { return Session().detectBusy; }
    void SetDetectBusy(bool on) { Session().SetDetectBusy(on); }
    bool ToneDial() const { return Session().toneDial; }
    void SetToneDial(bool on) { Session().toneDial = on; }
    const std::string& DialPrefix() const { return Session().dialPrefix; }
    void SetDialPrefix(std::string_view p) { Session().dialPrefix = std::string(p.substr(0, 40)); }
    int DialWait() const; // seconds
    void SetDialWait(int seconds);
    int DialAttempts() const { return Session().dialAttempts; }
    void SetDialAttempts(int n) { Session().dialAttempts = n; }
    int DialRetryWait() const; // seconds
    void SetDialRetryWait(int seconds);
    int MaxSendCount() const { return Session().maxSendCount; }
    void SetMaxSendCount(int n) { Session().maxSendCount = n; }
    int BufferMinimum() const { return Session().bufferMinimum; }
    void SetBufferMinimum(int n) { Session().bufferMinimum = n; }
    const std::string& HeaderLine() const { return Session().headerLine; }
    void SetHeaderLine(std::string_view s) { Session().headerLine = std::string(s.substr(0, 255)); }
    const std::string& CoverFile() const { return coverFile_; }
    void SetCoverFile(std::string name) { coverFile_ = std::move(name); }
    const std::string& PhoneNumber() const { return phoneNumber_; }
    void SetPhoneNumber(std::string number) { phoneNumber_ = std::move(number); }
    bool SafeMode() const { return Session().safeMode; }
    void SetSafeMode(bool on) { Session().safeMode = on; }
    // Dial attempts made so far + 1.
    int DialAttempt() const { return Progress().dialAttempt + 1; }
    const std::string& HeaderSender() const { return Session().headerSender; }
    void SetHeaderSender(std::string s) { Session().headerSender = std::move(s); }
    const std::string& HeaderRecipient() const { return Session().headerRecipient; }
    void SetHeaderRecipient(std::string s) { Session().headerRecipient = std::move(s); }
    const std::string& HeaderTitle() const { return Session().headerTitle; }
    void SetHeaderTitle(std::string s) { Session().headerTitle = std::move(s); }
    // MPS rather than EOM after a Class 1 page.
    bool MPSEnabled() const { return Session().sameParams; }
    void SetMPSEnabled(bool on) { Session().sameParams = on; }

    // Fills in the next fax to send; all "" when there is none.
    std::function<void(TVelkCustomAbstractFax& cp, std::string& phoneNumber, std::string& faxFile,
                       std::string& coverFile)>
        OnFaxNext;

    // Port check; joins a list of two or more files (without OnFaxNext) into a temporary
    // file; starts the transmit machine. Raises the engine's exceptions.
    void StartSending();

    // The joined temporary file while a session uses one.
    const std::filesystem::path& TempFile() const { return tempFile_; }
    // Where the joined file goes (default: the system's temporary directory).
    void SetTempDirectory(std::filesystem::path dir) { tempDir_ = std::move(dir); }

    FaxHistoryFacts HistoryFacts() const override;

protected:
    void FaxFinishNotice(int errorCode) override;
    void FaxNextOrAcceptNotice(FaxNoticeAnswer& answer) override;

private:
    void removeTempFile();

    bool enhTextEnabled_ = false;
    faximage::EnhFontSpec enhHeaderFont_;
    faximage::EnhFontSpec enhFont_;
    std::vector<std::string> faxFileList_;
    std::string coverFile_;
    std::string phoneNumber_;
    std::filesystem::path tempFile_;
    std::filesystem::path tempDir_;
    bool nextHandedOut_ = false;
};

class TVelkSendFax : public TVelkCustomSendFax {
public:
    using TVelkCustomSendFax::TVelkCustomSendFax;
};

} // namespace faxengine
