// The Class 2 modem's program side: its commands, reports, page data in both directions
// and the network's events. The T.30 procedure is in class2_procedure.cpp.
#include "class2_modem.h"

#include "call_log.h"
#include "class2_at_parser.h"
#include "pty_port.h"
#include "base/t30_codes.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace vline {

namespace {
// A command's number: 0 when empty, -1 when it is no number or out of range.
int number(std::string_view text) {
    if (text.empty())
        return 0;
    int v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc{} && end == text.data() + text.size() && v >= 0 && v <= 255 ? v : -1;
}

} // namespace

std::string_view to_string(FaxClass c) {
    switch (c) {
    case FaxClass::Data:
        return "0";
    case FaxClass::Class1:
        return "1";
    case FaxClass::Class2:
        return "2";
    case FaxClass::Class20:
        return "2.0";
    }
    return "?";
}

std::optional<FaxClass> faxClassFromString(std::string_view s) {
    if (s == "0")
        return FaxClass::Data;
    if (s == "1" || s == "1.0")
        return FaxClass::Class1;
    if (s == "2")
        return FaxClass::Class2;
    if (s == "2.0" || s == "2.1")
        return FaxClass::Class20;
    return std::nullopt;
}

std::string_view ClassTwoModem::stepName(Step s) {
    switch (s) {
    case Step::Idle:
        return "Idle";
    case Step::Dialing:
        return "Dialing";
    case Step::TxWaitDis:
        return "TxWaitDis";
    case Step::TxReady:
        return "TxReady";
    case Step::TxSendDcs:
        return "TxSendDcs";
    case Step::TxTcfSilence:
        return "TxTcfSilence";
    case Step::TxTcf:
        return "TxTcf";
    case Step::TxWaitCfr:
        return "TxWaitCfr";
    case Step::TxPageStart:
        return "TxPageStart";
    case Step::TxPageData:
        return "TxPageData";
    case Step::TxPageEnd:
        return "TxPageEnd";
    case Step::TxWaitFet:
        return "TxWaitFet";
    case Step::TxPostPage:
        return "TxPostPage";
    case Step::TxWaitPpr:
        return "TxWaitPpr";
    case Step::TxWaitDis2:
        return "TxWaitDis2";
    case Step::RxAnswering:
        return "RxAnswering";
    case Step::RxSendDis:
        return "RxSendDis";
    case Step::RxWaitDcs:
        return "RxWaitDcs";
    case Step::RxTcf:
        return "RxTcf";
    case Step::RxSendCfr:
        return "RxSendCfr";
    case Step::RxPage:
        return "RxPage";
    case Step::RxWaitPostPage:
        return "RxWaitPostPage";
    case Step::RxWaitFdr:
        return "RxWaitFdr";
    case Step::RxSendResponse:
        return "RxSendResponse";
    case Step::RxWaitDcn:
        return "RxWaitDcn";
    case Step::SendDcn:
        return "SendDcn";
    }
    return "?";
}

ClassTwoModem::ClassTwoModem(std::string number, PtyPort& port)
    : number_(std::move(number)),
      port_(port), classes_{FaxClass::Data, FaxClass::Class1, FaxClass::Class2, FaxClass::Class20} {
    reset(false);
}

ClassTwoModem::~ClassTwoModem() = default;

void ClassTwoModem::setClasses(std::vector<FaxClass> classes) {
    classes_ = std::move(classes);
}

bool ClassTwoModem::offers(FaxClass c) const {
    return std::find(classes_.begin(), classes_.end(), c) != classes_.end();
}

std::string ClassTwoModem::classList(const std::vector<FaxClass>& classes) {
    std::string s;
    for (FaxClass c : classes)
        s += (s.empty() ? "" : ",") + std::string(to_string(c));
    return s;
}

