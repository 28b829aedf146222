// The fax transmit state machine: one event procedure that the port's dispatcher calls
// with its triggers; each call advances the session by one or more states.
#pragma once

#include "faxengine/class2_commands.h"
#include "faxengine/fax_messages.h"
#include "faxengine/fax_transmit_link.h"
#include "faxengine/fax_transmit_state.h"
#include "base/t30_codes.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace faxengine {

// Owner settings the machine reads.
struct TransmitOptions {
    FaxClass faxClass = FaxClass::fcClass1;
    bool abortNoConnect = false;
    bool exitOnError = false;
    bool softwareFlow = false;
    int dialAttempts = 3;
    FaxTicks dialRetryWait{1092};
    FaxTicks dialWait{1092};
    FaxTicks pageTimeout{1092};
    int maxSendCount = 50;
    std::size_t bufferMinimum = 1000;
    std::chrono::seconds statusInterval{1};
    bool toneDial = true;
    std::string dialPrefix;
    std::string stationId;
    std::string faxFileExt = "APF";
    int desiredBps = 9600;
    bool desiredEcm = false;
    bool mpsEnabled = true; // MPS (same parameters) rather than EOM after a page
    int pageResendLimit = 2;
};

// The session's four triggers the machine answers to.
struct TransmitTriggers {
    std::uint16_t statusTimer = 0;
    std::uint16_t timeout = 0;
    std::uint16_t outFree = 0;
    std::uint16_t outUsed = 0;
};

class FaxTransmitter {
public:
    static constexpr std::size_t kBlockSize = 4096;
    static constexpr FaxTicks kPageConnectWait{18}; // 1 s
    // T.30's T4: the wait for the answer to a frame we sent (3 s).
    static constexpr FaxTicks kT4 = std::chrono::duration_cast<FaxTicks>(t30::T4);
    static constexpr FaxTicks kDataModeWait{546};    // 30 s
    static constexpr FaxTicks kHangupWait{26};
    static constexpr FaxTicks kNextPagePause{5};
    static constexpr FaxTicks kLateAnswerGrace{18};  // 1 s
    // How long a whole final frame waits for the modem's OK or ERROR. Modems give it when the
    // far end's carrier drops, which noise on the line can put off for good.
    static constexpr FaxTicks kFrameVerdictWait{18}; // 1 s
    static constexpr std::chrono::milliseconds kResponseTurn{200};
    static constexpr std::chrono::milliseconds kPostPagePause{500};
    static constexpr int kPostPageTries = 3;
    static constexpr std::uint8_t kXon = 0x11;
    static constexpr std::uint8_t kXoff = 0x13;

    FaxTransmitter(TransmitLink& link, TransmitOptions options, TransmitTriggers triggers);

    // One row per state, in the order of the state numbers.
    using StepFn = void (*)(FaxTransmitter&, std::uint16_t trigger);
    struct StateRow {
        TransmitState state;
        std::string_view name;
        TransmitPace pace;         // how the machine goes on after the step
        bool readsResponses;       // on data the response reader runs first, and an expired
                                   // timeout is judged before the step
        bool waitsForFrameVerdict; // after the far end's last frame, the modem's OK or ERROR
                                   // is all that is missing (not so after a page: the far
                                   // end may go on with CSI/DIS in the same carrier)
        StepFn step;               // none: nothing to do in this state
    };
    static const std::array<StateRow, kTransmitStateCount> kStates;
    static const StateRow& rowOf(TransmitState s);

    // The event procedure: (message, trigger handle, parameter).
    void Handle(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param);

    TransmitState State() const { return state_; }
    int FaxStatus() const { return faxStatus_; }
    int LastError() const { return lastError_; }
    int DialAttempt() const { return dialAttempt_; }
    int PageNumber() const { return pageNumber_; }
    int HangupCode() const { return hangupCode_; }
    const std::string& RemoteId() const { return remoteId_; }
    const TransmitOptions& Options() const { return opt_; }

private:
    enum class ReadResult { Nothing, Line, Frame, Failed };

    bool step(std::uint16_t trigger);
    ReadResult readResponse();
    bool judgeLine();
    bool responseHas(std::string_view word) const;
    bool connectFailure();
    void discardInput();
    void endPageData();
    bool pageReport();
    void fail(int code);
    void status(bool first, bool last);
    void redial();
    bool timeoutBeforeStep();
    void takeFrameAsConfirmed();
    std::string sessionParams() const;

