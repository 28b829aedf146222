// TVelkReceiveFax: answers calls and stores the faxes through the receive state machine.
#pragma once

#include "faxengine/abstract_fax.h"

#include <string>

namespace faxengine {

class TVelkCustomReceiveFax : public TVelkCustomAbstractFax {
public:
    explicit TVelkCustomReceiveFax(FaxMachine machine = receiveMachine());

    // ---- published properties --------------------------------------------------------
    int AnswerOnRing() const { return Session().answerOnRing; }
    void SetAnswerOnRing(int rings) { Session().answerOnRing = rings; }
    bool FaxAndData() const { return Session().faxAndDataChar == '1'; }
    void SetFaxAndData(bool on) { Session().faxAndDataChar = on ? '1' : '0'; }
    bool OneFax() const { return Session().oneFax; }
    void SetOneFax(bool on) { Session().oneFax = on; }
    bool ConstantStatus() const { return Session().constantStatus; }
    void SetConstantStatus(bool on) { Session().constantStatus = on; }
    // Kept with a trailing separator when not empty.
    const std::string& DestinationDir() const { return Session().destinationDir; }
    void SetDestinationDir(std::string dir);
    std::string FaxFile() const override { return faxFile_; }
    void SetFaxFile(std::string name) override { faxFile_ = std::move(name); }
    // 1: FAXnnnn.ext; 2: MMDDnnnn.ext.
    int FaxNamingMode() const { return faxNamingMode_; }
    void SetFaxNamingMode(int mode) { faxNamingMode_ = mode; }

    // Whether to take the call; without a handler every call is taken.
    std::function<void(TVelkCustomAbstractFax& cp, bool& accept)> OnFaxAccept;
    // Names the file of the incoming fax (full path).
    std::function<void(TVelkCustomAbstractFax& cp, std::string& name)> OnFaxName;

    // Port check, then the receive machine; raises the engine's exceptions.
    void StartReceiving();

protected:
    void FaxNextOrAcceptNotice(FaxNoticeAnswer& answer) override;
    void FaxNameNotice(FaxNoticeAnswer& answer) override;

private:
    std::string faxFile_;
    int faxNamingMode_ = 1;
};

class TVelkReceiveFax : public TVelkCustomReceiveFax {
public:
    using TVelkCustomReceiveFax::TVelkCustomReceiveFax;
};

} // namespace faxengine