void ClassTwoModem::reset(bool keepProfile) {
    if (inCall())
        hangup();
    link_.reset();
    if (!keepProfile) {
        fclass_ = FaxClass::Data;
        echo_ = verbose_ = true;
        quiet_ = false;
        s0_ = 0;
        s7_ = 50;
        local_ = SessionParams{1, 3, 0, 2, 0, 0, 0, 0}; // fine, 9600, A4 wide, any length, MH
        caps_ = local_;
        lid_.clear();
        fcr_ = 1;
        faa_ = 0;
        flo_ = 1;
        fbor_ = 0;
        fptsSet_ = 1;
        fnr_ = "0,0,0,0";
    }
    line_.clear();
    pending_ = Pending::None;
    dteData_ = dteDle_ = rxToDte_ = waitDc2_ = false;
    step_ = Step::Idle;
    framesToSend_.clear();
    rings_ = 0;
    handover_.reset();
}

void ClassTwoModem::log(const std::string& text) {
    if (log_)
        log_->line(number_, text);
}

void ClassTwoModem::write(std::string_view s) {
    port_.write(s);
}

void ClassTwoModem::writeBytes(std::span<const std::uint8_t> b) {
    port_.write(b);
}

void ClassTwoModem::info(const std::string& text) {
    log("-> " + text);
    write(verbose_ ? "\r\n" + text + "\r\n" : text + "\r\n");
}

void ClassTwoModem::report(FaxReport r, const std::string& text) {
    // Class 2.0 gives the negotiation reports only when +FNR asks for them
    // (receiver parameters, transmitter parameters, identifiers); Class 2 always.
    if (dialect() == FaxDialect::Class20) {
        int fields[4] = {0, 0, 0, 0};
        std::stringstream list(fnr_);
        std::string item;
        for (int i = 0; i < 4 && std::getline(list, item, ','); ++i)
            fields[i] = number(item) > 0;
        const bool wanted = r == FaxReport::RemoteDis                              ? fields[0]
                            : r == FaxReport::Session                              ? fields[1]
                            : r == FaxReport::CalledId || r == FaxReport::CallerId ? fields[2]
                                                                                   : true;
        if (!wanted) {
            log("(not reported) " + text);
            return;
        }
    }
    info(text);
}

void ClassTwoModem::result(std::string_view code) {
    if (quiet_)
        return;
    log("-> " + std::string(code));
    if (verbose_) {
        write("\r\n" + std::string(code) + "\r\n");
        return;
    }
    static constexpr std::pair<std::string_view, std::string_view> kCodes[] = {
        {"OK", "0"},    {"CONNECT", "1"},     {"RING", "2"}, {"NO CARRIER", "3"},
        {"ERROR", "4"}, {"NO DIALTONE", "6"}, {"BUSY", "7"}, {"NO ANSWER", "8"}};
    for (const auto& [text, num] : kCodes)
        if (text == code) {
            write(std::string(num) + "\r");
            return;
        }
    write(std::string(code) + "\r");
}

std::vector<ModemAction> ClassTwoModem::takeActions() {
    std::vector<ModemAction> out;
    out.swap(actions_);
    return out;
}

std::optional<std::string> ClassTwoModem::takeHandover() {
    auto h = std::move(handover_);
    handover_.reset();
    return h;
}

bool ClassTwoModem::wantsClassTwo(const std::string& line) {
    auto body = stripAt(line);
    if (!body)
        return false;
    auto cmds = parseAtLine(*body);
    if (!cmds)
        return false;
    for (const auto& c : *cmds)
        if (c.name == "+FCLASS" &&
            (c.op == AtOp::Test || (c.op == AtOp::Set && c.value.size() > 0 && c.value[0] == '2')))
            return true;
    return false;
}