    // One handler per state.
    void onGetEntry();
    void onInit();
    void onInit1();
    void onInit2(std::uint16_t trigger);
    void onDial();
    void onRetryWait(std::uint16_t trigger);
    void on1Connect();
    void on1SendTSI();
    void on1TSIRespns();
    void on1DCSRspns();
    void on1TrainStrt();
    void on1TrainFnsh();
    void on1WaitCFR();
    void on1WaitPgCn();
    void on2Connect();
    void on2GetParams();
    void onWaitXon(std::uint16_t trigger);
    void onWaitFrHead(std::uint16_t trigger);
    void onSndPgeHdr();
    void onOpenCover();
    void onSendCover(std::uint16_t trigger);
    void onPrepPage();
    void onSendPage(std::uint16_t trigger);
    void onDrainPage(std::uint16_t trigger);
    void on1PageEnd();
    void on1PrepEOP();
    void on1SendEOP();
    void on1WaitMPS(bool readerTimer);
    void armPostPageWait();
    void on1WaitMCF();
    void retrainAfterRtn();
    bool goBackToSentPage();
    void on1SendDCN();
    void on1Hangup();
    void on1WaitHngp();
    void on2SendEOP();
    void on2WaitFPTS();
    void on2WaitFET();
    void on2WaitPgOK();
    void on2SndNwPrm();
    void on2NextPage();
    void on20ChckPg();
    void onClose();
    void onCompleteOK();
    void onAbort();
    // A completed line that no row of the state wanted.
    void unexpectedLine();

    bool class1() const { return opt_.faxClass == FaxClass::fcClass1; }
    bool class20() const { return opt_.faxClass == FaxClass::fcClass2_0; }
    bool resolutionChanges() const { return prevResolution_ != ' ' && prevResolution_ != resolution_; }
    void sendPageBlocks();

    TransmitLink& link_;
    TransmitOptions opt_;
    TransmitTriggers trig_;
    Class2Commands class2_; // the class's command and report names (empty for Class 1)

    TransmitState state_ = TransmitState::tfGetEntry;
    int faxStatus_ = 0;
    int lastError_ = 0;
    bool sendPendingStatus_ = false;
    bool inGetEntry_ = false;
    bool userAbort_ = false;
    bool portLost_ = false; // the device went away: no next fax, no more waiting
    TransmitState failedIn_ = TransmitState::tfNone; // the state an error or abort came in
    bool timedOut_ = false; // the current pass was the timeout timer

    TransmitJob job_;
    int dialAttempt_ = 0;
    bool lastDialUnanswered_ = false; // the last dial ended in NO ANSWER, not BUSY
    int pageNumber_ = 0;
    int pageCount_ = 0;
    int coverCount_ = 0;
    bool sendingCover_ = false;
    bool coverIsApf_ = false;
    std::uint32_t bytesSent_ = 0;
    std::uint32_t pageLength_ = 0;
    bool lengthWords_ = false;
    char resolution_ = '0';
    char prevResolution_ = ' ';
    bool morePages_ = false;
    bool firstPageWide_ = false;
    bool currentWide_ = false;
    // The page last sent, for a resend after the modem rejected it.
    int sentPage_ = 0;
    bool sentCover_ = false;
    std::string sentCoverFile_;
    char sentResolution_ = '0';
    bool lastFrameFinal_ = false;
    bool cfrReceived_ = false;
    bool frameArriving_ = false;
    bool mcfWaitOnReaderTimer_ = false; // which timer tf1WaitMCF's wait runs on
    // A whole final frame with a good FCS arrived and its OK has not (yet).
    bool verdictPending_ = false;
    bool frameHeard_ = false; // the far end sent a frame in this call
    std::uint8_t lastFcf_ = 0;
    int postPageTries_ = 0;
    int pageResends_ = 0;
    int hangupCode_ = 0;
    std::string remoteId_;

    std::string response_;          // the current (last completed) line
    std::string dataModeText_;      // what the modem said during page data
    std::vector<std::uint8_t> buf_; // bytes since the last completed line or frame
    std::vector<std::uint8_t> block_;
};

} // namespace faxengine
