#include "call.h"

#include "page_damage.h"

#include <array>

namespace vline {

namespace {
constexpr long long kSampleRate = 8000;
constexpr long long kNoDialtoneAfter = kSampleRate / 2;
// A far end answers a little after the ring it answers on, as a machine does.
constexpr long long kAnswerAfterRing = 2 * kSampleRate;
// Rings before a person picks up on a voice number.
constexpr int kVoiceRings = 2;
// After its session ended the far end stays on the line until its last frame is out.
constexpr long long kFarEndLinger = kSampleRate;
} // namespace

std::string_view to_string(CallState s) {
    switch (s) {
    case CallState::Dialing:
        return "dialing";
    case CallState::Ringing:
        return "ringing";
    case CallState::Connected:
        return "connected";
    case CallState::Ending:
        return "ending";
    case CallState::Ended:
        return "ended";
    }
    return "?";
}

std::string_view to_string(CallOutcome o) {
    switch (o) {
    case CallOutcome::Pending:
        return "pending";
    case CallOutcome::Completed:
        return "completed";
    case CallOutcome::Busy:
        return "busy";
    case CallOutcome::NoAnswer:
        return "no-answer";
    case CallOutcome::NoDialtone:
        return "no-dialtone";
    case CallOutcome::Voice:
        return "voice";
    case CallOutcome::Unobtainable:
        return "unobtainable";
    case CallOutcome::Abandoned:
        return "abandoned";
    }
    return "?";
}

std::string Party::name() const {
    if (modem)
        return "modem " + modem->number();
    if (farEndCfg)
        return "far end " + farEndCfg->number;
    return "nobody";
}

void Party::transmit(std::span<std::int16_t> out) {
    if (modem)
        modem->transmit(out);
    else if (farEnd)
        farEnd->transmit(out);
    else
        std::fill(out.begin(), out.end(), std::int16_t{0});
}

void Party::receive(std::span<const std::int16_t> in) {
    if (modem)
        modem->receive(in);
    else if (farEnd)
        farEnd->receive(in);
}

Call::Call(int id, Party caller, Party callee, const NumberConfig* calledCfg, std::string dialled,
           Condition condition, const CallTiming& timing, const std::filesystem::path& logDir,
           bool record, bool echo)
    : id_(id), caller_(std::move(caller)), callee_(std::move(callee)), calledCfg_(calledCfg),
      dialled_(std::move(dialled)), condition_(condition), timing_(timing), logDir_(logDir) {
    char base[32];
    std::snprintf(base, sizeof base, "call-%04d", id);
    log_ = std::make_unique<CallLog>(logDir / (std::string(base) + ".log"), id, echo);
    if (record)
        wav_ = std::make_unique<WavWriter>(logDir / (std::string(base) + ".wav"), 2);
    Impairments imp = calledCfg ? calledCfg->impairments : Impairments{};
    toCallee_ = std::make_unique<LineImpairment>(imp, 2 * id + 1, timing.lineDelay);
    toCaller_ = std::make_unique<LineImpairment>(imp, 2 * id + 2, timing.lineDelay);
    const DamagePlan damage = calledCfg ? calledCfg->damage : DamagePlan{};
    for (Party* p : {&caller_, &callee_}) {
        if (!p->modem)
            continue;
        p->modem->setLog(log_.get());
        p->modem->setPageDamage(damage);
    }
    std::string what = caller_.name() + " dials " + dialled_ + ": " + callee_.name() +
                       ", condition " + std::string(to_string(condition_));
    if (imp.noiseDbm0)
        what += ", noise " + std::to_string(*imp.noiseDbm0) + " dBm0";
    if (imp.dropLength.count() > 0)
        what += ", audio dropped " + std::to_string(imp.dropStart.count()) + "+" +
                std::to_string(imp.dropLength.count()) + " ms after the answer";
    if (damage.any())
        what += ", damages " + describe(damage);
    log_->line("exchange", what);
}

Call::~Call() { detachLogs(); }

void Call::detachLogs() {
    for (Party* p : {&caller_, &callee_}) {
        if (!p->modem)
            continue;
        p->modem->setLog(nullptr);
        p->modem->setPageDamage({});
    }
}

bool Call::involves(const FaxModem* m) const {
    // A modem that hung up is free again while the other side is still being told.
    return m && ((caller_.modem == m && !caller_.hungUp) || (callee_.modem == m && !callee_.hungUp));
}

void Call::step(int samples) {
    clock_ += samples;
    const long long inState = clock_ - stateSince_;
    switch (state_) {
    case CallState::Dialing:
        if (condition_ == Condition::NoDialtone) {
            if (inState >= kNoDialtoneAfter) {
                if (caller_.modem)
                    caller_.modem->noDialtone();
                finish(CallOutcome::NoDialtone, "no dial tone");
            }
        } else if (inState >= timing_.dialTime) {
            if (condition_ == Condition::Busy) {
                if (caller_.modem)
                    caller_.modem->busy();
                finish(CallOutcome::Busy, "busy");
            } else if (!callee_.modem && !callee_.farEndCfg && condition_ == Condition::Normal) {
                if (caller_.modem)
                    caller_.modem->unobtainable();
                finish(CallOutcome::Unobtainable, "number " + dialled_ + " is not in service");
            } else {
                state_ = CallState::Ringing;
                stateSince_ = clock_;
                nextRing_ = clock_;
            }
        }
        break;
    case CallState::Ringing:
        if (clock_ >= nextRing_) {
            ++rings_;
            nextRing_ += timing_.ringPeriod;
            log_->line("exchange", "ring " + std::to_string(rings_) + " at " + callee_.name());
            if (callee_.modem && callee_.modem->port().dtr())
                callee_.modem->ring();
        }
        if (condition_ == Condition::Voice && rings_ >= kVoiceRings &&
            inState >= (kVoiceRings - 1) * timing_.ringPeriod + kAnswerAfterRing) {
            if (caller_.modem)
                caller_.modem->voice();
            finish(CallOutcome::Voice, "a person answered");
        } else if (condition_ == Condition::Normal && callee_.farEndCfg &&
                   rings_ >= callee_.farEndCfg->answerAfterRings &&
                   inState >= (callee_.farEndCfg->answerAfterRings - 1) * timing_.ringPeriod +
                                  std::min(kAnswerAfterRing, timing_.ringPeriod)) {
            // Off hook a while after its ring, and always before the next one: with a
            // short ring period the far end would otherwise never answer.
            connect();
        } else if (inState >= timing_.noAnswerAfter) {
            if (caller_.modem)
                caller_.modem->noAnswer();
            if (callee_.modem)
                callee_.modem->ringingStopped();
            finish(CallOutcome::NoAnswer, "no answer after " + std::to_string(rings_) + " rings");
        }
        break;
    case CallState::Connected: {
        std::array<std::int16_t, 160> a{}, b{};
        for (int done = 0; done < samples;) {
            const int n = std::min<int>(samples - done, static_cast<int>(a.size()));
            std::span sa(a.data(), static_cast<std::size_t>(n));
            std::span sb(b.data(), static_cast<std::size_t>(n));
            caller_.transmit(sa);
            callee_.transmit(sb);
            toCallee_->apply(sa);
            toCaller_->apply(sb);
            caller_.receive(sb);
            callee_.receive(sa);
            if (wav_)
                wav_->append(sa, sb);
            done += n;
        }
        for (Party* p : {&caller_, &callee_}) {
            if (!p->farEnd || !p->farEnd->finished())
                continue;
            if (p->farEnd->droppedLine()) {
                startEnding(*p, p->farEnd->result(id_).hangup);
            } else if (farEndDoneAt_ < 0) {
                farEndDoneAt_ = clock_;
            } else if (clock_ - farEndDoneAt_ >= kFarEndLinger) {
                startEnding(*p, "far end hung up");
            }
            break;
        }
        break;
    }
    case CallState::Ending: {
        std::array<std::int16_t, 160> silence{}, sink{};
        if (remaining_ && remaining_->modem) {
            for (int done = 0; done < samples; done += 160) {
                remaining_->modem->transmit(sink);
                remaining_->modem->receive(silence);
                if (wav_)
                    wav_->append(silence, silence);
            }
        }
        if (inState >= timing_.disconnectDelay) {
            if (remaining_ && remaining_->modem && !remaining_->modem->onHook()) {
                log_->line("exchange", remaining_->name() + " loses the line");
                remaining_->modem->lineDropped();
            }
            finish(CallOutcome::Completed, endReason_);
        }
        break;
    }
    case CallState::Ended:
        break;
    }
}

void Call::connect() {
    state_ = CallState::Connected;
    stateSince_ = clock_;
    connectedAt_ = clock_;
    log_->line("exchange", callee_.name() + " answers");
    if (callee_.farEndCfg)
        callee_.farEnd = std::make_unique<FarEndFax>(*callee_.farEndCfg, false, id_,
                                                     logDir_ / "received", *log_);
    if (caller_.farEndCfg)
        caller_.farEnd = std::make_unique<FarEndFax>(*caller_.farEndCfg, true, id_,
                                                     logDir_ / "received", *log_);
    if (callee_.modem)
        callee_.modem->answered();
    if (caller_.modem)
        caller_.modem->connected();
}

void Call::answer(FaxModem* m) {
    if (state_ == CallState::Ringing && callee_.modem == m && condition_ == Condition::Normal)
        connect();
}

void Call::hangup(FaxModem* m) {
    Party& p = caller_.modem == m ? caller_ : callee_;
    if (p.modem != m)
        return;
    switch (state_) {
    case CallState::Dialing:
    case CallState::Ringing:
        if (&p == &caller_) {
            if (callee_.modem)
                callee_.modem->ringingStopped();
            finish(CallOutcome::Abandoned, "caller hung up before the answer");
        }
        break;
    case CallState::Connected:
        startEnding(p, p.name() + " hung up");
        break;
    case CallState::Ending:
        if (remaining_ == &p)
            finish(CallOutcome::Completed, endReason_);
        break;
    case CallState::Ended:
        break;
    }
}

void Call::startEnding(Party& gone, const std::string& why) {
    gone.hungUp = true;
    endReason_ = why;
    log_->line("exchange", why);
    Party& rest = other(gone);
    if (!rest.modem) {
        finish(CallOutcome::Completed, why);
        return;
    }
    remaining_ = &rest;
    state_ = CallState::Ending;
    stateSince_ = clock_;
}

void Call::abandon() {
    if (state_ == CallState::Ended)
        return;
    finish(connectedAt_ >= 0 ? CallOutcome::Completed : CallOutcome::Abandoned,
           "the virtual line stopped");
}

void Call::finish(CallOutcome outcome, const std::string& why) {
    if (state_ == CallState::Ended)
        return;
    state_ = CallState::Ended;
    outcome_ = outcome;
    if (endReason_.empty())
        endReason_ = why;
    for (Party* p : {&caller_, &callee_}) {
        if (!p->farEnd)
            continue;
        p->farEnd->callEnded();
        farEndResult_ = p->farEnd->result(id_);
    }
    log_->line("exchange", "call ended: " + std::string(to_string(outcome)) + " (" + endReason_ + ")");
    log_->line("result", result().format());
    detachLogs();
}

ResultRecord Call::result() const {
    ResultRecord r;
    if (farEndResult_) {
        r = *farEndResult_;
    } else {
        r.call = id_;
        r.number = dialled_;
        r.direction = "none";
        r.completionText = std::string(to_string(outcome_));
    }
    r.hangup = endReason_;
    return r;
}

} // namespace vline
