// Runs the transmit machine on a fax session: the session's port, triggers, command layer
// and owner notices stand behind the machine's link. The page data is read here from the
// APF file itself, a page at a time.
#pragma once

#include "faxengine/fax_session.h"
#include "faxengine/fax_transmit.h"
#include "faximage/apf_file.h"

#include <memory>
#include <mutex>
#include <optional>

namespace faxengine {

// The machine's options from the session record (class 1 when the class is not settled).
TransmitOptions transmitOptionsFrom(const FaxSession& s);

class FaxTransmitPort final : public TransmitLink {
public:
    explicit FaxTransmitPort(FaxSession& session) : s_(session) {}

    // The state procedure to hand to FaxSession::Start. The machine is made on its first
    // call, once the session's triggers exist.
    TriggerHandler Procedure();
    void Handle(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param);
    const FaxTransmitter* Machine() const { return machine_ ? &*machine_ : nullptr; }
    // The machine's state, safe to ask from another thread than the dispatch thread.
    TransmitState CurrentState();

    // TransmitLink
    void SendCommand(std::string_view cmd) override;
    void SendClass1Command(std::string_view cmd) override;
    void SendRaw(std::string_view bytes) override;
    void ResetReader() override;
    void Pause(std::chrono::milliseconds ms) override;
    void PauseTicks(FaxTicks ticks, bool pumpMessages) override;
    bool GetByte(std::uint8_t& b) override;
    bool InputWaiting() override;
    void FlushInput() override;
    void ArmTimeout(FaxTicks t) override;
    void ArmReaderTimer(FaxTicks t) override;
    void ArmStatusTimer(std::chrono::seconds s) override;
    void ArmOutBuffFree(std::size_t bytes) override;
    void ArmOutBuffUsed(std::size_t bytes) override;
    std::size_t OutBuffUsed() override;
    std::size_t OutBuffFree() override;
    void SetSoftwareFlow(bool on) override;
    void SendFcfFrame(std::uint8_t fcf, bool final) override;
    void SendIdFrame() override;
    void SendDcsFrame(char resolution, bool wide) override;
    void SendTrainingCheck() override;
    ReceivedFrame ParseFrame(std::span<const std::uint8_t> frame) override;
    bool StepDown() override;
    std::string ModulationCode(bool shortTrain) override;
    int ParseRemoteCapabilities(std::string_view report) override;
    int ParseSessionReport(std::string_view report) override;
    std::string CleanStationId(std::string_view report) override;
    int OpenFax(const std::string& name) override;
    std::uint16_t FaxPageCount() override;
    int PositionPage(int page) override;
    TransmitPageInfo CurrentPage() override;
    int NextPage(bool sendingCover) override;
    int OpenCover(const std::string& name, bool apf, char resolution) override;
    int CoverResolution(char& res) override;
    void CloseFiles() override;
    int ReadPageLine(std::vector<std::uint8_t>& line) override;
    int ReadPageBlock(std::vector<std::uint8_t>& block, std::size_t max) override;
    void StuffedWrite(std::span<const std::uint8_t> data) override;
    std::size_t CodedLineWrite(std::span<const std::uint8_t> line) override;
    void PutBytes(std::span<const std::uint8_t> data) override;
    int SendHeaderLine(char resolution) override;
    int SendCoverLines(bool& done) override;
    void ForcedHangup() override;
    void EndModemData() override;
    void RestoreIdleSpeed() override;
    void LogState(TransmitState state) override;
    bool NextFax(TransmitJob& job) override;
    void StatusEvent(bool first, bool last) override;
    void LogEvent(int code) override;
    void ReportError(int code) override;
    void PostFinish(int code) override;

private:
    // Copies what the owner's status display reads into the session record.
    void mirror();
    int loadPage(faximage::ApfReader& from, int n);
    int sendBlankLines(int n);

    FaxSession& s_;
    // The dispatch thread and the owner's thread (start, user abort) both call in; one at
    // a time. Recursive: a step that pumps events may be entered again on its own thread.
    std::recursive_mutex callLock_;
    std::optional<FaxTransmitter> machine_;
    faximage::ApfReader file_;
    faximage::ApfReader cover_;
    faximage::ApfPageInfo page_;
    std::vector<std::uint8_t> pageData_;
    std::size_t pagePos_ = 0;
    int alreadyReported_ = 0;
};

} // namespace faxengine
