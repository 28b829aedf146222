#include "exchange.h"

#include <algorithm>
#include <regex>
#include <sstream>

namespace vline {

namespace {
constexpr long long samplesOf(Millis t) { return t.count() * Exchange::kSampleRate / 1000; }

// Call numbers continue after the logs already in the directory, so a restart does
// not overwrite the logs of earlier runs.
int firstFreeCallId(const std::filesystem::path& dir) {
    int last = 0;
    std::error_code ec;
    static const std::regex name(R"(call-(\d{4,9})\.log)");
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        std::smatch m;
        const std::string f = e.path().filename().string();
        if (std::regex_match(f, m, name))
            last = std::max(last, std::stoi(m[1].str()));
    }
    return last + 1;
}
} // namespace

Exchange::Exchange(const Config& cfg, std::filesystem::path logDir)
    : cfg_(cfg), logDir_(std::move(logDir)) {
    for (const NumberConfig* n : cfg_.modems()) {
        std::vector<FaxClass> classes;
        std::stringstream list(n->classes);
        for (std::string item; std::getline(list, item, ',');)
            if (auto c = faxClassFromString(item))
                classes.push_back(*c);
        modems_.push_back(std::make_unique<FaxModem>(n->number, std::move(classes)));
        modems_.back()->setBadPages(n->badPages);
        if (!n->link.empty())
            modems_.back()->port().link(n->link);
    }
    if (!cfg_.linkDir.empty())
        for (std::size_t i = 0; i < modems_.size(); ++i)
            modems_[i]->port().link(cfg_.linkDir / ("ttyV" + std::to_string(i)));
    nextId_ = firstFreeCallId(logDir_);
}

Exchange::~Exchange() { shutdown(); }

void Exchange::shutdown() {
    for (auto& c : calls_)
        c->abandon();
    reap();
}

FaxModem* Exchange::modemByNumber(const std::string& number) {
    for (auto& m : modems_)
        if (m->number() == number)
            return m.get();
    return nullptr;
}

Call* Exchange::callOf(const FaxModem* m) {
    for (auto& c : calls_)
        if (c->state() != CallState::Ended && c->involves(m))
            return c.get();
    return nullptr;
}

CallTiming Exchange::timingFor(const NumberConfig* called, const FaxModem* caller) const {
    CallTiming t{};
    t.ringPeriod = samplesOf(cfg_.ringPeriod);
    t.dialTime = samplesOf(cfg_.dialTime);
    t.disconnectDelay = samplesOf(cfg_.disconnectDelay);
    t.lineDelay = static_cast<int>(samplesOf(cfg_.lineDelay));
    Millis limit = cfg_.defaultNoAnswer;
    // The caller's modem gives up after S7 seconds without the far end's carrier.
    if (caller && caller->waitForCarrierSeconds() > 0)
        limit = std::min(limit, Millis(caller->waitForCarrierSeconds() * 1000));
    if (called && called->noAnswerAfter.count() > 0)
        limit = std::min(limit, called->noAnswerAfter);
    t.noAnswerAfter = samplesOf(limit);
    return t;
}

void Exchange::dial(FaxModem& m, const std::string& dialled) {
    if (callOf(&m))
        return;
    const std::string number = normaliseNumber(dialled);
    const NumberConfig* called = cfg_.find(number);
    Condition condition = Condition::Normal;
    if (called)
        condition = called->conditionOfCall(callsTo_[number]++);
    Party caller;
    caller.modem = &m;
    Party callee;
    if (called && condition == Condition::Normal) {
        if (called->kind == NumberKind::Modem) {
            FaxModem* target = modemByNumber(called->number);
            // A modem in a call, off hook, or dialling itself gives the busy tone.
            if (target == &m || callOf(target) || !target->onHook())
                condition = Condition::Busy;
            else
                callee.modem = target;
        } else if (called->kind == NumberKind::FarEnd) {
            if (called->mode == FarEndMode::Receive)
                callee.farEndCfg = called;
            else
                condition = Condition::Busy; // a sending far end does not take calls
        }
    }
    calls_.push_back(std::make_unique<Call>(nextId_++, std::move(caller), std::move(callee), called,
                                            number, condition, timingFor(called, &m), logDir_,
                                            cfg_.record, cfg_.verbose));
}

