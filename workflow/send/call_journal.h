// The progress of one call in plain words, one line per step the call reached ("Dialling
// 200", "Remote answered as "+1 555 0200"", "14400 bit/s (V.17) agreed", "Page 1 sent and
// confirmed", ...), each with the time since the attempt began. A failed call then shows
// how far it got. Fed with the sender's status snapshots; repeated statuses add nothing.
#pragma once

#include "faxengine/fax_notice.h"

#include <chrono>
#include <string>
#include <vector>

namespace workflow::send {

class CallJournal {
public:
    using Clock = std::chrono::steady_clock;

    // Forgets the last attempt; times count from `start`.
    void begin(std::string number, Clock::time_point start = Clock::now());
    // A status notice of the sender.
    void status(const faxengine::FaxProgress& p, Clock::time_point now = Clock::now());
    // An error notice.
    void error(int code, Clock::time_point now = Clock::now());
    // The attempt's end: 0 for success, else the finish code.
    void finish(int code, Clock::time_point now = Clock::now());

    // "m:ss  text" lines, oldest first.
    const std::vector<std::string>& lines() const { return lines_; }
    bool empty() const { return lines_.empty(); }

private:
    void add(const std::string& text, Clock::time_point now);
    void confirmPending(Clock::time_point now);

    std::string number_;
    Clock::time_point start_{};
    std::vector<std::string> lines_;
    std::string last_;
    int lastStatus_ = 0;
    int page_ = 0;
    int pageCount_ = 0;
    bool inFlight_ = false; // a page started and not yet confirmed
    bool ended_ = false;    // its end was signalled
    bool failed_ = false;
    bool paramsShown_ = false;
    bool remoteShown_ = false;
};

// "14400 bit/s (V.17)"; the modulation only where the speed leaves no doubt.
std::string speedText(int bps);

} // namespace workflow::send
