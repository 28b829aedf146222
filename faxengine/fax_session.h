// The fax session: the record shared by the transmit and receive state machines, and the
// modem-command layer under them (AT commands and responses, Class 1 HDLC frames, the
// T.30 DIS/DCS coding, Class 2/2.0 commands and reports, page-data output, the header
// line, the APF file being sent, hang-up and port speed).
//
// The session talks to the modem only through the dispatcher's interface, and to its
// owner only through a FaxNoticeSink, so both can be replaced in tests. Pure parts (frame
// coding, parameter decoding, report parsing) live in their own headers.
#pragma once

#include "faxengine/dispatcher.h"
#include "faxengine/fax_messages.h"
#include "faxengine/fax_timing.h"
#include "faxengine/reader_event.h"
#include "faxengine/class2_commands.h"
#include "faxengine/modem_response.h"
#include "faxengine/t30_params.h"
#include "faximage/apf_file.h"
#include "faximage/fax_converter_engine.h"
#include "faximage/line_reader.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace faxengine {

class FaxSession;

inline constexpr std::chrono::milliseconds kNoticeTimeout{1000};

// What the owner of a session implements. The engine calls it from the dispatch thread
// (and from the caller's thread during initialisation).
class FaxNoticeSink {
public:
    virtual ~FaxNoticeSink() = default;
    // Delivers a notice and waits at most `timeout` for the owner's answer. nullopt when
    // the owner did not answer in time (the notice is then dropped, not queued).
    virtual std::optional<std::int32_t> SendNotice(std::uint16_t msg, FaxSession& session,
                                                   std::int32_t param,
                                                   std::chrono::milliseconds timeout) = 0;
    // Queues a notice without waiting.
    virtual void PostNotice(std::uint16_t msg, FaxSession& session, std::int32_t param) = 0;
};

enum class FaxRole : std::uint8_t { Transmit, Receive };
std::string_view to_string(FaxRole r);

// Option bits.
namespace faxopt {
inline constexpr std::uint16_t AbortNoConnect = 1;
inline constexpr std::uint16_t ExitOnError = 2;
inline constexpr std::uint16_t SoftwareFlow = 8;
} // namespace faxopt

// Result of a synchronous command exchange.
enum class OkResult : std::uint8_t {
    Failed,    // ERROR, or nothing usable before the timeout
    Ok,        // an "OK" line
    OtherLine, // another line, followed by one more line in time
};
std::string_view to_string(OkResult r);

// Two-byte pattern matcher (CR LF, DLE ETX).
struct PairMatcher {
    std::uint8_t first;
    std::uint8_t second;
    int matched = 0;
    // True when `b` completes the pair.
    bool Feed(std::uint8_t b);
    void Reset() { matched = 0; }
};

inline constexpr std::size_t kResponseCapacity = 128;
inline constexpr std::size_t kDataBufferSize = 4096;
inline constexpr std::size_t kStuffBufferSize = 8192;
inline constexpr int kDefaultResponseTicks = 182; // 10 s
inline constexpr int kDefaultPageTicks = 1092;    // 60 s
inline constexpr int kDefaultDialWaitTicks = 1092;

class FaxSession {
public:
    explicit FaxSession(FaxRole role);
    ~FaxSession();
    FaxSession(const FaxSession&) = delete;
    FaxSession& operator=(const FaxSession&) = delete;

    // ---- control --------------------------------------------------------------------
    FaxRole role;
    std::uint8_t state = 0;        // state number of the transmit or receive machine
    std::uint8_t initialState = 0; // receive: rfInit
    bool statusShown = false;
    bool constantStatus = false;
    bool oneFax = false;
    bool safeMode = false;         // transmit default true
    std::uint8_t fileState = 0;    // receive
    std::uint8_t lastByte = 255;   // previous byte was DLE tracker; 255 = none
    bool sameParams = true;        // MPS rather than EOM after a page
    int resendCount = 0;
    int resendLimit = 2;
    int maxSendCount = 50;
    int bufferMinimum = 1000;
    std::string headerLine;        // up to 255
    std::unique_ptr<faximage::TLineReader> coverReader;
    bool coverReaderOpen = false;
    std::unique_ptr<faximage::ConvertState> converter; // header and text-cover drawing
    bool converterEnhanced = false; // draw with the system fonts below when set
    std::optional<faximage::EnhFontSpec> enhHeaderFont; // EnhHeaderFont
    std::optional<faximage::EnhFontSpec> enhCoverFont;  // EnhFont

    // Triggers (negative = not added).
    int statusTrigger = -1;
    int timeoutTrigger = -1;
    int outFreeTrigger = -1;
    int outUsedTrigger = -1;
    int modemStatusTrigger = -1;

    TVelkBaseDispatcher* port = nullptr;
    FaxNoticeSink* owner = nullptr;
    bool sessionActive = false;

    int statusInterval = 1; // seconds
    std::uint16_t options = 0;

