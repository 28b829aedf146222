// A Class 1 fax modem on a pty: the program's AT commands in, modem audio out.
#pragma once

#include "page_damage.h"
#include "pty_port.h"
#include "t30_frames.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct t31_state_s;
struct at_state_s;

namespace vline {

class CallLog;

// What the modem asks of the telephone network; the exchange takes them between steps.
enum class ModemRequest { Dial, Answer, Hangup };
std::string_view to_string(ModemRequest r);

struct ModemAction {
    ModemRequest request;
    std::string number; // Dial: the dial string as the program gave it
};

class ClassOneModem {
public:
    // A modem with a Class 2 personality besides this one sees the program's bytes first
    // and hands on what is for the T.31 modem through feedDte().
    class DteFilter {
    public:
        virtual ~DteFilter() = default;
        virtual bool ready() const = 0; // false: leave the program's bytes in the port
        virtual void take(std::span<const std::uint8_t> data) = 0;
    };

    explicit ClassOneModem(std::string number);
    ~ClassOneModem();
    ClassOneModem(const ClassOneModem&) = delete;
    ClassOneModem& operator=(const ClassOneModem&) = delete;

    const std::string& number() const { return number_; }
    PtyPort& port() { return port_; }
    const PtyPort& port() const { return port_; }

    // One step on the program's side: notices the program coming and going or dropping
    // DTR (both hang up; a new program finds a reset modem, a DTR drop keeps the
    // settings), then reads its bytes unless the modem holds it back (CTS off).
    void serviceDte(int samples);

    // Audio of one step: what the modem sends to the line, and what it hears.
    void transmit(std::span<std::int16_t> out);
    void receive(std::span<const std::int16_t> in);

    // Network events.
    void ring();         // one RING (auto-answer counts these against S0)
    void connected();    // our call was answered: start the calling fax procedure
    void answered();     // we answered: start the answering fax procedure
    void busy();
    void noAnswer();
    void noDialtone();
    void voice();        // a person answered our call
    void lineDropped();  // the other side hung up or the call failed
    void unobtainable(); // the dialled number leads nowhere: NO CARRIER
    void ringingStopped(); // the caller gave up: the next call's rings count from 0

    std::vector<ModemAction> takeActions();

    void setDteFilter(DteFilter* f) { filter_ = f; }
    void feedDte(std::span<const std::uint8_t> data);
    bool commandMode() const;

    void setLog(CallLog* log);
    // The line damages the chosen copies of the pages this modem sends in the call (an
    // empty plan: none).
    void setPageDamage(const DamagePlan& plan);
    bool dteHeld() const { return !cts_; }
    // Times page data ran dry mid-page since the modem was made (the call log has them per page).
    int underruns() const { return underrunsInAll_; }
    bool onHook() const;
    // How long the program has been silent, in samples (since attach or its last byte).
    long long dteQuietSamples() const { return quietSamples_; }
    // S7, the time the program lets the modem wait for the far end, in seconds (0: unset).
    int waitForCarrierSeconds() const;

private:
    static int onModemControl(t31_state_s* s, void* user, int op, const char* num);
    static int onAtTx(at_state_s* at, void* user, const std::uint8_t* buf, std::size_t len);
    void reset(bool keepProfile);
    void logDte(std::span<const std::uint8_t> data);
    void logModem(std::span<const std::uint8_t> data);
    void flushDataCount();
    void watchForUnderrun(int samples);
    void noteCommand(const std::string& line);
    void damagePageData(std::span<const std::uint8_t> data);
    void watchFrames(std::span<const std::uint8_t> data, StuffedFrames& frames);

    struct T31Deleter {
        void operator()(t31_state_s* s) const;
    };

    std::string number_;
    PtyPort port_;
    std::unique_ptr<t31_state_s, T31Deleter> t31_;
    std::vector<ModemAction> actions_;
    bool cts_ = true;
    bool wasAttached_ = false;
    bool hadDtr_ = false;
    long long quietSamples_ = 0;
    CallLog* log_ = nullptr;
    DteFilter* filter_ = nullptr;
    std::string dteLine_;
    long long dteDataBytes_ = 0;
    long long modemDataBytes_ = 0;
    int underruns_ = 0; // since the last log line
    int underrunsInAll_ = 0;
    bool runningDry_ = false;
    std::optional<PageDamage> damage_;
    bool ftmData_ = false; // the last command was +FTM: its data is a page or the training check
    bool fthData_ = false; // ... +FTH: the program's frames (its DCS)
    bool frhData_ = false; // ... +FRH: the modem hands over frames (the answers to pages)
    StuffedFrames sent_{false};
    StuffedFrames received_{true};
};

} // namespace vline
