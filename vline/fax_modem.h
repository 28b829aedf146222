// A fax modem on the line: the T.31 Class 1 modem and the Class 2/2.0 personality on one
// pty. AT+FCLASS= moves between them; the program sees one modem.
#pragma once

#include "class1_modem.h"
#include "class2_modem.h"

#include <memory>
#include <string>
#include <vector>

namespace vline {

class FaxModem : private ClassOneModem::DteFilter {
public:
    FaxModem(std::string number, std::vector<FaxClass> classes);
    ~FaxModem() override;
    FaxModem(const FaxModem&) = delete;
    FaxModem& operator=(const FaxModem&) = delete;

    const std::string& number() const { return one_.number(); }
    PtyPort& port() { return one_.port(); }
    const PtyPort& port() const { return one_.port(); }
    bool classTwo() const { return two_.active() || two_.inCall(); }
    void setBadPages(int n) { two_.setBadPages(n); }
    void setPageDamage(const DamagePlan& plan) {
        one_.setPageDamage(plan);
        two_.setPageDamage(plan);
    }

    void serviceDte(int samples);
    void transmit(std::span<std::int16_t> out);
    void receive(std::span<const std::int16_t> in);

    void ring();
    void connected();
    void answered();
    void busy();
    void noAnswer();
    void noDialtone();
    void voice();
    void lineDropped();
    void unobtainable();
    void ringingStopped();

    std::vector<ModemAction> takeActions();
    void setLog(CallLog* log);
    bool dteHeld() const { return one_.dteHeld() || !two_.ready(); }
    int underruns() const { return one_.underruns(); }
    bool onHook() const { return classTwo() ? two_.onHook() : one_.onHook(); }
    long long dteQuietSamples() const { return one_.dteQuietSamples(); }
    int waitForCarrierSeconds() const {
        return classTwo() ? two_.waitForCarrierSeconds() : one_.waitForCarrierSeconds();
    }

private:
    bool ready() const override;
    void take(std::span<const std::uint8_t> data) override;
    void toClassOne(std::span<const std::uint8_t> data);

    ClassOneModem one_;
    ClassTwoModem two_;
    std::string line_; // a command line on its way to the Class 1 modem
    bool wasAttached_ = false;
    bool hadDtr_ = false;
};

} // namespace vline