    int faxStatus = 0;
    int lastError = 0;
    bool sendPendingStatus = false;

    int dialAttempts = 3;
    int dialAttempt = 0;
    int dialRetryWait = 1092; // ticks, 60 s
    FaxClass faxClass = FaxClass::fcDetect;

    int currentPage = 0;
    int pageCount = 0;
    int coverCount = 0;
    bool sendingCover = false;
    std::int64_t pageBytes = 0;  // bytes sent or received on the page
    std::int64_t pageLength = 0;

    std::string stationId;       // up to 20
    std::string remoteId;        // up to 20
    std::string destinationDir;  // up to 255, with a trailing separator
    std::string faxFileExt = "APF";
    std::string faxFileName;
    std::string coverFileName;
    std::string phoneNumber;     // up to 40
    std::string headerSender;
    std::string headerRecipient;
    std::string headerTitle;

    // ---- modem -------------------------------------------------------------------------
    int bps = 0;                 // negotiated
    int modulation = 0;          // 1..6, see kModulationBps
    std::array<bool, 7> localSupport{};  // [1..6]
    std::array<bool, 7> remoteSupport{}; // [1..6]
    bool fine = false;
    bool wide = false;
    bool remoteFine = false;
    bool remoteWide = false;
    int scanTimeCode = 0;        // 0..7
    int minLineBytes = 0;
    bool ecmInUse = false;

    char resolution = '0';       // current page: '0' normal, '1' fine
    char prevResolution = ' ';
    char ecChar = '0';
    char faxAndDataChar = '0';
    int desiredBps = 9600;
    bool toneDial = true;
    bool blindDial = false;
    bool detectBusy = true;
    std::string dialPrefix;      // up to 40
    int dialWait = kDefaultDialWaitTicks;      // answer wait too
    int responseTicks = kDefaultResponseTicks;
    int pageTicks = kDefaultPageTicks;
    int answerOnRing = 1;
    int initBaud = 0;
    int normalBaud = 0;
    bool atInitBaud = false;

    bool lastFrameFinal = false;
    bool cfrReceived = false;
    bool retrainRequested = false;
    std::uint8_t lastFcf = 0;
    int hangupCode = 0;
    int postPageRetry = 0;
    bool morePages = false;
    bool coverIsApf = false;
    bool lengthWords = false;

    Class2Commands class2;       // built at initialisation for Class 2/2.0
    std::string modulationCode;  // Class 1 training code of the session
    std::string defaultInit = "ATE0Q0V1X4S0=0S2=43";
    std::string modemInit;       // up to 40; see SetModemInit
    std::string response;        // up to kResponseCapacity
    faxengine::EventTimer readerTimer;
    std::array<std::uint8_t, kDataBufferSize> dataBuffer{};
    faximage::ApfReader apf;
    faximage::ApfFileHeader fileHeader;
    faximage::ApfPageHeader pageHeader;
    bool modemInitialised = false;
    // The port opening the modem was initialised on: a port closed and opened again (the
    // modem reset, perhaps by a reset string) needs the initialisation again.
    std::uint64_t initialisedOnOpen = 0;
    // The opening of `port` the session was started on (0 for a port never opened).
    std::uint64_t portOpenSerial = 0;

    PairMatcher lineMatcher{'\r', '\n'};
    PairMatcher frameMatcher{0x10, 0x03};

    // Millisecond waits. Replaceable so tests need not wait; the default sleeps.
    std::function<void(std::chrono::milliseconds)> delay;
    // Tick waits that pump the dispatcher (tf2NextPage); default: the same as delay.
    std::function<void(std::int32_t ticks)> pumpWait;

    // ---- settings with rules ------------------------------------------------------------
    // Upper-cased, cut to 40, "AT" put in front when missing; empty stays empty.
    void SetModemInit(std::string_view text);
    void SetBlindDial(bool on);
    void SetDetectBusy(bool on);
    // Outside design time the port switches at once; NormalBaud from `normal` or, when
    // 0, from the port's current speed.
    void SetInitBaud(int baud, int normal = 0);
    static std::string NormaliseModemInit(std::string_view text);
    static std::string_view DefaultInitFor(bool blindDial, bool detectBusy);

    // ---- lifecycle ------------------------------------------------------------------------
    using InitProc = std::function<int(FaxSession&)>;
    // 0, or the error that stopped the start (the finish notice is posted then).
    int Start(TVelkBaseDispatcher& port, FaxNoticeSink* owner, const InitProc& init,
              TriggerHandler stateProc);
    void Stop();
    // Stop and post the finish notice with the last error.
    void Finish();
    // Stores the code and sends the error notice.
    void ReportError(int code);
    // Synchronous notice to the owner (kNoticeTimeout); nullopt when none or no answer.
    std::optional<std::int32_t> Notify(std::uint16_t msg, std::int32_t param);
    // Status notice: first / last flags.
    void SendStatus(bool first, bool last);
    // Arms the status timer for StatusInterval seconds.
    void ArmStatusTimer();
    // Arms the timeout trigger.
    void ArmTimeout(std::int32_t ticks);
    void DisarmTimeout();