void ClassTwoModem::observeLine(const std::string& line) {
    auto body = stripAt(line);
    if (!body)
        return;
    auto cmds = parseAtLine(*body);
    if (!cmds)
        return;
    for (const auto& c : *cmds) {
        const int v = number(c.value);
        if (c.name == "E")
            echo_ = v != 0;
        else if (c.name == "V")
            verbose_ = v != 0;
        else if (c.name == "Q")
            quiet_ = v != 0;
        else if (c.name == "Z" || c.name == "&F")
            reset(false);
        else if (c.name == "S" && c.op == AtOp::Set && c.value == "0" && number(c.arg) >= 0)
            s0_ = number(c.arg);
        else if (c.name == "S" && c.op == AtOp::Set && c.value == "7" && number(c.arg) >= 0)
            s7_ = number(c.arg);
        else if (c.name == "+FCLASS" && c.op == AtOp::Set)
            if (auto fc = faxClassFromString(c.value))
                fclass_ = *fc;
    }
}

void ClassTwoModem::executeLine(const std::string& line) {
    log("<- " + line);
    if (echo_)
        write(line + "\r");
    auto body = stripAt(line);
    if (!body) {
        result("ERROR");
        return;
    }
    auto cmds = parseAtLine(*body);
    if (!cmds) {
        result("ERROR");
        return;
    }
    execute(*cmds, line);
}

void ClassTwoModem::execute(const std::vector<AtCommand>& cmds, const std::string& line) {
    // A line that goes back to Class 0/1 or resets the modem is the Class 1 modem's.
    for (const auto& c : cmds) {
        const bool leaves = c.name == "Z" || c.name == "&F" ||
                            (c.name == "+FCLASS" && c.op == AtOp::Set &&
                             (c.value == "0" || c.value == "1" || c.value == "1.0"));
        if (leaves && active() && step_ == Step::Idle) {
            observeLine(line);
            handover_ = line;
            return;
        }
    }
    for (const auto& c : cmds) {
        if (!executeOne(c)) {
            result("ERROR");
            return;
        }
        if (pending_ != Pending::None)
            return;
    }
    result("OK");
}