void Exchange::handleActions(FaxModem& m) {
    for (const ModemAction& a : m.takeActions()) {
        Call* c = callOf(&m);
        switch (a.request) {
        case ModemRequest::Dial:
            dial(m, a.number);
            break;
        case ModemRequest::Answer:
            if (c) {
                c->answer(&m);
            } else {
                // Off hook with nobody calling: the modem hears no fax and gives up.
                m.lineDropped();
            }
            break;
        case ModemRequest::Hangup:
            if (c)
                c->hangup(&m);
            break;
        }
    }
}

void Exchange::startFarEndCalls() {
    for (const NumberConfig& n : cfg_.numbers) {
        if (n.kind != NumberKind::FarEnd || n.mode != FarEndMode::Send)
            continue;
        if (callsMade_[n.number] >= n.calls || farEndBusy_[n.number])
            continue;
        FaxModem* target = modemByNumber(n.dial);
        const NumberConfig* called = cfg_.find(n.dial);
        // A far end may call a receiving far end: two fax machines on the line, the
        // reference for how long a fax takes. It calls once the line has run call-delay.
        const bool toFarEnd = !target && called && called->kind == NumberKind::FarEnd &&
                              called->mode == FarEndMode::Receive;
        if (toFarEnd) {
            if (samples_ < samplesOf(n.callDelay))
                continue;
        } else {
            if (!target || !target->port().dtr() || !target->onHook() || callOf(target))
                continue;
            if (target->dteQuietSamples() < samplesOf(n.callDelay))
                continue;
        }
        ++callsMade_[n.number];
        farEndBusy_[n.number] = true;
        Party caller;
        caller.farEndCfg = &n;
        Party callee;
        if (toFarEnd)
            callee.farEndCfg = called;
        else
            callee.modem = target;
        Condition condition = called ? called->conditionOfCall(callsTo_[n.dial]++) : Condition::Normal;
        // Faults of the calling far end's number apply to its calls too.
        calls_.push_back(std::make_unique<Call>(nextId_++, std::move(caller), std::move(callee), &n,
                                                n.dial, condition, timingFor(&n, nullptr),
                                                logDir_, cfg_.record, cfg_.verbose));
    }
}

void Exchange::reap() {
    for (auto it = calls_.begin(); it != calls_.end();) {
        if ((*it)->state() != CallState::Ended) {
            ++it;
            continue;
        }
        ResultRecord r = (*it)->result();
        for (const NumberConfig& n : cfg_.numbers)
            if (n.kind == NumberKind::FarEnd && n.mode == FarEndMode::Send &&
                (r.number == n.number || (r.direction == "receive" && r.number == n.dial)))
                farEndBusy_[n.number] = false; // (a call to a far end files the receiver's record)
        // A calling far end's record is filed under its own number.
        appendResult(logDir_ / "results.txt", r);
        ++ended_;
        if (onCallEnded_)
            onCallEnded_(r, (*it)->outcome());
        it = calls_.erase(it);
    }
}

void Exchange::step() {
    samples_ += kStepSamples;
    for (auto& m : modems_) {
        m->serviceDte(kStepSamples);
        handleActions(*m);
    }
    startFarEndCalls();
    for (auto& c : calls_)
        c->step(kStepSamples);
    // Idle modems still run their timers (and answer no one).
    std::array<std::int16_t, kStepSamples> silence{}, sink{};
    for (auto& m : modems_) {
        if (!callOf(m.get())) {
            m->transmit(sink);
            m->receive(silence);
        }
        handleActions(*m);
    }
    reap();
}

} // namespace vline