    // ---- commands and responses -------------------------------------------------------
    void SendCommand(std::string_view s);
    void SendClass1Command(std::string_view s);
    void SendRaw(std::string_view s);
    // Empties the response, resets the matchers, arms timeout and reader timers.
    void ResetReader();
    // Feeds a received byte to the response buffer and the matchers. A completed line is
    // trimmed in place; an empty line gives None. The byte after a completed line or
    // frame starts a fresh buffer.
    ReaderEvent FeedByte(std::uint8_t b);
    // Reads all waiting input through FeedByte; the first Line/Frame stops it.
    ReaderEvent ReadResponse();
    // Synchronous exchange with dispatching held off. `answer` gets the last line seen.
    OkResult CommandWithOK(std::string_view cmd, std::string* answer = nullptr);
    bool ResponseHas(std::string_view s) const;
    bool GotOK() const { return ResponseHas("OK"); }
    bool GotConnect() const { return ResponseHas("CONNECT"); }
    bool GotError() const { return ResponseHas("ERROR"); }
    bool GotNoCarrier() const { return ResponseHas("RRIER"); }
    bool GotHangupReport() const { return ResponseHas(class2.hangupReport); }
    int NumericReportValue() const { return numericReportValue(response); }

    // ---- initialisation --------------------------------------------------------------------
    // 0 or -8061.
    int DetectClass();
    // Bits 4 Class 1, 8 Class 2, 16 Class 2.0; 0 when the query failed.
    int QuerySupportedClasses();
    int InitTransmit(std::uint8_t getEntryState);
    int InitReceive();
    // 0 or -8061.
    int Class1CapabilityQuery(bool transmit);
    void BuildClass2Table() { class2 = class2CommandsFor(faxClass); }

    // ---- Class 1 frames -----------------------------------------------------------------
    void SendFrameStart(bool final);
    void SendFrameEnd();
    void SendFcfFrame(std::uint8_t fcf, bool final = true);
    void SendIdFrame(std::uint8_t fcf);
    // fineOffered: the answerer can take fine pages.
    void SendDisFrame(bool fineOffered = true);
    void SendDcsFrame();
    void SendTrainingCheck();
    // Remote capabilities (DIS/DTC) and session parameters (DCS) from FIF bytes 2, 3.
    void DecodeDis(std::uint8_t byte2, std::uint8_t byte3);
    void DecodeDcs(std::uint8_t byte2, std::uint8_t byte3);
    // Parses the frame in the response buffer: 0, -8060 or -6005.
    int ParseFrame();
    // False when no lower speed is left.
    bool StepDownSpeed();
    void ComputeMinLineBytes();
    // Class 2/2.0 +FDIS/+FDCS (or +FIS/+FCS) report, cleaned.
    void ApplyClass2Report(std::string_view report);

    // ---- page data ----------------------------------------------------------------------------
    // Each returns 0 or the port's error.
    int WriteStuffed(std::span<const std::uint8_t> data);
    int WriteCodedLine(std::span<const std::uint8_t> line);
    int WriteBlankLines(int n);
    int TopUpBuffer();
    // Header line drawn, coded and sent (rows doubled in fine resolution).
    int SendHeaderLine();
    // One text-cover line expanded, drawn and sent.
    int SendTextLine(std::string_view line);
    std::string ExpandHeader(std::string_view text) const;
    // Creates or reuses the converter for the font choice.
    int PrepareConverter(bool enhanced);

    // ---- APF file to send -------------------------------------------------------------------
    int OpenFaxFile(const std::string& name);
    int LocatePage(int n);
    // After the cover: closes an APF cover and opens the fax file; else next page. Then
    // reads the page header.
    int AdvancePage();
    int ReadPageHeader();
    // Reads the current page's data into memory (done by SendPageBlock when needed).
    int ReadPageData();
    // Sends the next part of the current page, at least one line or block and about
    // maxBytes: line records with zero fill (length-words pages) or raw blocks of up to
    // 4096 bytes. `done` once the page is all queued. 0 or an error.
    int SendPageBlock(std::size_t maxBytes, bool& done);
    // The whole rest of the page (waits for room in the output buffer).
    int SendPageData();

    // ---- hang-up and speed ----------------------------------------------------------------
    void ForcedHangup();
    void ReceiveHangup();
    void DropDTR();
    void SwitchToSessionSpeed();
    void SwitchToIdleSpeed();

private:
    void waitTicksNoPump(std::int32_t ticks);
    int flushStuffed();
    std::vector<std::uint8_t> stuffBuf_;
    bool responseComplete_ = false; // the buffer holds a finished line or frame
    int procId_ = -1;
    std::vector<std::uint8_t> pageData_;
    std::size_t pagePos_ = 0;
    faximage::ApfPageInfo pageInfo_;
};

} // namespace faxengine