bool ClassTwoModem::executeOne(const AtCommand& c) {
    const FaxDialect d = dialect();
    const bool two = d == FaxDialect::Class2;
    const std::string& n = c.name;
    const int v = number(c.value);
    // Each command set has its own names (+FDIS in Class 2, +FIS in Class 2.0).
    auto is = [&](std::string_view c2, std::string_view c20) { return n == (two ? c2 : c20); };

    if (!c.extended) {
        if (n == "E")
            echo_ = v != 0;
        else if (n == "V")
            verbose_ = v != 0;
        else if (n == "Q")
            quiet_ = v != 0;
        else if (n == "S") {
            const int reg = number(c.value);
            int* r = reg == 0 ? &s0_ : reg == 7 ? &s7_ : nullptr;
            if (c.op == AtOp::Query)
                info(std::to_string(r ? *r : 0));
            else if (c.op == AtOp::Set && r) {
                if (number(c.arg) < 0)
                    return false;
                *r = number(c.arg);
            }
        } else if (n == "H") {
            if (inCall())
                hangup();
        } else if (n == "D") {
            if (inCall())
                return false;
            step_ = Step::Dialing;
            pending_ = Pending::Dial;
            reportedConnect_ = false;
            actions_.push_back({ModemRequest::Dial, c.arg});
        } else if (n == "A") {
            if (step_ != Step::Idle)
                return false;
            pending_ = Pending::Answer;
            step_ = Step::RxAnswering;
            actions_.push_back({ModemRequest::Answer, {}});
        } else if (n == "I") {
            info("Parvane virtual fax modem");
        }
        // Other basic commands (L, M, X, &C, &D, ...) change nothing on this line.
        return true;
    }

    if (n == "+FCLASS") {
        if (c.op == AtOp::Test)
            info(classList(classes_));
        else if (c.op == AtOp::Query)
            info(std::string(to_string(fclass_)));
        else {
            auto fc = faxClassFromString(c.value);
            if (!fc || !offers(*fc))
                return false;
            fclass_ = *fc;
        }
        return true;
    }
    if (!active())
        return false;
    auto params = [&](SessionParams& p) {
        if (c.op == AtOp::Test) {
            info(two ? "(0,1),(0-3),(0-2),(0-2),(0,1),(0),(0),(0-7)"
                     : "(0,1),(0-3),(0-2),(0-2),(0,1),(0),(0),(0-7),(0)");
        } else if (c.op == AtOp::Query) {
            info(formatParams(p));
        } else {
            auto np = parseParams(c.value, p);
            if (!np)
                return false;
            p = *np;
        }
        return true;
    };
    auto intParam = [&](int& p, int max) {
        if (c.op == AtOp::Test)
            info("(0-" + std::to_string(max) + ")");
        else if (c.op == AtOp::Query)
            info(std::to_string(p));
        else {
            if (v < 0 || v > max)
                return false;
            p = v;
        }
        return true;
    };
    if (is("+FDCC", "+FCC")) {
        // Setting the capabilities sets the current session parameters with them.
        if (!params(caps_))
            return false;
        if (c.op == AtOp::Set)
            local_ = caps_;
        return true;
    }
    if (is("+FDIS", "+FIS"))
        return params(local_);
    if (is("+FLID", "+FLI")) {
        if (c.op == AtOp::Test)
            info("(20)(32-127)");
        else if (c.op == AtOp::Query)
            info('"' + lid_ + '"');
        else
            lid_ = unquote(c.value).substr(0, 20);
        return true;
    }
    if (n == "+FCR")
        return intParam(fcr_, 1);
    if (n == "+FAA")
        return intParam(faa_, 1);
    if (n == "+FLO")
        return intParam(flo_, 2);
    if (is("+FBOR", "+FBO"))
        return intParam(fbor_, 3);
    if (n == "+FNR") {
        if (c.op == AtOp::Query)
            info(fnr_);
        else if (c.op == AtOp::Set)
            fnr_ = c.value;
        return true;
    }
    if (is("+FPTS", "+FPS"))
        return intParam(fptsSet_, 5);
    if (is("+FMDL", "+FMI") || is("+FMFR", "+FMM") || is("+FREV", "+FMR")) {
        if (n == "+FMDL" || n == "+FMM")
            info("Parvane virtual line");
        else if (n == "+FMFR" || n == "+FMI")
            info("Parvane");
        else
            info("1.0");
        return true;
    }
    if (is("+FK", "+FKS")) {
        if (inCall())
            endCall(HangupCode::Aborted);
        return true;
    }
    if (n == "+FDT") {
        if (step_ != Step::TxReady && step_ != Step::TxWaitFet && step_ != Step::TxWaitDis2)
            return false;
        pending_ = Pending::Fdt;
        startFdt();
        return true;
    }
    if (n == "+FDR") {
        if (step_ == Step::Idle || step_ == Step::Dialing)
            return false;
        pending_ = Pending::Fdr;
        startFdr();
        return true;
    }
    if (n == "+FET") {
        if (c.op != AtOp::Set)
            return true;
        if (step_ != Step::TxWaitFet || v < 0 || v > 2)
            return false;
        static constexpr std::uint8_t kPp[] = {fcf::MPS, fcf::EOM, fcf::EOP};
        postPage_ = kPp[v];
        pending_ = Pending::Fet;
        tries_ = 0;
        sendPostPage();
        return true;
    }
    // Accepted and not needed on this line.
    static constexpr std::string_view kIgnored[] = {
        "+FMINSP", "+FCQ", "+FCT",     "+FPHCTO", "+FRBC",    "+FWDFC",   "+FBUG", "+FAP",
        "+FIE",    "+FPP", "+FCTCRTY", "+FECM",   "+FBADLIN", "+FBADMUL", "+FIP",  "+FPR",
        "+FSP",    "+FND", "+FRQ",     "+FTBC",   "+FDFFC",   "+FVRFC",   "+FLPL", "+FSPL",
        "+FCIG",   "+FPI", "+FPA",     "+FSA",    "+FIT",     "+FMS",     "+FCS",  "+FEA",
        "+FFC",    "+FHS", "+FBU",     "+FCRC",   "+FPHCTO"};
    return std::find(std::begin(kIgnored), std::end(kIgnored), n) != std::end(kIgnored);
}

