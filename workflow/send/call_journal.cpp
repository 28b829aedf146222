#include "workflow/send/call_journal.h"

#include "faxengine/engine_errors.h"
#include "faxengine/fax_status.h"

#include <cstdio>

namespace workflow::send {

using faxengine::FaxStatus;

namespace {

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(' ');
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

} // namespace

std::string speedText(int bps) {
    std::string text = std::to_string(bps) + " bit/s";
    switch (bps) {
    case 14400:
    case 12000:
        return text + " (V.17)";
    case 4800:
    case 2400:
        return text + " (V.27 ter)";
    default:
        // 9600 and 7200 go over V.29 or V.17: the notices do not say which.
        return text;
    }
}

void CallJournal::begin(std::string number, Clock::time_point start) {
    *this = CallJournal();
    number_ = std::move(number);
    start_ = start;
}

void CallJournal::add(const std::string& text, Clock::time_point now) {
    if (text.empty() || text == last_)
        return;
    last_ = text;
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%lld:%02lld  ", static_cast<long long>(secs / 60),
                  static_cast<long long>(secs % 60));
    lines_.push_back(stamp + text);
}

void CallJournal::status(const faxengine::FaxProgress& p, Clock::time_point now) {
    // After an error the session only winds down; its last statuses say nothing new.
    if (failed_)
        return;
    const int code = p.faxStatus;
    const bool changed = code != lastStatus_;
    // The remote's identity and the agreed speed are told once, whichever status carries them.
    const std::string remote = trimmed(p.remoteId);
    if (!remoteShown_ && !remote.empty()) {
        add("Remote answered as \"" + remote + "\"", now);
        remoteShown_ = true;
    }
    if (!paramsShown_ && p.bps > 0 &&
        (code == static_cast<int>(FaxStatus::GettingParams) || code == static_cast<int>(FaxStatus::SendingPage))) {
        add(speedText(p.bps) + " agreed, " + (p.fine ? "fine" : "standard") + " resolution, error correction " +
                (p.ecm ? "on" : "off"),
            now);
        paramsShown_ = true;
    }
    if (p.pageCount > 0)
        pageCount_ = p.pageCount;
    switch (static_cast<FaxStatus>(code)) {
    case FaxStatus::Initializing:
        if (changed)
            add("Preparing the modem for the fax", now);
        break;
    case FaxStatus::Dialing:
        if (changed)
            add("Dialling " + number_ + (p.dialAttempt > 0 ? " (attempt " + std::to_string(p.dialAttempt + 1) + ")" : ""),
                now);
        break;
    case FaxStatus::BusyWait:
        if (changed)
            add("The line was busy or did not answer; waiting to dial again", now);
        break;
    case FaxStatus::Connecting:
        if (changed)
            add("Waiting for the remote fax to answer", now);
        break;
    case FaxStatus::GotRemoteId:
    case FaxStatus::GettingParams:
        break;
    case FaxStatus::SendingPage:
        if (changed) {
            // The page numbers of the notices run ahead of the data, so pages are counted here.
            const bool again = lastStatus_ == static_cast<int>(FaxStatus::PageError);
            // The next page only starts once the remote took the last one.
            if (!again && ended_)
                confirmPending(now);
            if (!again)
                ++page_;
            inFlight_ = true;
            ended_ = false;
            add("Sending page " + std::to_string(page_) + (pageCount_ > 0 ? " of " + std::to_string(pageCount_) : "") +
                    (again ? " again" : ""),
                now);
        }
        break;
    case FaxStatus::SendingEop:
        if (changed && inFlight_ && !ended_) {
            add("Page " + std::to_string(page_) + " sent; waiting for the remote to confirm it", now);
            ended_ = true;
        }
        break;
    case FaxStatus::PageError:
        if (changed) {
            ended_ = false;
            add("Page " + std::to_string(page_) + " was not received well; the remote asked for it again", now);
        }
        break;
    case FaxStatus::PageAccepted:
        confirmPending(now);
        break;
    case FaxStatus::UserAbort:
        if (changed)
            add("Cancelled: hanging up", now);
        break;
    case FaxStatus::GotFhng:
        if (changed)
            add("The modem reports that the call ended (code " + std::to_string(p.hangupCode) + ")", now);
        break;
    case FaxStatus::Finished:
    case FaxStatus::WaitingForCall:
    case FaxStatus::NoConnect:
    case FaxStatus::Answering:
    case FaxStatus::IncomingFax:
    case FaxStatus::GettingPage:
    case FaxStatus::GettingPageEnd:
    case FaxStatus::GettingDocEnd:
    case FaxStatus::GettingHangup:
        break;
    }
    lastStatus_ = code;
}

void CallJournal::confirmPending(Clock::time_point now) {
    if (!inFlight_)
        return;
    inFlight_ = false;
    ended_ = false;
    add("Page " + std::to_string(page_) + " sent and confirmed", now);
}

void CallJournal::error(int code, Clock::time_point now) {
    add("Error: " + faxengine::errorText(code), now);
    failed_ = true;
}

void CallJournal::finish(int code, Clock::time_point now) {
    if (code == 0) {
        confirmPending(now);
        add("Fax sent: the call is over", now);
    }
    else
        add("The fax was not sent: " + faxengine::errorText(code), now);
}

} // namespace workflow::send
