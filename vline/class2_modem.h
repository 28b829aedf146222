// The Class 2 / Class 2.0 personality of a fax modem: the program's AT commands and page
// data in, the T.30 procedure run by the modem itself over Class 1 primitives out.
#pragma once

#include "base/t30_codes.h"

#include "class1_link.h"
#include "class1_modem.h"
#include "class2_at_parser.h"
#include "class2_reports.h"
#include "page_damage.h"
#include "t30_frames.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vline {

class CallLog;
class PtyPort;

// What AT+FCLASS= selects.
enum class FaxClass { Data, Class1, Class2, Class20 };
std::string_view to_string(FaxClass c);
std::optional<FaxClass> faxClassFromString(std::string_view s);

class ClassTwoModem {
public:
    ClassTwoModem(std::string number, PtyPort& port);
    ~ClassTwoModem();
    ClassTwoModem(const ClassTwoModem&) = delete;
    ClassTwoModem& operator=(const ClassTwoModem&) = delete;

    // The classes the modem offers ("0,1,2,2.0"), as AT+FCLASS=? lists them.
    void setClasses(std::vector<FaxClass> classes);
    const std::vector<FaxClass>& classes() const { return classes_; }
    bool offers(FaxClass c) const;
    // The first n pages received in a call fail the copy check (a test of page resending).
    void setBadPages(int n) { badPages_ = n; }
    // The line damages the chosen copies of the pages this modem sends in the call.
    void setPageDamage(const DamagePlan& plan);
    static std::string classList(const std::vector<FaxClass>& classes);

    // True while Class 2 or 2.0 is selected: the program's bytes come here.
    bool active() const { return fclass_ == FaxClass::Class2 || fclass_ == FaxClass::Class20; }
    FaxClass faxClass() const { return fclass_; }

    // A command line the Class 1 side would not understand (one that selects Class 2 or
    // asks for the classes), without its CR: executed here.
    void executeLine(const std::string& line);
    // A command line the Class 1 modem executes: the settings it changes are kept here too.
    void observeLine(const std::string& line);
    // True when this line selects Class 2/2.0 or asks which classes there are.
    static bool wantsClassTwo(const std::string& line);

    // The program's bytes while active. Returns how many were taken: a command line that
    // leaves Class 2 (+FCLASS=0/1, Z, &F) stops there and waits in takeHandover().
    std::size_t fromDte(std::span<const std::uint8_t> data);
    std::optional<std::string> takeHandover();
    bool ready() const;

    // One step of the modem's own work (timers, the T.30 procedure).
    void step(int samples);
    void transmit(std::span<std::int16_t> out);
    void receive(std::span<const std::int16_t> in);

    // Network events.
    void ring();
    void connected();
    void answered();
    void callFailed(const std::string& result); // BUSY, NO ANSWER, NO DIALTONE, VOICE, NO CARRIER
    void lineDropped();
    void ringingStopped() { rings_ = 0; }

    std::vector<ModemAction> takeActions();
    bool onHook() const { return step_ == Step::Idle || step_ == Step::Dialing; }
    bool inCall() const { return step_ != Step::Idle; }
    int waitForCarrierSeconds() const { return s7_; }
    void setLog(CallLog* log) { log_ = log; }
    // Power-on state (the program closed the port); keepProfile: a DTR drop.
    void reset(bool keepProfile);
    void hangup(); // the program dropped DTR or closed the port during a call

private:
    enum class Step {
        Idle,
        Dialing,
        // calling side, sending
        TxWaitDis,
        TxReady,
        TxSendDcs,
        TxTcfSilence,
        TxTcf,
        TxWaitCfr,
        TxPageStart,
        TxPageData,
        TxPageEnd,
        TxWaitFet,
        TxPostPage,
        TxWaitPpr,
        TxWaitDis2,
        // answering side, receiving
        RxAnswering,
        RxSendDis,
        RxWaitDcs,
        RxTcf,
        RxSendCfr,
        RxPage,
        RxWaitPostPage,
        RxWaitFdr,
        RxSendResponse,
        RxWaitDcn,
        SendDcn,
    };
    enum class Pending { None, Dial, Answer, Fdt, Fdr, Fet };