void ClassTwoModem::finishCommand(bool ok) {
    if (pending_ == Pending::None)
        return;
    pending_ = Pending::None;
    result(ok ? "OK" : "ERROR");
}

// ---------------------------------------------------------------- program side

bool ClassTwoModem::ready() const {
    return !handover_ && pageOut_.size() < kPageBufferMax;
}

std::size_t ClassTwoModem::fromDte(std::span<const std::uint8_t> data) {
    std::size_t i = 0;
    while (i < data.size() && !handover_) {
        if (dteData_) {
            dteToPage(data, i);
            continue;
        }
        const std::uint8_t b = data[i++];
        if (rxToDte_) {
            // While pages go to the program it sends DC2 (go), XON/XOFF or CAN (stop).
            // A few programs start Class 2 reception with XON instead of DC2.
            if ((b == kDc2 || b == kXon) && waitDc2_) {
                waitDc2_ = false;
                deliverRxData();
            } else if (b == kCan) {
                rxToDte_ = false;
                endCall(HangupCode::Aborted);
            }
            continue;
        }
        if (pending_ != Pending::None) {
            // Any character aborts a dial or an answer in progress, as on real modems.
            if (pending_ == Pending::Dial || pending_ == Pending::Answer) {
                log("command aborted by the program");
                hangup();
                result("NO CARRIER");
            }
            continue;
        }
        if (b == '\r') {
            std::string l;
            l.swap(line_);
            if (!l.empty())
                executeLine(l);
        } else if (b == '\n' || b == 0) {
        } else if (b == 8 || b == 127) {
            if (!line_.empty())
                line_.pop_back();
        } else if (line_.size() < 256) {
            line_ += static_cast<char>(b);
        }
    }
    return i;
}

std::uint8_t ClassTwoModem::txOrder(std::uint8_t b) const {
    return (fbor_ & 1) ? t30::reverseBits(b) : b;
}

std::uint8_t ClassTwoModem::rxOrder(std::uint8_t b) const {
    // Class 2 modems hand received data over bit-reversed; Class 2.0 as it came.
    const bool rev = (dialect() == FaxDialect::Class2) != ((fbor_ & 1) != 0);
    return rev ? t30::reverseBits(b) : b;
}

void ClassTwoModem::dteToPage(std::span<const std::uint8_t> data, std::size_t& i) {
    while (i < data.size() && dteData_) {
        const std::uint8_t b = data[i++];
        if (dteDle_) {
            dteDle_ = false;
            if (b == kDle) {
                pageOut_.push_back(txOrder(kDle));
                if (pageOut_.back() == kDle)
                    pageOut_.push_back(kDle);
                continue;
            }
            // End of the page; in Class 2.0 the code says what follows.
            dteData_ = false;
            pageDone_ = true;
            if (b == ',')
                postPage_ = fcf::MPS;
            else if (b == ';')
                postPage_ = fcf::EOM;
            else if (b == '.' || b == '!')
                postPage_ = fcf::EOP;
            else if (b != kEtx)
                log("page ended by DLE " + std::to_string(b));
            continue;
        }
        if (b == kDle) {
            dteDle_ = true;
            continue;
        }
        const std::uint8_t o = txOrder(b);
        pageOut_.push_back(o);
        if (o == kDle)
            pageOut_.push_back(kDle);
    }
}

