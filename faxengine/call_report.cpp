#include "faxengine/call_report.h"

#include "faxengine/port_trace.h"
#include "faxengine/t30_params.h"
#include "faxengine/dispatcher.h"
#include "faxengine/engine_errors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace faxengine {


// ---------------------------------------------------------------------------------------
// Reading the log

std::vector<PortChunk> chunksFromLog(const std::deque<LogRecord>& records) {
    std::vector<PortChunk> out;
    for (const auto& r : records) {
        if (r.type != LogType::Dispatch || r.bytes.empty())
            continue;
        if (r.subType == logsub::ReadCom)
            out.push_back({r.timeMs, 'R', r.bytes});
        else if (r.subType == logsub::WriteCom)
            out.push_back({r.timeMs, 'T', r.bytes});
    }
    return out;
}

namespace {

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// Data tokens of a dump line: printable characters as they are, others as [XX] (hex) or
// [n] (decimal).
void appendTokens(std::string_view s, bool hex, std::vector<std::uint8_t>& out) {
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '[') {
            const auto close = s.find(']', i);
            if (close != std::string_view::npos && close - i >= 2 && close - i <= 4) {
                const std::string_view body = s.substr(i + 1, close - i - 1);
                const bool allHex = std::all_of(body.begin(), body.end(),
                                                [](char h) { return std::isxdigit(static_cast<unsigned char>(h)); });
                if (allHex) {
                    const int base = hex ? 16 : 10;
                    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(body), nullptr, base)));
                    i = close + 1;
                    continue;
                }
            }
        }
        if (c != ' ' && c != '\r' && c != '\n')
            out.push_back(static_cast<std::uint8_t>(c));
        ++i;
    }
}