    static constexpr std::uint8_t kDle = t30::kDLE, kEtx = t30::kETX, kDc2 = 0x12, kXon = 0x11,
                                  kCan = 0x18;
    // T.30's T4 with room for a frame's preamble (twice T4); T1 for the first DIS.
    static constexpr std::chrono::milliseconds kFrameWait = 2 * t30::T4, kDisWait = t30::T1;
    static constexpr std::size_t kPageBufferMax = 256 * 1024;
    static constexpr long long samples(std::chrono::milliseconds t) { return t.count() * 8; }
    static std::string_view stepName(Step s);

    void execute(const std::vector<AtCommand>& cmds, const std::string& line);
    bool executeOne(const AtCommand& c);
    void result(std::string_view code);
    void info(const std::string& text);
    void report(FaxReport r, const std::string& text);
    void write(std::string_view s);
    void writeBytes(std::span<const std::uint8_t> b);
    void log(const std::string& text);

    void onLink(LinkResult r);
    void onFrame(const std::vector<std::uint8_t>& f, bool ok);
    void sendFrames(std::vector<std::vector<std::uint8_t>> frames, Step next);
    void receiveFrame();
    void startTraining();
    void startPageData();
    void sendPostPage();
    void endCall(HangupCode code);
    void finishCommand(bool ok);
    void startFdt();
    void startFdr();
    void queueDis(bool connected);
    void feedPage();
    void dteToPage(std::span<const std::uint8_t> data, std::size_t& used);
    void deliverRxData();
    std::uint8_t txOrder(std::uint8_t b) const;
    std::uint8_t rxOrder(std::uint8_t b) const;
    FaxDialect dialect() const {
        return fclass_ == FaxClass::Class20 ? FaxDialect::Class20 : FaxDialect::Class2;
    }

    std::string number_;
    PtyPort& port_;
    CallLog* log_ = nullptr;
    Class1Link link_;
    std::vector<FaxClass> classes_;
    std::vector<ModemAction> actions_;
    std::optional<std::string> handover_;

    // Settings.
    FaxClass fclass_ = FaxClass::Data;
    bool echo_ = true, verbose_ = true, quiet_ = false;
    int s0_ = 0, s7_ = 50;
    SessionParams local_; // +FDIS / +FIS
    SessionParams caps_;  // +FDCC / +FCC
    std::string lid_;     // +FLID / +FLI
    int fcr_ = 1, faa_ = 0, flo_ = 1, fbor_ = 0, fptsSet_ = 1;
    std::string fnr_ = "0,0,0,0";

    // Program side.
    std::string line_;
    Pending pending_ = Pending::None;
    bool dteData_ = false; // page data from the program (after CONNECT of +FDT)
    bool dteDle_ = false;
    bool rxToDte_ = false; // page data to the program (after CONNECT of +FDR)
    bool waitDc2_ = false;

    // Call.
    Step step_ = Step::Idle;
    Step afterFrames_ = Step::Idle;
    std::deque<std::vector<std::uint8_t>> framesToSend_;
    int rings_ = 0;
    long long clock_ = 0, deadline_ = -1, disDeadline_ = -1;
    int tries_ = 0;
    bool reportedConnect_ = false;
    SessionParams remote_, session_;
    bool trained_ = false, disUnreported_ = false, fdtWaiting_ = false;
    std::vector<std::uint8_t> pageOut_;    // page bytes still to go to the line (stuffed)
    bool pageDone_ = false;                // the program ended the page
    std::optional<std::uint8_t> postPage_; // MPS/EOM/EOP the program asked for
    int pageTries_ = 0;
    std::vector<std::uint8_t> tcf_;
    std::deque<std::uint8_t> rxBuf_; // page bytes for the program (stuffed, in its order)
    bool rxPageEnded_ = false;
    bool pageCarrier_ = false; // the page's carrier came
    bool rxEtxSent_ = false;
    std::optional<std::uint8_t> rxPostPage_;
    bool callUp_ = false; // a call is connected
    int badPages_ = 0;
    int rxPages_ = 0; // pages received in this call
    std::optional<PageDamage> damage_;
};

} // namespace vline
