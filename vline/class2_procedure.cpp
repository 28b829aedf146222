// The T.30 procedure of the Class 2 modem: the frames, training and pages it exchanges
// over the Class 1 primitives, step by step as the program's commands allow.
#include "call_log.h"
#include "class2_modem.h"

#include <algorithm>
#include <cstdio>

namespace vline {

void ClassTwoModem::sendFrames(std::vector<std::vector<std::uint8_t>> frames, Step next) {
    framesToSend_.assign(frames.begin(), frames.end());
    afterFrames_ = next;
    for (const auto& f : frames)
        log("fax: send " + fcfName(f[2]));
    link_.command("+FTH=3");
}

void ClassTwoModem::receiveFrame() {
    deadline_ = clock_ + samples(kFrameWait);
    link_.command("+FRH=3");
}

void ClassTwoModem::startFdt() {
    if (step_ == Step::TxWaitDis2) {
        fdtWaiting_ = true; // the DIS after EOM is still to come
        return;
    }
    fdtWaiting_ = false;
    if (disUnreported_) {
        disUnreported_ = false;
        report(FaxReport::RemoteDis, paramsReport(dialect(), FaxReport::RemoteDis, remote_));
    }
    pageOut_.clear();
    pageDone_ = false;
    postPage_.reset();
    if (!trained_) {
        tries_ = 0;
        startTraining();
        return;
    }
    startPageData();
}

// CONNECT and XON to the program, the page carrier to the line.
void ClassTwoModem::startPageData() {
    step_ = Step::TxPageStart;
    result("CONNECT");
    // The program may send once it has XON (Class 2 programs wait for it).
    const std::uint8_t xon = kXon;
    writeBytes(std::span(&xon, 1));
    dteData_ = true;
    if (damage_)
        damage_->startData();
    link_.command("+FTM=" + std::to_string(modulationOf(session_.br)));
}

void ClassTwoModem::setPageDamage(const DamagePlan& plan) {
    damage_.reset();
    if (plan.any())
        damage_.emplace(plan);
}

void ClassTwoModem::queueDis(bool connected) {
    std::vector<std::vector<std::uint8_t>> frames;
    if (!lid_.empty())
        frames.push_back(frame(fcf::CSI, encodeIdent(lid_), false));
    frames.push_back(frame(fcf::DIS, encodeDis(local_), true));
    for (const auto& f : frames)
        log("fax: send " + fcfName(f[2]));
    framesToSend_.assign(frames.begin(), frames.end());
    afterFrames_ = Step::RxWaitDcs;
    step_ = Step::RxSendDis;
    if (connected)
        onLink(LinkResult::Connect);
    else
        link_.command("+FTH=3");
}

void ClassTwoModem::startTraining() {
    session_ = negotiate(local_, remote_);
    std::vector<std::vector<std::uint8_t>> frames;
    if (!lid_.empty())
        frames.push_back(frame(fcf::TSI | fcf::kX, encodeIdent(lid_), false));
    frames.push_back(frame(fcf::DCS | fcf::kX, encodeDcs(session_), true));
    sendFrames(std::move(frames), Step::TxTcfSilence);
    step_ = Step::TxSendDcs;
}

void ClassTwoModem::sendPostPage() {
    step_ = Step::TxPostPage;
    link_.command("+FTS=8");
}

void ClassTwoModem::startFdr() {
    if (step_ < Step::RxAnswering) {
        finishCommand(false);
        return;
    }
    if (step_ == Step::RxWaitFdr && rxPostPage_ && rxEtxSent_) {
        // The program has the page: answer the sender now.
        const std::uint8_t resp = fptsSet_ == 1 ? fcf::MCF : fptsSet_ == 3 ? fcf::RTP : fcf::RTN;
        const std::uint8_t pp = *rxPostPage_;
        const Step next = pp == fcf::MPS && resp == fcf::MCF   ? Step::RxPage
                          : pp == fcf::EOP && resp != fcf::RTN ? Step::RxWaitDcn
                          : pp == fcf::EOM                     ? Step::RxSendDis
                                                               : Step::RxWaitDcs;
        fptsSet_ = 1;
        rxBuf_.clear();
        rxPageEnded_ = rxEtxSent_ = false;
        rxPostPage_.reset();
        tries_ = 0;
        sendFrames({frame(resp, {}, true)}, next);
        step_ = Step::RxSendResponse;
        if (next == Step::RxPage || next == Step::RxWaitDcs) {
            rxToDte_ = true;
            waitDc2_ = dialect() == FaxDialect::Class2;
            result("CONNECT");
        }
        return;
    }
    rxToDte_ = true;
    waitDc2_ = dialect() == FaxDialect::Class2;
    result("CONNECT");
    deliverRxData();
}

void ClassTwoModem::step(int samples) {
    clock_ += samples;
    while (auto r = link_.takeResult())
        onLink(*r);
    if (step_ == Step::TxPageData)
        feedPage();
    if (step_ == Step::RxPage) {
        for (std::uint8_t b : link_.takeData()) {
            const std::uint8_t o = rxOrder(b);
            rxBuf_.push_back(o);
            if (o == kDle)
                rxBuf_.push_back(kDle);
        }
        deliverRxData();
    }
    // A frame that does not come: stop waiting; the result handler retries or gives up.
    if (deadline_ >= 0 && clock_ > deadline_) {
        deadline_ = -1;
        log("fax: nothing from the line in time (" + std::string(stepName(step_)) + ")");
        link_.cancelReceive();
    }
}

void ClassTwoModem::feedPage() {
    auto toLine = [this](std::span<const std::uint8_t> bytes) {
        if (damage_)
            link_.send(damage_->pass(bytes));
        else
            link_.send(bytes);
    };
    std::size_t sent = 0;
    while (sent < pageOut_.size() && link_.canSend()) {
        const std::size_t n = std::min<std::size_t>(256, pageOut_.size() - sent);
        toLine(std::span(pageOut_).subspan(sent, n));
        sent += n;
    }
    pageOut_.erase(pageOut_.begin(), pageOut_.begin() + static_cast<std::ptrdiff_t>(sent));
    if (pageOut_.empty() && pageDone_) {
        const std::uint8_t etx[] = {kDle, kEtx};
        toLine(etx);
        if (auto note = damage_ ? damage_->takeNote() : std::nullopt)
            log("page data on the line: " + *note);
        step_ = Step::TxPageEnd;
    }
}

void ClassTwoModem::onLink(LinkResult r) {
    const Step s = step_;
    switch (s) {
    case Step::TxSendDcs:
    case Step::RxSendDis:
    case Step::RxSendCfr:
    case Step::RxSendResponse:
    case Step::SendDcn:
    case Step::RxAnswering:
        if (r == LinkResult::Connect && !framesToSend_.empty()) {
            auto f = std::move(framesToSend_.front());
            framesToSend_.pop_front();
            link_.send(dleFramed(f));
            return;
        }
        if (r == LinkResult::Connect && s == Step::RxAnswering) {
            // CED is out and the modem sends HDLC: our CSI and DIS.
            queueDis(true);
            return;
        }
        if (r == LinkResult::Ok && framesToSend_.empty() && s != Step::RxAnswering) {
            if (afterFrames_ == Step::Idle) {
                endCall(HangupCode::Normal);
                return;
            }
            step_ = afterFrames_;
            if (step_ == Step::TxTcfSilence) {
                link_.command("+FTS=8");
            } else if (step_ == Step::RxWaitDcs || step_ == Step::RxWaitDcn ||
                       step_ == Step::RxWaitPostPage || step_ == Step::TxWaitPpr) {
                receiveFrame();
            } else if (step_ == Step::RxPage) {
                pageCarrier_ = false;
                deadline_ = clock_ + samples(kFrameWait);
                link_.command("+FRM=" + std::to_string(modulationOf(session_.br)));
            } else if (step_ == Step::RxSendDis) {
                queueDis(false); // after EOM: phase B again
            }
            return;
        }
        if (r != LinkResult::Ok && r != LinkResult::Connect) {
            log("fax: sending frames failed: " + std::string(to_string(r)));
            endCall(s < Step::RxAnswering ? HangupCode::TxPhaseBError : HangupCode::RxPhaseBError);
        }
        return;
    case Step::TxTcfSilence:
        if (r == LinkResult::Ok) {
            step_ = Step::TxTcf;
            link_.command("+FTM=" + std::to_string(modulationOf(session_.br)));
        }
        return;
    case Step::TxTcf:
        if (r == LinkResult::Connect) {
            std::vector<std::uint8_t> zeros(static_cast<std::size_t>(bitRate(session_.br) * 3 / 16),
                                            0);
            zeros.push_back(kDle);
            zeros.push_back(kEtx);
            link_.send(zeros);
        } else if (r == LinkResult::Ok) {
            step_ = Step::TxWaitCfr;
            receiveFrame();
        }
        return;
    case Step::TxPageStart:
        if (r == LinkResult::Connect) {
            step_ = Step::TxPageData;
            feedPage();
        }
        return;
    case Step::TxPageEnd:
        if (r == LinkResult::Ok) {
            log("fax: page sent");
            step_ = Step::TxWaitFet;
            if (postPage_) {
                // Class 2.0 said with the page what follows: one final result at the end.
                pending_ = Pending::Fet;
                tries_ = 0;
                sendPostPage();
            } else {
                finishCommand(true);
            }
        }
        return;
    case Step::TxPostPage:
        if (r == LinkResult::Ok) {
            sendFrames({frame(static_cast<std::uint8_t>(*postPage_ | fcf::kX), {}, true)},
                       Step::TxWaitPpr);
            step_ = Step::TxSendDcs;
            afterFrames_ = Step::TxWaitPpr;
        }
        return;
    case Step::RxTcf:
        if (r == LinkResult::Connect)
            return;
        {
            auto data = link_.takeData();
            tcf_.insert(tcf_.end(), data.begin(), data.end());
            std::size_t run = 0, best = 0;
            for (std::uint8_t b : tcf_) {
                run = b == 0 ? run + 1 : 0;
                best = std::max(best, run);
            }
            const bool good = best >= static_cast<std::size_t>(bitRate(session_.br) * 3 / 32);
            log("fax: training check " + std::string(good ? "good" : "bad") + " (" +
                std::to_string(best) + " zero bytes in a row)");
            tcf_.clear();
            if (r == LinkResult::FcError) {
                step_ = Step::RxWaitDcs;
                receiveFrame();
                return;
            }
            sendFrames({frame(good ? fcf::CFR : fcf::FTT, {}, true)},
                       good ? Step::RxPage : Step::RxWaitDcs);
            step_ = Step::RxSendCfr;
            if (good) {
                const FaxDialect d = dialect();
                report(FaxReport::Session, paramsReport(d, FaxReport::Session, session_));
                if (pending_ == Pending::Answer)
                    finishCommand(true);
                else if (pending_ == Pending::Fdr && !rxToDte_)
                    startFdr();
            }
        }
        return;
    case Step::RxPage:
        if (r == LinkResult::Connect) {
            deadline_ = -1;
            pageCarrier_ = true;
            return;
        }
        if (r == LinkResult::FcError || !pageCarrier_) {
            // V.21 instead of the page (the sender did not hear our CFR and repeats DCS),
            // or nothing at all: listen for the sender's frames again, for a while.
            if (++tries_ > 3) {
                endCall(HangupCode::NoPage);
                return;
            }
            step_ = Step::RxWaitDcs;
            receiveFrame();
            return;
        }
        pageCarrier_ = false;
        for (std::uint8_t b : link_.takeData()) {
            const std::uint8_t o = rxOrder(b);
            rxBuf_.push_back(o);
            if (o == kDle)
                rxBuf_.push_back(kDle);
        }
        rxPageEnded_ = true;
        log("fax: page received");
        step_ = Step::RxWaitPostPage;
        tries_ = 0;
        receiveFrame();
        deliverRxData();
        return;
    case Step::TxWaitDis:
    case Step::TxWaitDis2:
    case Step::TxWaitCfr:
    case Step::TxWaitPpr:
    case Step::RxWaitDcs:
    case Step::RxWaitPostPage:
    case Step::RxWaitDcn:
        if (r == LinkResult::Connect) {
            deadline_ = s == Step::TxWaitDis || s == Step::TxWaitDis2 ? deadline_ : -1;
            return;
        }
        if (r == LinkResult::Ok || r == LinkResult::Error) {
            auto f = link_.takeData();
            if (link_.dataEnded() && f.size() >= 5) {
                f.resize(f.size() - 2); // the frame check sequence
                onFrame(f, r == LinkResult::Ok);
                return;
            }
        }
        // Nothing came (or carrier without a frame): retry, within limits. The answering
        // side says DIS again for about T1 (35 s); commands are repeated three times.
        if (++tries_ > (s == Step::RxWaitDcs ? 5 : 3) && s != Step::TxWaitDis &&
            s != Step::TxWaitDis2) {
            endCall(s == Step::TxWaitCfr ? HangupCode::NoResponseToDcs
                    : s == Step::TxWaitPpr
                        ? (*postPage_ == fcf::MPS   ? HangupCode::NoResponseToMps
                           : *postPage_ == fcf::EOP ? HangupCode::NoResponseToEop
                                                    : HangupCode::NoResponseToEom)
                    : s == Step::RxWaitDcn ? HangupCode::Normal
                                           : HangupCode::RxPhaseBError);
            return;
        }
        if ((s == Step::TxWaitDis || s == Step::TxWaitDis2) && clock_ > disDeadline_) {
            endCall(HangupCode::NoAnswer);
            return;
        }
        if (s == Step::TxWaitCfr) {
            startTraining(); // DCS again
            return;
        }
        if (s == Step::TxWaitPpr) {
            sendPostPage();
            return;
        }
        if (s == Step::RxWaitDcs) {
            // Our DIS was not heard: say it again.
            queueDis(false);
            return;
        }
        if (s == Step::TxWaitDis || s == Step::TxWaitDis2) {
            deadline_ = disDeadline_;
            link_.command("+FRH=3");
        } else
            receiveFrame();
        return;
    case Step::TxReady:
    case Step::TxWaitFet:
    case Step::TxPageData:
    case Step::RxWaitFdr:
    case Step::Idle:
    case Step::Dialing:
        return;
    }
}

void ClassTwoModem::onFrame(const std::vector<std::uint8_t>& f, bool ok) {
    const Step s = step_;
    const bool last = (f[1] & 0x10) != 0;
    const std::uint8_t code = f[2] & ~fcf::kX;
    const std::span<const std::uint8_t> fif(f.data() + 3, f.size() - 3);
    std::string hex;
    for (std::uint8_t x : f) {
        char h[4];
        std::snprintf(h, sizeof h, " %02x", x);
        hex += h;
    }
    log("fax: received " + fcfName(f[2]) + (ok ? "" : " (bad check sequence)") + " [" +
        hex.substr(1) + "]");
    const FaxDialect d = dialect();
    auto next = [&] {
        if (s == Step::TxWaitDis || s == Step::TxWaitDis2) {
            deadline_ = disDeadline_;
            link_.command("+FRH=3");
        } else {
            receiveFrame();
        }
    };
    if (!ok) {
        next();
        return;
    }
    if (!reportedConnect_) {
        reportedConnect_ = true;
        info(std::string(reportName(d, FaxReport::Connection)));
    }
    if (code == (fcf::DCN & ~fcf::kX)) {
        endCall(s == Step::RxWaitDcn    ? HangupCode::Normal
                : s < Step::RxAnswering ? HangupCode::RemoteCannotReceive
                                        : HangupCode::RxPhaseBError);
        return;
    }
    switch (s) {
    case Step::TxWaitDis:
    case Step::TxWaitDis2:
        if (code == fcf::CSI)
            report(FaxReport::CalledId, identReport(d, FaxReport::CalledId, decodeIdent(fif)));
        if (code == fcf::DIS) {
            remote_ = decodeDis(fif);
            trained_ = false;
            deadline_ = disDeadline_ = -1;
            const bool again = s == Step::TxWaitDis2;
            // After EOM the new DIS is news for the +FDT that comes (or waits) for it.
            disUnreported_ = again && !fdtWaiting_;
            if (!disUnreported_)
                report(FaxReport::RemoteDis, paramsReport(d, FaxReport::RemoteDis, remote_));
            step_ = again ? Step::TxWaitFet : Step::TxReady;
            if (!again) {
                finishCommand(true);
            } else if (fdtWaiting_) {
                step_ = Step::TxReady;
                startFdt();
            } else {
                step_ = Step::TxReady;
            }
            return;
        }
        if (!last || code != fcf::DIS)
            next();
        return;
    case Step::TxWaitCfr:
        if (code == fcf::CFR) {
            trained_ = true;
            report(FaxReport::Session, paramsReport(d, FaxReport::Session, session_));
            startPageData();
        } else if (code == fcf::FTT) {
            if (remote_.br == 0 || session_.br == 0) {
                endCall(HangupCode::TrainingFailed);
                return;
            }
            remote_.br = session_.br - 1;
            startTraining();
        } else if (code == (fcf::DIS & ~fcf::kX)) {
            startTraining();
        } else {
            next();
        }
        return;
    case Step::TxWaitPpr: {
        const std::uint8_t pp = *postPage_;
        int status = 0;
        if (code == fcf::MCF)
            status = 1;
        else if (code == fcf::RTN)
            status = 2;
        else if (code == fcf::RTP)
            status = 3;
        else if (code == fcf::PIN)
            status = 4;
        else if (code == fcf::PIP)
            status = 5;
        else {
            next();
            return;
        }
        info(valueReport(d, FaxReport::PageStatus, status));
        if (damage_)
            damage_->answered(code);
        if (status == 2 || status == 3)
            trained_ = false;
        if (pp == fcf::EOP && status != 2) {
            step_ = Step::SendDcn;
            sendFrames({frame(fcf::DCN | fcf::kX, {}, true)}, Step::Idle);
            step_ = Step::SendDcn;
            return;
        }
        if (pp == fcf::EOM && status != 2) {
            step_ = Step::TxWaitDis2;
            tries_ = 0;
            disDeadline_ = deadline_ = clock_ + samples(kDisWait);
            link_.command("+FRH=3");
        } else {
            step_ = Step::TxWaitFet;
        }
        finishCommand(true);
        return;
    }
    case Step::RxWaitDcs:
        if (code == fcf::TSI) {
            report(FaxReport::CallerId, identReport(d, FaxReport::CallerId, decodeIdent(fif)));
        } else if (code == fcf::DCS) {
            session_ = decodeDcs(fif);
            tcf_.clear();
            step_ = Step::RxTcf;
            deadline_ = -1;
            link_.command("+FRM=" + std::to_string(modulationOf(session_.br)));
            return;
        }
        next();
        return;
    case Step::RxWaitPostPage:
        if (code == fcf::MPS || code == fcf::EOM || code == fcf::EOP) {
            rxPostPage_ = code;
            deadline_ = -1;
            step_ = Step::RxWaitFdr;
            deliverRxData();
            return;
        }
        next();
        return;
    case Step::RxWaitDcn:
        next();
        return;
    case Step::Idle:
    case Step::Dialing:
    case Step::TxReady:
    case Step::TxSendDcs:
    case Step::TxTcfSilence:
    case Step::TxTcf:
    case Step::TxPageStart:
    case Step::TxPageData:
    case Step::TxPageEnd:
    case Step::TxWaitFet:
    case Step::TxPostPage:
    case Step::RxAnswering:
    case Step::RxSendDis:
    case Step::RxTcf:
    case Step::RxSendCfr:
    case Step::RxPage:
    case Step::RxWaitFdr:
    case Step::RxSendResponse:
    case Step::SendDcn:
        return; // no frames are expected here
    }
}

} // namespace vline