void ClassTwoModem::deliverRxData() {
    if (!rxToDte_ || waitDc2_)
        return;
    std::vector<std::uint8_t> out(rxBuf_.begin(), rxBuf_.end());
    rxBuf_.clear();
    writeBytes(out);
    if (rxPageEnded_ && !rxEtxSent_) {
        const std::uint8_t etx[] = {kDle, kEtx};
        writeBytes(etx);
        rxEtxSent_ = true;
    }
    if (rxEtxSent_ && rxPostPage_) {
        rxToDte_ = false;
        const FaxDialect d = dialect();
        if (++rxPages_ <= badPages_) {
            log("fax: page " + std::to_string(rxPages_) + " fails the copy check");
            fptsSet_ = 2;
        }
        info(valueReport(d, FaxReport::PageStatus, fptsSet_));
        const std::uint8_t pp = *rxPostPage_ & ~fcf::kX;
        info(valueReport(d, FaxReport::PostPage, pp == fcf::MPS ? 0 : pp == fcf::EOM ? 1 : 2));
        step_ = Step::RxWaitFdr;
        finishCommand(true);
    }
}

// ---------------------------------------------------------------- network side

void ClassTwoModem::ring() {
    ++rings_;
    result("RING");
    if (s0_ > 0 && rings_ >= s0_ && step_ == Step::Idle) {
        step_ = Step::RxAnswering;
        actions_.push_back({ModemRequest::Answer, {}});
    }
}

void ClassTwoModem::connected() {
    if (step_ != Step::Dialing)
        return;
    log("fax: calling, waiting for the answering side's DIS");
    step_ = Step::TxWaitDis;
    tries_ = 0;
    trained_ = false;
    callUp_ = true;
    disDeadline_ = clock_ + samples(kDisWait);
    deadline_ = disDeadline_;
    link_.connected();
}

void ClassTwoModem::answered() {
    rings_ = 0;
    callUp_ = true;
    step_ = Step::RxAnswering;
    tries_ = 0;
    reportedConnect_ = false;
    rxBuf_.clear();
    rxPageEnded_ = rxEtxSent_ = false;
    rxPostPage_.reset();
    rxPages_ = 0;
    if (pending_ == Pending::None)
        pending_ = Pending::Answer;
    link_.answered();
}

void ClassTwoModem::callFailed(const std::string& text) {
    if (step_ == Step::Idle)
        return;
    step_ = Step::Idle;
    link_.reset();
    pending_ = Pending::None;
    result(text);
}

void ClassTwoModem::lineDropped() {
    if (step_ == Step::Idle)
        return;
    if (step_ == Step::RxAnswering && !callUp_) {
        // ATA with nobody calling: back on hook without a word, as the Class 1 modem
        // does; the program answers again at the next RING.
        log("nobody to answer: on hook again");
        step_ = Step::Idle;
        pending_ = Pending::None;
        link_.reset();
        return;
    }
    const bool sending = step_ >= Step::TxWaitDis && step_ <= Step::TxWaitDis2;
    log("the other side hung up");
    step_ = Step::Idle;
    callUp_ = false;
    link_.reset();
    dteData_ = rxToDte_ = false;
    info(hangupReport(dialect(), sending ? HangupCode::TxPhaseDError : HangupCode::RxPhaseDError));
    if (pending_ != Pending::None) {
        pending_ = Pending::None;
        result("ERROR");
    }
}

void ClassTwoModem::hangup() {
    if (step_ != Step::Idle)
        actions_.push_back({ModemRequest::Hangup, {}});
    step_ = Step::Idle;
    callUp_ = false;
    link_.reset();
    dteData_ = rxToDte_ = waitDc2_ = false;
    framesToSend_.clear();
    deadline_ = -1;
    pageOut_.clear();
    rxBuf_.clear();
}

void ClassTwoModem::endCall(HangupCode code) {
    log("fax: end of call, " + std::string(to_string(code)));
    hangup();
    info(hangupReport(dialect(), code));
    if (pending_ != Pending::None) {
        pending_ = Pending::None;
        result(code == HangupCode::Normal || code == HangupCode::Aborted ? "OK" : "ERROR");
    }
}

void ClassTwoModem::transmit(std::span<std::int16_t> out) {
    link_.transmit(out);
}
void ClassTwoModem::receive(std::span<const std::int16_t> in) {
    link_.receive(in);
}

} // namespace vline
