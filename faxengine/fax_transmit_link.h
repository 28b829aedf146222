// What the transmit machine needs from the session core and from its owner. The machine
// holds no port, file or clock of its own: it is fed trigger events and answers through
// this interface, so tests drive whole calls against a scripted modem.
#pragma once

#include "faxengine/fax_class.h"
#include "faxengine/fax_transmit_state.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace faxengine {

// Time in ticks of 55 ms, the unit of the port's event timers.
using FaxTicks = std::chrono::duration<std::int32_t, std::ratio<55, 1000>>;


// One fax to send, as the owner hands it out.
struct TransmitJob {
    std::string phone;
    std::string faxFile;   // APF file, may be empty when a cover is given
    std::string coverFile; // APF or text cover, may be empty
};

// The page the session is positioned at (its APF page header).
struct TransmitPageInfo {
    std::uint32_t imageLength = 0; // bytes of page data
    bool lengthWords = false;      // lines stored with a 2-byte length each
    bool highRes = false;
    bool wide = false;
};

// The outcome of parsing a received Class 1 frame.
struct ReceivedFrame {
    std::uint8_t fcf = 0;
    bool final = false;
    bool cfr = false;     // CFR
    bool retrain = false; // FTT or RTN
    bool fcsGood = false; // the frame check sequence holds
    int error = 0;        // -6005 for DCN, -8060 for an incompatible DIS
};

class TransmitLink {
public:
    virtual ~TransmitLink() = default;

    // Commands and responses.
    virtual void SendCommand(std::string_view cmd) = 0;       // pre-delay, CR, reset reader
    virtual void SendClass1Command(std::string_view cmd) = 0; // turn delay, CR, reset reader
    virtual void SendRaw(std::string_view bytes) = 0;
    virtual void ResetReader() = 0;
    virtual void Pause(std::chrono::milliseconds ms) = 0;
    virtual void PauseTicks(FaxTicks ticks, bool pumpMessages) = 0;
    virtual bool GetByte(std::uint8_t& b) = 0;
    virtual bool InputWaiting() = 0;
    virtual void FlushInput() = 0;

    // Triggers of the session.
    virtual void ArmTimeout(FaxTicks t) = 0;
    virtual void ArmReaderTimer(FaxTicks t) = 0;
    virtual void ArmStatusTimer(std::chrono::seconds s) = 0;
    virtual void ArmOutBuffFree(std::size_t bytes) = 0;
    virtual void ArmOutBuffUsed(std::size_t bytes) = 0;
    virtual std::size_t OutBuffUsed() = 0;
    virtual std::size_t OutBuffFree() = 0;
    virtual void SetSoftwareFlow(bool on) = 0;

    // Class 1 frames.
    virtual void SendFcfFrame(std::uint8_t fcf, bool final) = 0;
    virtual void SendIdFrame() = 0;  // TSI, non-final
    // Also records the training modulation code of the session.
    virtual void SendDcsFrame(char resolution, bool wide) = 0;
    virtual void SendTrainingCheck() = 0;
    virtual ReceivedFrame ParseFrame(std::span<const std::uint8_t> frame) = 0;
    virtual bool StepDown() = 0; // false when no lower speed is left
    // Modulation code of the session's index: long train or short train.
    virtual std::string ModulationCode(bool shortTrain) = 0;

    // Class 2/2.0 reports; 0 or a negative code.
    virtual int ParseRemoteCapabilities(std::string_view report) = 0;
    virtual int ParseSessionReport(std::string_view report) = 0;
    virtual std::string CleanStationId(std::string_view report) = 0;

    // Files. 0 or a negative code.
    virtual int OpenFax(const std::string& name) = 0;
    virtual std::uint16_t FaxPageCount() = 0;
    virtual int PositionPage(int page) = 0; // and read its page header
    virtual TransmitPageInfo CurrentPage() = 0;
    virtual int NextPage(bool sendingCover) = 0;
    virtual int OpenCover(const std::string& name, bool apf, char resolution) = 0;
    virtual int CoverResolution(char& res) = 0; // of an APF cover's first page
    virtual void CloseFiles() = 0;
    // Reads one line record (data only) or a raw block; bytes read or a negative code.
    virtual int ReadPageLine(std::vector<std::uint8_t>& line) = 0;
    virtual int ReadPageBlock(std::vector<std::uint8_t>& block, std::size_t max) = 0;

    // Page output.
    virtual void StuffedWrite(std::span<const std::uint8_t> data) = 0;
    virtual std::size_t CodedLineWrite(std::span<const std::uint8_t> line) = 0; // bytes incl. fill
    virtual void PutBytes(std::span<const std::uint8_t> data) = 0;
    virtual int SendHeaderLine(char resolution) = 0; // blank lines, header, top-up
    // Sends text-cover lines while room lasts; done once the end-of-page record went out.
    virtual int SendCoverLines(bool& done) = 0;

    // Line.
    virtual void ForcedHangup() = 0;
    // The modem takes our bytes as data (after CONNECT to AT+FTH or AT+FTM): drop what
    // is still queued and end the data with DLE ETX, so that the hang-up command that
    // follows is read as a command and not sent down the line.
    virtual void EndModemData() {}
    virtual void RestoreIdleSpeed() = 0;
    virtual void LogState(TransmitState state) = 0; // into the dispatch log when it is on

    // Owner.
    virtual bool NextFax(TransmitJob& job) = 0;
    virtual void StatusEvent(bool first, bool last) = 0;
    virtual void LogEvent(int code) = 0; // 1 start, 2 OK, 3 failed
    virtual void ReportError(int code) = 0;
    virtual void PostFinish(int code) = 0;
};

} // namespace faxengine