// A dump is in hex unless a token shows otherwise: decimal tokens of one or three digits
// (a call always has some: CR, LF, NUL or a byte above 99).
bool dumpIsHex(std::string_view dump) {
    for (std::size_t i = dump.find('['); i != std::string_view::npos; i = dump.find('[', i + 1)) {
        const auto close = dump.find(']', i);
        if (close == std::string_view::npos)
            break;
        const std::string_view body = dump.substr(i + 1, close - i - 1);
        if (body.empty() || body.size() > 3)
            continue;
        if (std::any_of(body.begin(), body.end(), [](char c) { return c >= 'A' && c <= 'F'; }))
            return true;
        if (std::all_of(body.begin(), body.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
            body.size() != 2)
            return false;
    }
    return true;
}

bool parseTime(std::string_view t, std::uint32_t& ms) {
    const auto dot = t.find('.');
    if (dot == std::string_view::npos || t.empty())
        return false;
    std::uint32_t v = 0;
    for (char c : t) {
        if (c == '.')
            continue;
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    ms = v;
    return true;
}

} // namespace

std::vector<PortChunk> chunksFromLogText(std::string_view dump) {
    std::vector<PortChunk> out;
    const bool hex = dumpIsHex(dump);
    bool inChunk = false;
    std::size_t pos = 0;
    while (pos < dump.size()) {
        auto end = dump.find('\n', pos);
        if (end == std::string_view::npos)
            end = dump.size();
        std::string_view line = dump.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.front() == ' ' && line.find_first_not_of(' ') >= 20) {
            // A continuation of the record above.
            if (inChunk)
                appendTokens(trimLeft(line), hex, out.back().bytes);
            continue;
        }
        inChunk = false;
        std::istringstream words{std::string(line)};
        std::string time, type, sub, data;
        if (!(words >> time >> type >> sub >> data))
            continue;
        std::uint32_t ms = 0;
        if (type != "Dispatch" || (sub != "ReadCom" && sub != "WriteCom") || !parseTime(time, ms))
            continue;
        // The bytes follow the data word.
        const auto dataAt = line.find(data, line.find(sub) + sub.size());
        PortChunk chunk{ms, sub == "ReadCom" ? 'R' : 'T', {}};
        appendTokens(trimLeft(line.substr(dataAt + data.size())), hex, chunk.bytes);
        out.push_back(std::move(chunk));
        inChunk = true;
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Causes

std::string_view to_string(CallCause c) {
    switch (c) {
    case CallCause::Sent: return "sent";
    case CallCause::Busy: return "busy";
    case CallCause::NoAnswer: return "no answer";
    case CallCause::NoDialTone: return "no dial tone";
    case CallCause::VoiceAnswered: return "voice answered";
    case CallCause::NoFaxAtOtherEnd: return "no fax at the other end";
    case CallCause::TrainingFailed: return "training failed";
    case CallCause::PageRejected: return "page rejected";
    case CallCause::HungUpMidPage: return "hung up during a page";
    case CallCause::ModemNotResponding: return "modem not responding";
    case CallCause::Timeout: return "time out";
    case CallCause::Cancelled: return "cancelled";
    case CallCause::Other: return "other";
    }
    return "other";
}

std::string_view causeExplanation(CallCause c) {
    switch (c) {
    case CallCause::Sent: return "The fax went through: every page was confirmed by the other side.";
    case CallCause::Busy: return "The number was busy.";
    case CallCause::NoAnswer: return "Nobody answered the call.";
    case CallCause::NoDialTone: return "The modem heard no dial tone, so it could not dial.";
    case CallCause::VoiceAnswered: return "A person or an answering machine took the call, not a fax machine.";
    case CallCause::NoFaxAtOtherEnd:
        return "The call was answered, but no fax machine answered with fax signals.";
    case CallCause::TrainingFailed:
        return "The two modems could not agree on a speed: every training check failed, down to the lowest speed.";
    case CallCause::PageRejected: return "The other fax received a page but reported it as unreadable.";
    case CallCause::HungUpMidPage: return "The connection ended while a page was being sent.";
    case CallCause::ModemNotResponding: return "The modem did not answer our commands as expected.";
    case CallCause::Timeout: return "The other side stopped answering during the call.";
    case CallCause::Cancelled: return "The call was cancelled.";
    case CallCause::Other: return "The call failed for a reason this report cannot tell from the log.";
    }
    return "";
}

std::string_view causeAdvice(CallCause c) {
    switch (c) {
    case CallCause::Sent: return "";
    case CallCause::Busy:
        return "Try again later, or raise the number of dial attempts and the wait between them.";
    case CallCause::NoAnswer:
    case CallCause::NoFaxAtOtherEnd:
        return "Check the number, and make a voice call to hear whether a fax machine answers with its tone.";
    case CallCause::NoDialTone:
        return "Check that the telephone cable is plugged into the modem's line socket; on a line with an "
               "unusual dial tone use Blind Dial.";
    case CallCause::VoiceAnswered: return "Check the number; ask the other side to switch their fax machine on.";
    case CallCause::TrainingFailed:
        return "The line may be noisy: try again, lower the Transfer Rate to 9600 or 7200, and keep other "
               "devices off the line.";
    case CallCause::PageRejected:
        return "Lower the Transfer Rate (7200 or 4800) so the pages survive a noisy line, and send again.";
    case CallCause::HungUpMidPage:
        return "The other fax or the line dropped the call: send again, with a lower Transfer Rate if it repeats.";
    case CallCause::ModemNotResponding:
        return "Check the port in the Preferences (Find Modem), and try Fax Class 1 without an init string.";
    case CallCause::Timeout: return "Try Fax Class 1 and a lower Transfer Rate, then send again.";
    case CallCause::Cancelled: return "";
    case CallCause::Other: return "See the problem solver's advice for other error messages.";
    }
    return "";
}

int causeTopic(CallCause c, bool sending) {
    switch (c) {
    case CallCause::Sent:
    case CallCause::Cancelled: return 255;
    case CallCause::Busy: return 200;
    case CallCause::NoAnswer:
    case CallCause::NoFaxAtOtherEnd:
    case CallCause::VoiceAnswered: return 2;
    case CallCause::NoDialTone: return 4;
    case CallCause::TrainingFailed: return 21;
    case CallCause::PageRejected: return 22;
    case CallCause::HungUpMidPage: return 23;
    case CallCause::ModemNotResponding: return sending ? 0 : 19;
    case CallCause::Timeout: return sending ? 1 : 18;
    case CallCause::Other: return 20;
    }
    return 255;
}

// ---------------------------------------------------------------------------------------
// The analysis

namespace {

std::string upperText(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

std::string frameName(std::uint8_t f) {
    using namespace t30::fcf;
    struct Name {
        std::uint8_t code;
        const char* text;
    };
    static constexpr Name names[] = {{DIS, "DIS"}, {CSI, "CSI"}, {NSF, "NSF"}, {TSI, "TSI"}, {DCS, "DCS"},
                                     {CFR, "CFR"}, {FTT, "FTT"}, {MPS, "MPS"}, {EOM, "EOM"}, {EOP, "EOP"},
                                     {MCF, "MCF"}, {RTN, "RTN"}, {RTP, "RTP"}, {PIP, "PIP"}, {PIN, "PIN"},
                                     {DCN, "DCN"}, {CRP, "CRP"}};
    // DTC and CIG differ from DIS and CSI only by the X bit.
    if (f == DTC)
        return "DTC";
    if (f == CIG)
        return "CIG";
    for (const auto& n : names)
        if (is(f, n.code))
            return n.text;
    char buf[16];
    std::snprintf(buf, sizeof buf, "frame %02X", f);
    return buf;
}

int bpsFromCarrierCode(std::string_view code) {
    static constexpr std::pair<std::string_view, int> codes[] = {
        {"24", 2400}, {"48", 4800}, {"72", 7200}, {"73", 7200}, {"74", 7200}, {"96", 9600}, {"97", 9600},
        {"98", 9600}, {"121", 12000}, {"122", 12000}, {"145", 14400}, {"146", 14400}};
    for (const auto& [c, bps] : codes)
        if (c == code)
            return bps;
    return 0;
}

std::string resolutionText(bool fine) { return fine ? "fine" : "standard"; }

class Analyser {
public:
    explicit Analyser(CallReport& r) : r_(r) {}

    void feed(const PortChunk& c) {
        now_ = c.timeMs;
        for (auto b : c.bytes) {
            if (c.direction == 'T')
                fromUs(b);
            else
                fromModem(b);
        }
    }

    void finish() {
        // A page whose data was cut off by the end of the call still counts as started.
        if (txMode_ == Block::Data && !block_.empty() && !training_)
            pageData(LadderSide::Us, blockStart_, true);
        if (rxMode_ == Block::Data && !rxBlock_.empty() && !incomingTrainingPending_)
            pageData(LadderSide::Remote, rxBlockStart_, true);
    }

    bool sawBusy = false, sawNoDialTone = false, sawNoAnswer = false, sawVoice = false,
         sawNoCarrier = false, remoteSpoke = false, modemSpoke = false, pageInFlight = false,
         trainingPending = false, lastAnswerRejected = false;

private:
    enum class Block { None, Frame, Data };

    void step(LadderSide from, std::string text) { r_.steps.push_back({now_, from, std::move(text)}); }

    // ---- bytes we wrote ----
    void fromUs(std::uint8_t b) {
        if (txMode_ != Block::None) {
            if (blockByte(b, block_, txEscape_)) {
                const Block kind = txMode_;
                txMode_ = Block::None;
                if (kind == Block::Frame)
                    frame(LadderSide::Us, block_);
                else if (training_)
                    trainingCheck(LadderSide::Us, blockStart_);
                else
                    pageData(LadderSide::Us, blockStart_, false);
                block_.clear();
            }
            return;
        }
        if (b == '\r' || b == '\n') {
            if (!txLine_.empty())
                command(upperText(txLine_));
            txLine_.clear();
        } else {
            txLine_.push_back(static_cast<char>(b));
        }
    }

    // ---- bytes the modem sent ----
    void fromModem(std::uint8_t b) {
        modemSpoke = true;
        // Before a frame starts the modem may still answer in words (NO CARRIER, ERROR).
        const bool beforeFrame = rxMode_ == Block::Frame && rxBlock_.empty() && b != t30::kHdlcAddress;
        if (rxMode_ != Block::None && !beforeFrame) {
            if (blockByte(b, rxBlock_, rxEscape_)) {
                if (rxMode_ == Block::Frame)
                    frame(LadderSide::Remote, rxBlock_);
                else {
                    pageData(LadderSide::Remote, rxBlockStart_, false);
                    carrierEndDue_ = true;
                }
                rxMode_ = Block::None;
                rxBlock_.clear();
            }
            return;
        }
        if (b == '\r' || b == '\n') {
            if (!rxLine_.empty())
                response(upperText(rxLine_));
            rxLine_.clear();
        } else {
            rxLine_.push_back(static_cast<char>(b));
        }
    }

    // Collects a DLE-stuffed block; true at its DLE ETX.
    static bool blockByte(std::uint8_t b, std::vector<std::uint8_t>& block, bool& escape) {
        if (escape) {
            escape = false;
            if (b == t30::kETX)
                return true;
            if (b == t30::kDLE)
                block.push_back(b);
            return false;
        }
        if (b == t30::kDLE) {
            escape = true;
            return false;
        }
        block.push_back(b);
        return false;
    }

    void command(const std::string& cmd) {
        if (!startsWith(cmd, "AT"))
            return;
        lastCommand_ = cmd;
        if (startsWith(cmd, "ATD")) {
            std::string number = cmd.substr(3);
            if (!number.empty() && (number[0] == 'T' || number[0] == 'P'))
                number.erase(0, 1);
            step(LadderSide::Us, "dial " + number);
        } else if (cmd == "ATH" || cmd == "ATH0") {
            step(LadderSide::Us, "hang up");
        } else if (startsWith(cmd, "AT+FTM=")) {
            carrierBps_ = bpsFromCarrierCode(cmd.substr(7));
        } else if (startsWith(cmd, "AT+FET=")) {
            static const char* const ends[] = {"MPS", "EOM", "EOP"};
            const int n = cmd.size() > 7 ? cmd[7] - '0' : -1;
            if (n >= 0 && n <= 2)
                step(LadderSide::Us, std::string(ends[n]) + " (page end)");
        }
    }

    void response(const std::string& line) {
        if (startsWith(line, "AT"))
            return; // echo
        if (line == "CONNECT") {
            // An answering modem starts by sending its frames; a calling one by hearing them.
            if (startsWith(lastCommand_, "AT+FTH") || (startsWith(lastCommand_, "ATA") && !isClass2()))
                txMode_ = Block::Frame;
            else if (startsWith(lastCommand_, "AT+FTM") || startsWith(lastCommand_, "AT+FDT"))
                txMode_ = Block::Data;
            else if (startsWith(lastCommand_, "AT+FRH") || startsWith(lastCommand_, "ATD"))
                rxMode_ = isClass2() ? Block::None : Block::Frame;
            else if (startsWith(lastCommand_, "AT+FRM") || startsWith(lastCommand_, "AT+FDR")) {
                rxMode_ = Block::Data;
                rxBlock_.clear();
                rxBlockStart_ = now_;
                if (startsWith(lastCommand_, "AT+FRM"))
                    carrierBps_ = bpsFromCarrierCode(lastCommand_.substr(7));
            }
            if (txMode_ == Block::Data) {
                block_.clear();
                blockStart_ = now_;
                if (trainingPending) {
                    training_ = true;
                } else {
                    training_ = false;
                    pageInFlight = true;
                }
            }
            return;
        }
        rxMode_ = Block::None; // a word from the modem ends any frame it was to deliver
        // Received data ends with the carrier: that NO CARRIER is no news.
        const bool expectedEnd = carrierEndDue_ && line == "NO CARRIER";
        carrierEndDue_ = false;
        if (line == "OK" || line == "RING" || expectedEnd)
            return;
        if (line == "BUSY") {
            sawBusy = true;
        } else if (line == "NO DIALTONE" || line == "NO DIAL TONE") {
            sawNoDialTone = true;
        } else if (line == "NO ANSWER") {
            sawNoAnswer = true;
        } else if (line == "VOICE") {
            sawVoice = true;
        } else if (line == "NO CARRIER") {
            sawNoCarrier = true;
        } else if (line[0] == '+') {
            class2Report(line);
            return;
        }
        // The answer to a question (AT+FTM=?) says little without the question.
        if (!lastCommand_.empty() && lastCommand_.back() == '?')
            step(LadderSide::Modem, lastCommand_ + ": " + line);
        else
            step(LadderSide::Modem, line);
    }

    bool isClass2() const { return class2_; }

    void class2Report(const std::string& line) {
        class2_ = true;
        const auto colon = line.find(':');
        const std::string tag = line.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        if (tag == "+FCON") {
            remoteSpoke = true;
            step(LadderSide::Remote, "fax answered");
        } else if (tag == "+FCSI" || tag == "+FCI") {
            remoteSpoke = true;
            r_.remoteId = trimQuotes(value);
            step(LadderSide::Remote, "CSI \"" + r_.remoteId + "\"");
        } else if (tag == "+FDIS" || tag == "+FIS") {
            remoteSpoke = true;
            step(LadderSide::Remote, "DIS (capabilities " + value + ")");
        } else if (tag == "+FDCS" || tag == "+FCS") {
            int vr = 0, br = 0;
            if (std::sscanf(value.c_str(), "%d,%d", &vr, &br) == 2) {
                r_.fine = vr != 0;
                r_.bps = 2400 * (std::clamp(br, 0, 5) + 1);
                r_.paramsKnown = true;
                step(LadderSide::Us, "DCS " + std::to_string(r_.bps) + " bit/s, " + resolutionText(r_.fine));
            }
        } else if (tag == "+FPTS" || tag == "+FPS") {
            const int code = std::atoi(value.c_str());
            static const char* const names[] = {"", "MCF", "RTN", "RTP", "PIP", "PIN"};
            step(LadderSide::Remote, code >= 1 && code <= 5 ? names[code] : line);
            pageAnswer(code == 1 ? t30::fcf::MCF : code == 2 ? t30::fcf::RTN : code == 3 ? t30::fcf::RTP : 0);
        } else if (tag == "+FHNG" || tag == "+FHS") {
            hangupCode_ = std::atoi(value.c_str());
            step(LadderSide::Modem, "hang-up code " + value);
        } else {
            step(LadderSide::Modem, line);
        }
    }

    static std::string trimQuotes(std::string s) {
        const auto a = s.find_first_not_of(" \"");
        const auto b = s.find_last_not_of(" \"");
        return a == std::string::npos ? "" : s.substr(a, b - a + 1);
    }

    void frame(LadderSide from, const std::vector<std::uint8_t>& f) {
        if (f.size() < 3)
            return;
        const std::uint8_t fcf = f[2];
        const std::uint8_t* fif = f.data() + 3;
        const std::size_t fifLen = f.size() - 3;
        if (from == LadderSide::Remote)
            remoteSpoke = true;
        std::string text = frameName(fcf);
        using namespace t30::fcf;
        if ((is(fcf, CSI) || is(fcf, TSI)) && fifLen > 0) {
            const std::string id = trimQuotes(idFromFif(fif, std::min<std::size_t>(fifLen, 20)));
            text += " \"" + id + "\"";
            if (from == LadderSide::Remote)
                r_.remoteId = id;
        } else if ((fcf == DIS || fcf == DTC) && fifLen > 1) {
            const auto offered = disRemoteSupport(fif[1]);
            int best = 0;
            for (int i = 1; i < 7; ++i)
                if (offered[static_cast<std::size_t>(i)])
                    best = kModulationBps[static_cast<std::size_t>(i)];
            text += " (up to " + std::to_string(best) + " bit/s" + ((fif[1] & 0x40) ? ", fine" : "") + ")";
        } else if (is(fcf, DCS) && fifLen > 1) {
            r_.bps = kModulationBps[static_cast<std::size_t>(std::clamp(dcsModulation(fif[1]), 0, 6))];
            r_.fine = (fif[1] & 0x40) != 0;
            r_.paramsKnown = true;
            text += " " + std::to_string(r_.bps) + " bit/s, " + resolutionText(r_.fine);
            if (from == LadderSide::Us)
                trainingPending = true;
            else
                incomingTrainingPending_ = true;
        } else if (is(fcf, CFR)) {
            trainingPending = false;
            incomingTrainingPending_ = false;
            text += " (training good)";
        } else if (is(fcf, FTT)) {
            ++r_.trainingFailures;
            text += " (training failed)";
        } else if (is(fcf, MCF) || is(fcf, RTN) || is(fcf, RTP)) {
            pageAnswer(static_cast<std::uint8_t>(fcf & ~kX));
            if (is(fcf, RTN))
                text += " (page bad, retrain)";
            else if (is(fcf, RTP))
                text += " (page good, retrain)";
            else
                text += " (page good)";
        }
        step(from, text);
    }

    // Page data and training checks are shown at the time they began.
    void trainingCheck(LadderSide from, std::uint32_t start) {
        r_.steps.push_back({start, from, "training check at " + std::to_string(carrierBps_) + " bit/s"});
        training_ = false;
    }

    // Page data that went out (`from` Us) or came in (Remote): a new page, or the same one
    // again after the receiver asked for it once more.
    void pageData(LadderSide from, std::uint32_t start, bool cutOff) {
        if (from == LadderSide::Remote && incomingTrainingPending_) {
            trainingCheck(from, start);
            return;
        }
        PageOutcome* page = nullptr;
        if (!r_.pages.empty() && resendSamePage_)
            page = &r_.pages.back();
        if (!page) {
            r_.pages.push_back({});
            page = &r_.pages.back();
            page->page = static_cast<int>(r_.pages.size());
        }
        resendSamePage_ = false;
        ++page->sends;
        pageInFlight = true;
        std::string text = "page " + std::to_string(page->page) + " data";
        if (const int bps = carrierBps_ ? carrierBps_ : r_.bps)
            text += " at " + std::to_string(bps) + " bit/s";
        if (cutOff)
            text += " (cut off)";
        r_.steps.push_back({start, from, text});
    }

    void pageAnswer(std::uint8_t code) {
        if (code == 0 || r_.pages.empty())
            return;
        PageOutcome& page = r_.pages.back();
        pageInFlight = false;
        lastAnswerRejected = false;
        if (code == t30::fcf::MCF) {
            page.confirmed = true;
            page.rejected = false;
        } else if (code == t30::fcf::RTP) {
            page.confirmed = true;
            page.rejected = false;
            page.retrained = true;
        } else if (code == t30::fcf::RTN) {
            page.rejected = true;
            page.retrained = true;
            lastAnswerRejected = true;
            resendSamePage_ = true;
        }
    }

    CallReport& r_;
    std::uint32_t now_ = 0;
    std::uint32_t blockStart_ = 0;
    std::uint32_t rxBlockStart_ = 0;
    bool carrierEndDue_ = false;
    bool incomingTrainingPending_ = false; // a DCS came in: the next data is its training check
    std::string txLine_, rxLine_, lastCommand_;
    Block txMode_ = Block::None, rxMode_ = Block::None;
    std::vector<std::uint8_t> block_, rxBlock_;
    bool txEscape_ = false, rxEscape_ = false;
    bool training_ = false;
    bool resendSamePage_ = false;
    bool class2_ = false;
    int carrierBps_ = 0;
    int hangupCode_ = 0;
};

} // namespace

CallReport analyseCall(const std::vector<PortChunk>& chunks, int finishCode) {
    CallReport r;
    r.finishCode = finishCode;
    Analyser a(r);
    for (const auto& c : chunks)
        a.feed(c);
    a.finish();
    std::stable_sort(r.steps.begin(), r.steps.end(),
                     [](const LadderStep& x, const LadderStep& y) { return x.timeMs < y.timeMs; });

    // The first matching cause wins: what the modem said outright, then how far the
    // call got, then the engine's code.
    CallCause cause = CallCause::Other;
    if (finishCode == 0)
        cause = CallCause::Sent;
    else if (finishCode == ec::CancelRequested)
        cause = CallCause::Cancelled;
    else if (a.sawBusy || finishCode == ec::FaxBusy)
        cause = CallCause::Busy;
    else if (a.sawNoDialTone || finishCode == ec::FaxNoDialTone)
        cause = CallCause::NoDialTone;
    else if (a.sawVoice || finishCode == ec::FaxVoiceCall)
        cause = CallCause::VoiceAnswered;
    else if (a.pageInFlight)
        cause = CallCause::HungUpMidPage;
    else if (a.lastAnswerRejected || finishCode == ec::FaxPageError)
        cause = CallCause::PageRejected;
    else if (r.trainingFailures > 0 && (a.trainingPending || finishCode == ec::FaxTrainError))
        cause = CallCause::TrainingFailed;
    else if (finishCode == ec::FaxTrainError)
        cause = CallCause::TrainingFailed;
    else if (a.sawNoAnswer || finishCode == ec::FaxNoAnswer)
        cause = CallCause::NoAnswer;
    else if (!a.remoteSpoke && (a.sawNoCarrier || finishCode == ec::FaxNoCarrier))
        cause = CallCause::NoFaxAtOtherEnd;
    else if (!a.modemSpoke || finishCode == ec::FaxBadModemResult || finishCode == ec::FaxInitError)
        cause = CallCause::ModemNotResponding;
    else if (finishCode == ec::TimeOut)
        cause = CallCause::Timeout;
    r.cause = cause;
    return r;
}

std::string formatCallReport(const CallReport& r) {
    std::string out;
    out += "Result: " + std::string(causeExplanation(r.cause)) + "\n";
    if (r.finishCode != 0) {
        std::string text = errorText(r.finishCode);
        out += "Engine code: " + std::to_string(r.finishCode) + (text.empty() ? "" : " (" + text + ")") + "\n";
    }
    if (const auto advice = causeAdvice(r.cause); !advice.empty())
        out += "What to try: " + std::string(advice) + "\n";
    if (r.paramsKnown)
        out += "Agreed: " + std::to_string(r.bps) + " bit/s, " + resolutionText(r.fine) + " resolution\n";
    if (!r.remoteId.empty())
        out += "Remote station: " + r.remoteId + "\n";
    if (r.trainingFailures > 0)
        out += "Failed training checks: " + std::to_string(r.trainingFailures) + "\n";
    for (const auto& p : r.pages) {
        out += "Page " + std::to_string(p.page) + ": sent";
        if (p.sends > 1)
            out += " " + std::to_string(p.sends) + " times";
        out += p.confirmed ? ", confirmed" : p.rejected ? ", rejected" : ", not confirmed";
        if (p.retrained)
            out += ", retrained";
        out += "\n";
    }
    out += "\n";
    for (const auto& s : r.steps) {
        char time[16];
        std::snprintf(time, sizeof time, "%4u.%01u s", s.timeMs / 1000, (s.timeMs % 1000) / 100);
        std::string line = time;
        switch (s.from) {
        case LadderSide::Us: line += "  us     --> " + s.text; break;
        case LadderSide::Remote: line += "  remote <-- " + s.text; break;
        case LadderSide::Modem: line += "  modem  : " + s.text; break;
        }
        out += line + "\n";
    }
    return out;
}

std::filesystem::path callReportPath(const std::filesystem::path& logDir, std::string_view recordName) {
    return logDir / (std::string(recordName) + ".call");
}

namespace {
constexpr std::string_view kHeading = "Parvane call report\n";
constexpr std::string_view kCallSection = "[call]\n";
} // namespace

int writeCallReportFile(const std::filesystem::path& file, int finishCode, const std::string& logDump) {
    const CallReport r = analyseCall(chunksFromLogText(logDump), finishCode);
    std::string text(kHeading);
    text += formatCallReport(r);
    text += "\n";
    text += kCallSection;
    text += "finish=" + std::to_string(finishCode) + "\n";
    text += logDump;
    // Written beside, then moved over, so a reader never sees half a report.
    const auto temp = std::filesystem::path(file).concat(".part");
    if (const int rc = writeTextFile(temp, text, false); rc != 0)
        return rc;
    std::error_code err;
    std::filesystem::rename(temp, file, err);
    if (err) {
        std::filesystem::remove(temp, err);
        return -EIO;
    }
    return 0;
}

std::optional<CallReport> readCallReportFile(const std::filesystem::path& file, std::optional<int> finishCode) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream buf;
    buf << in.rdbuf();
    const std::string text = buf.str();
    int finish = 0;
    std::string_view log = text;
    if (const auto at = text.find(kCallSection); at != std::string::npos) {
        log = std::string_view(text).substr(at + kCallSection.size());
        if (startsWith(log, "finish=")) {
            finish = std::atoi(std::string(log.substr(7, 12)).c_str());
            const auto nl = log.find('\n');
            log = nl == std::string_view::npos ? std::string_view{} : log.substr(nl + 1);
        }
    }
    return analyseCall(chunksFromLogText(log), finishCode.value_or(finish));
}

int writeCallReportFile(const std::filesystem::path& file, int finishCode, TVelkBaseDispatcher& logging) {
    if (!logging.Logging())
        return ec::LoggingNotEnabled;
    const auto dump = std::filesystem::path(file).concat(".log");
    int rc = logging.DumpLog(dump, false, true);
    if (rc == 0) {
        std::ifstream in(dump, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        in.close();
        rc = writeCallReportFile(file, finishCode, text.str());
    }
    std::error_code err;
    std::filesystem::remove(dump, err);
    return rc;
}

} // namespace faxengine
