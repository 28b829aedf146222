// The transmit machine against a scripted modem: every command the machine sends must be
// the next one of the script, whose answer (lines and HDLC frames as a Class 1 or Class 2
// modem gives them) is queued as input. Timers fire when nothing else is pending, so whole
// calls run back to back without waiting.
#include "faxengine/fax_transmit.h"
#include "faxengine/port_types.h"
#include "faxengine/engine_errors.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace faxengine {
namespace {


constexpr TransmitTriggers kTriggers{11, 12, 13, 14};

std::string ok() { return "\r\nOK\r\n"; }
std::string connect() { return "\r\nCONNECT\r\n"; }
// An HDLC frame as a Class 1 modem hands it over: address, control, FCF, FIF, then DLE ETX.
std::string frame(std::uint8_t fcf, bool final, std::string fif = {}) {
    std::string f{'\xFF', static_cast<char>(final ? 0x13 : 0x03), static_cast<char>(fcf)};
    f += fif;
    f += "\x10\x03";
    return f;
}
std::string received(std::uint8_t fcf, bool final = true) { return connect() + frame(fcf, final) + ok(); }
// The same with the two FCS bytes a modem also hands over, DLE doubled where it occurs.
std::string frameWithFcs(std::uint8_t fcf, bool final, std::string fif = {}) {
    std::string body{'\xFF', static_cast<char>(final ? 0x13 : 0x03), static_cast<char>(fcf)};
    body += fif;
    std::uint16_t crc = 0xFFFF;
    for (char c : body) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    crc = static_cast<std::uint16_t>(~crc);
    body += static_cast<char>(crc & 0xFF);
    body += static_cast<char>(crc >> 8);
    std::string out;
    for (char c : body) {
        out += c;
        if (c == '\x10')
            out += c;
    }
    return out + "\x10\x03";
}

struct Page {
    TransmitPageInfo info;
    std::vector<std::uint8_t> data;
};

class ScriptedModem : public TransmitLink {
public:
    // (what the machine sends, what the modem answers)
    std::deque<std::pair<std::string, std::string>> script;
    std::vector<std::string> unexpected;
    std::deque<TransmitJob> jobs;
    std::map<std::string, std::vector<Page>> files;
    std::vector<int> logCodes, errors, finishes;
    std::vector<std::uint8_t> pageBytes; // page data as written, before stuffing
    std::vector<std::uint8_t> raw;       // bytes put directly
    int modIndex = 4;
    int hangups = 0;
    int codedLines = 0;
    std::optional<FaxTicks> timeout;
    bool outFree = false, outUsed = false;
    std::string afterDrain;
    std::deque<std::uint8_t> input;

    void expect(std::string sent, std::string answer) { script.emplace_back(std::move(sent), std::move(answer)); }

    void sent(const std::string& what) {
        if (script.empty() || script.front().first != what) {
            unexpected.push_back(what);
            return;
        }
        queue(script.front().second);
        script.pop_front();
    }
    void queue(const std::string& s) { input.insert(input.end(), s.begin(), s.end()); }

    // TransmitLink
    void SendCommand(std::string_view c) override { command(c); }
    void SendClass1Command(std::string_view c) override { command(c); }
    void command(std::string_view c) {
        ResetReader();
        sent(std::string(c));
    }
    void SendRaw(std::string_view b) override { sent("raw:" + std::string(b)); }
    void ResetReader() override { timeout = FaxTicks{182}; }
    void Pause(std::chrono::milliseconds) override {}
    void PauseTicks(FaxTicks, bool) override {}
    bool GetByte(std::uint8_t& b) override {
        if (input.empty())
            return false;
        b = input.front();
        input.pop_front();
        return true;
    }
    bool InputWaiting() override { return !input.empty(); }
    void FlushInput() override { input.clear(); }
    void ArmTimeout(FaxTicks t) override { timeout = t; }
    void ArmReaderTimer(FaxTicks) override {}
    void ArmStatusTimer(std::chrono::seconds) override {}
    void ArmOutBuffFree(std::size_t) override { outFree = true; }
    void ArmOutBuffUsed(std::size_t) override { outUsed = true; }
    std::size_t outBuffUsed = 0; // bytes the port still has to send
    std::size_t OutBuffUsed() override { return outBuffUsed; }
    std::size_t OutBuffFree() override { return 8192; }
    void SetSoftwareFlow(bool) override {}
    void SendFcfFrame(std::uint8_t f, bool final) override {
        sent("frame:" + std::to_string(f) + (final ? "" : ",nonfinal"));
    }
    void SendIdFrame() override { sent("TSI"); }
    void SendDcsFrame(char res, bool wide) override {
        sent(std::string("DCS:") + res + (wide ? ",wide" : ""));
    }
    void SendTrainingCheck() override { sent("TCF"); }
    ReceivedFrame ParseFrame(std::span<const std::uint8_t> f) override {
        ReceivedFrame r;
        if (f.size() < 5)
            return r;
        r.fcf = f[2];
        r.final = (f[1] & 0x10) != 0;
        r.cfr = (r.fcf & 0xFE) == 0x84;
        r.retrain = (r.fcf & 0xFE) == 0x44 || (r.fcf & 0xFE) == 0x4C;
        if ((r.fcf & 0xFE) == 0xFA)
            r.error = ec::CancelRequested;
        r.fcsGood = t30::hdlcFcsGood(f);
        return r;
    }
    bool StepDown() override {
        if (modIndex <= 1)
            return false;
        --modIndex;
        return true;
    }
    std::string ModulationCode(bool shortTrain) override {
        static const char* longCodes[] = {"", "24", "48", "72", "96", "121", "145"};
        static const char* shortCodes[] = {"", "24", "48", "72", "96", "122", "146"};
        return shortTrain ? shortCodes[modIndex] : longCodes[modIndex];
    }
    int ParseRemoteCapabilities(std::string_view) override { return 0; }
    int ParseSessionReport(std::string_view) override { return 0; }
    std::string CleanStationId(std::string_view r) override { return std::string(r.substr(r.find(':') + 1)); }

    std::vector<Page>* file = nullptr;
    std::size_t page = 0, pos = 0;
    int OpenFax(const std::string& name) override {
        auto it = files.find(name);
        if (it == files.end())
            return -2;
        file = &it->second;
        page = 0;
        pos = 0;
        return 0;
    }
    std::uint16_t FaxPageCount() override { return static_cast<std::uint16_t>(file->size()); }
    int PositionPage(int n) override {
        if (n < 1 || n > static_cast<int>(file->size()))
            return -100;
        page = static_cast<std::size_t>(n - 1);
        pos = 0;
        return 0;
    }
    TransmitPageInfo CurrentPage() override { return (*file)[page].info; }
    int NextPage(bool) override { return PositionPage(static_cast<int>(page) + 2); }
    int OpenCover(const std::string&, bool, char) override { return 0; }
    int CoverResolution(char& r) override {
        r = '0';
        return 0;
    }
    void CloseFiles() override {}
    int ReadPageLine(std::vector<std::uint8_t>& line) override {
        auto& d = (*file)[page].data;
        if (pos + 2 > d.size())
            return -100;
        std::size_t n = d[pos] | (d[pos + 1] << 8);
        line.assign(d.begin() + static_cast<long>(pos + 2), d.begin() + static_cast<long>(pos + 2 + n));
        pos += 2 + n;
        return static_cast<int>(n);
    }
    int ReadPageBlock(std::vector<std::uint8_t>& block, std::size_t max) override {
        auto& d = (*file)[page].data;
        std::size_t n = std::min(max, d.size() - pos);
        block.assign(d.begin() + static_cast<long>(pos), d.begin() + static_cast<long>(pos + n));
        pos += n;
        return static_cast<int>(n);
    }
    void StuffedWrite(std::span<const std::uint8_t> d) override { pageBytes.insert(pageBytes.end(), d.begin(), d.end()); }
    std::size_t CodedLineWrite(std::span<const std::uint8_t> d) override {
        ++codedLines;
        StuffedWrite(d);
        return d.size();
    }
    void PutBytes(std::span<const std::uint8_t> d) override {
        raw.insert(raw.end(), d.begin(), d.end());
        std::string s(d.begin(), d.end());
        if (s == "\x10\x03" || (s.size() == 2 && s[0] == '\x10' && (s[1] == ',' || s[1] == ';' || s[1] == '.')))
            sentAfterDrain("pageend:" + s.substr(1));
        else
            sent("raw:" + s);
    }
    // Page-end answers come once the output has drained.
    void sentAfterDrain(const std::string& what) {
        if (!script.empty() && script.front().first == what) {
            if (outUsed)
                afterDrain += script.front().second;
            else
                queue(script.front().second);
            script.pop_front();
        } else {
            unexpected.push_back(what);
        }
    }
    int SendHeaderLine(char) override { return 0; }
    int SendCoverLines(bool& done) override {
        done = true;
        return 0;
    }
    void ForcedHangup() override { ++hangups; }
    void RestoreIdleSpeed() override {}
    void LogState(TransmitState) override {}
    bool NextFax(TransmitJob& job) override {
        if (jobs.empty())
            return false;
        job = jobs.front();
        jobs.pop_front();
        return true;
    }
    void StatusEvent(bool, bool) override {}
    void LogEvent(int code) override { logCodes.push_back(code); }
    void ReportError(int code) override { errors.push_back(code); }
    void PostFinish(int code) override { finishes.push_back(code); }
};

Page page(std::size_t bytes, bool fine = false) {
    Page p;
    for (std::size_t i = 0; i < bytes; ++i)
        p.data.push_back(static_cast<std::uint8_t>(i * 7)); // includes DLE bytes
    p.info.imageLength = static_cast<std::uint32_t>(bytes);
    p.info.highRes = fine;
    return p;
}

class TransmitTest : public ::testing::Test {
protected:
    ScriptedModem m;
    TransmitOptions opt;
    int timeouts = 0;
    std::optional<TransmitState> noTimeoutIn; // run() stops there instead of timing out

    // Delivers events until the machine finishes or has nothing left to wait for.
    TransmitState run(FaxTransmitter& tx, int limit = 500) {
        tx.Handle(0, 0, 0);
        for (int i = 0; i < limit && tx.State() != TransmitState::tfDone; ++i) {
            if (m.outFree) {
                m.outFree = false;
                tx.Handle(apw::TriggerStatus, kTriggers.outFree, 0);
            } else if (m.outUsed) {
                m.outUsed = false;
                m.queue(m.afterDrain);
                m.afterDrain.clear();
                tx.Handle(apw::TriggerStatus, kTriggers.outUsed, 0);
            } else if (!m.input.empty()) {
                tx.Handle(apw::TriggerAvail, 0, 0);
            } else if (m.timeout && tx.State() != noTimeoutIn) {
                m.timeout.reset();
                ++timeouts;
                tx.Handle(apw::TriggerTimer, kTriggers.timeout, 0);
            } else {
                break;
            }
        }
        return tx.State();
    }

    // Class 1 from the dial to the page carrier, at the modem's current speed.
    void phaseB(const std::string& number = "5551234", char res = '0') {
        m.expect("AT+FCLASS=1", ok());
        m.expect("ATDT" + number, connect() + frame(0x40, false, std::string(20, ' ')) + ok());
        m.expect("AT+FRH=3", received(0x80));
        m.expect("AT+FTH=3", connect());
        m.expect("TSI", connect());
        m.expect(std::string("DCS:") + res, ok());
        m.expect("AT+FTM=96", connect());
        m.expect("TCF", ok());
        m.expect("AT+FRH=3", received(0x84));
        m.expect("AT+FTM=96", connect());
    }
    // A one-page fax whose EOP the modem answers with `answer` to AT+FRH=3, then DCN.
    void onePageFaxAnsweredWith(const std::string& answer) {
        m.files["a.apf"] = {page(100)};
        m.jobs.push_back({"5551234", "a.apf", ""});
        phaseB();
        lastPageEnd(answer);
    }
    // Runs to the wait for the post-page answer and leaves its timer to the test.
    TransmitState runToPostPageWait(FaxTransmitter& tx) {
        noTimeoutIn = TransmitState::tf1WaitMCF;
        return run(tx);
    }
    // The rest of the call: the page counts as sent and EOP went out once.
    void expectConfirmedWithoutRepeat(FaxTransmitter& tx) {
        noTimeoutIn.reset();
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
        EXPECT_TRUE(m.script.empty());
        EXPECT_EQ(m.logCodes, (std::vector<int>{1, 2}));
        EXPECT_EQ(m.finishes, std::vector<int>{0});
    }

    // The last page's end, EOP, the modem's answer to AT+FRH=3 (MCF), DCN and the hang-up.
    void lastPageEnd(const std::string& answer = received(0x8C)) {
        m.expect("pageend:\x03", ok());
        m.expect("AT+FTH=3", connect());
        m.expect("frame:47", ok()); // EOP
        m.expect("AT+FRH=3", answer);
        m.expect("AT+FTH=3", connect());
        m.expect("frame:251", ok()); // DCN
        m.expect("ATH", ok());
    }
};

TEST_F(TransmitTest, Class1SendsEveryPageAndEndsTheCallCleanly) {
    m.files["a.apf"] = {page(10000), page(300)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    phaseB();
    m.expect("pageend:\x03", ok());
    m.expect("AT+FTH=3", connect());
    m.expect("frame:79", ok()); // MPS: same parameters, next page follows
    m.expect("AT+FRH=3", received(0x8C));
    m.expect("AT+FTM=96", connect());
    lastPageEnd();
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_TRUE(m.script.empty());
    std::vector<std::uint8_t> both = m.files["a.apf"][0].data;
    both.insert(both.end(), m.files["a.apf"][1].data.begin(), m.files["a.apf"][1].data.end());
    EXPECT_EQ(m.pageBytes, both);
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 2}));
    EXPECT_TRUE(m.errors.empty());
    EXPECT_EQ(m.finishes, std::vector<int>{0});
    EXPECT_EQ(tx.FaxStatus(), 43);
}

TEST_F(TransmitTest, ResolutionChangeTakesEomAndRenegotiates) {
    opt.mpsEnabled = true;
    m.files["a.apf"] = {page(200), page(200, true)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    phaseB();
    m.expect("pageend:\x03", ok());
    m.expect("AT+FTH=3", connect());
    m.expect("frame:143", ok()); // EOM
    m.expect("AT+FRH=3", received(0x8C));
    m.expect("AT+FTH=3", connect());
    m.expect("DCS:1", ok());
    m.expect("AT+FTM=96", connect());
    m.expect("TCF", ok());
    m.expect("AT+FRH=3", received(0x84));
    m.expect("AT+FTM=96", connect());
    lastPageEnd();
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 2}));
}

TEST_F(TransmitTest, BusyRedialsThenGivesUpAndMovesToTheNextFax) {
    opt.dialAttempts = 3;
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"111", "a.apf", ""});
    m.jobs.push_back({"5551234", "a.apf", ""});
    m.expect("AT+FCLASS=1", ok());
    m.expect("ATDT111", "\r\nBUSY\r\n");
    m.expect("ATDT111", "\r\nNO ANSWER\r\n");
    m.expect("ATDT111", "\r\nBUSY\r\n");
    phaseB();
    lastPageEnd();
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_EQ(m.errors, std::vector<int>{ec::FaxBusy});
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 3, 1, 2}));
    // The busy fax is still a failure in the run's result.
    EXPECT_EQ(m.finishes, std::vector<int>{ec::FaxBusy});
}

TEST_F(TransmitTest, DialLimitAndAbortNoConnect) {
    {
        SCOPED_TRACE("no attempt limit: busy keeps redialling");
        ScriptedModem& mm = m;
        opt.dialAttempts = 0;
        mm.files["a.apf"] = {page(100)};
        mm.jobs.push_back({"111", "a.apf", ""});
        mm.expect("AT+FCLASS=1", ok());
        for (int i = 0; i < 6; ++i)
            mm.expect("ATDT111", "\r\nBUSY\r\n");
        FaxTransmitter tx(mm, opt, kTriggers);
        run(tx);
        // A seventh dial went out (and was left unanswered): no limit stopped it.
        EXPECT_EQ(mm.unexpected, std::vector<std::string>{"ATDT111"});
        EXPECT_EQ(mm.errors, std::vector<int>{ec::FaxNoAnswer});
    }
    {
        SCOPED_TRACE("AbortNoConnect ends the run at the last attempt");
        ScriptedModem mm;
        TransmitOptions o;
        o.dialAttempts = 1;
        o.abortNoConnect = true;
        mm.files["a.apf"] = {page(100)};
        mm.jobs.push_back({"111", "a.apf", ""});
        mm.jobs.push_back({"222", "a.apf", ""});
        mm.expect("AT+FCLASS=1", ok());
        mm.expect("ATDT111", "\r\nNO ANSWER\r\n");
        FaxTransmitter tx(mm, o, kTriggers);
        tx.Handle(0, 0, 0);
        while (mm.InputWaiting())
            tx.Handle(apw::TriggerAvail, 0, 0);
        EXPECT_EQ(tx.State(), TransmitState::tfDone);
        // Nobody answered: that is what the user is told, not that the line was busy.
        EXPECT_EQ(mm.finishes, std::vector<int>{ec::FaxNoAnswer});
        EXPECT_EQ(mm.jobs.size(), 1u); // the second fax was never asked for
        EXPECT_EQ(tx.FaxStatus(), 42);
    }
}

TEST_F(TransmitTest, ConnectFailuresAndDialTimeout) {
    struct Case {
        std::string answer;
        int error;
    };
    for (const Case& c : {Case{"\r\nNO DIALTONE\r\n", ec::FaxNoDialTone}, Case{"\r\nVOICE\r\n", ec::FaxVoiceCall},
                          Case{"\r\nNO CARRIER\r\n", ec::FaxNoCarrier}, Case{"", ec::FaxNoAnswer},
                          Case{"\r\nERROR\r\n", ec::FaxBadModemResult}}) {
        SCOPED_TRACE(c.answer);
        ScriptedModem mm;
        TransmitOptions o;
        o.exitOnError = true;
        mm.files["a.apf"] = {page(100)};
        mm.jobs.push_back({"111", "a.apf", ""});
        mm.expect("AT+FCLASS=1", ok());
        mm.expect("ATDT111", c.answer);
        FaxTransmitter tx(mm, o, kTriggers);
        tx.Handle(0, 0, 0);
        if (c.answer.empty())
            tx.Handle(apw::TriggerTimer, kTriggers.timeout, 0);
        while (mm.InputWaiting())
            tx.Handle(apw::TriggerAvail, 0, 0);
        EXPECT_EQ(tx.State(), TransmitState::tfDone);
        EXPECT_EQ(mm.errors, std::vector<int>{c.error});
        EXPECT_EQ(mm.logCodes, (std::vector<int>{1, 3}));
        EXPECT_EQ(mm.hangups, 1);
    }
}

TEST_F(TransmitTest, FttStepsDownAndRetrainsUntilNoSpeedIsLeft) {
    m.modIndex = 4;
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    m.expect("AT+FCLASS=1", ok());
    m.expect("ATDT5551234", connect() + frame(0x80, true) + ok());
    m.expect("AT+FTH=3", connect());
    m.expect("TSI", connect());
    m.expect("DCS:0", ok());
    m.expect("AT+FTM=96", connect());
    m.expect("TCF", ok());
    m.expect("AT+FRH=3", received(0x44)); // FTT at 9600
    m.expect("AT+FTH=3", connect());
    m.expect("DCS:0", ok());
    m.expect("AT+FTM=72", connect()); // retrain at 7200
    m.expect("TCF", ok());
    for (const char* code : {"48", "24"}) {
        m.expect("AT+FRH=3", received(0x44));
        m.expect("AT+FTH=3", connect());
        m.expect("DCS:0", ok());
        m.expect(std::string("AT+FTM=") + code, connect());
        m.expect("TCF", ok());
    }
    m.expect("AT+FRH=3", received(0x44)); // FTT at 2400: nothing lower
    opt.exitOnError = true;
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_EQ(m.errors, std::vector<int>{ec::FaxTrainError});
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 3}));
}

TEST_F(TransmitTest, PostPageMessageIsRepeatedThenFails) {
    opt.exitOnError = true;
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    phaseB();
    m.expect("pageend:\x03", ok());
    // First try: the modem says ERROR; second: no answer at all (timeout); third: ERROR.
    m.expect("AT+FTH=3", connect());
    m.expect("frame:47", ok());
    m.expect("AT+FRH=3", "\r\nERROR\r\n");
    m.expect("AT+FTH=3", connect());
    m.expect("frame:47", ok());
    m.expect("AT+FRH=3", "");
    m.expect("raw: ", "");
    m.expect("AT+FTH=3", connect());
    m.expect("frame:47", ok());
    m.expect("AT+FRH=3", "\r\nERROR\r\n");
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_EQ(m.errors, std::vector<int>{ec::TimeOut});
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 3}));
}

// The far end's MCF frame is in, and the modem's OK after it arrives just as the wait for
// the answer runs out: the page counts as confirmed, the post-page message is not repeated.
TEST_F(TransmitTest, AnswerArrivingWithTheTimeoutWinsOverIt) {
    onePageFaxAnsweredWith(connect() + frame(0x8C, true));
    FaxTransmitter tx(m, opt, kTriggers);
    ASSERT_EQ(runToPostPageWait(tx), TransmitState::tf1WaitMCF);
    m.queue(ok());
    tx.Handle(apw::TriggerTimer, kTriggers.timeout, 0);
    expectConfirmedWithoutRepeat(tx);
}

// A modem that holds the MCF frame's OK until the far end's carrier ends (the receiver went
// on with CSI/DIS): the wait for the OK starts again when the frame is in, so the confirmed
// page is not offered again.
TEST_F(TransmitTest, OkHeldBackAfterTheMcfFrameIsWaitedFor) {
    onePageFaxAnsweredWith(connect());
    FaxTransmitter tx(m, opt, kTriggers);
    ASSERT_EQ(runToPostPageWait(tx), TransmitState::tf1WaitMCF);
    m.timeout.reset(); // most of the first wait has gone by
    m.queue(frame(0x8C, true)); // the frame, no OK yet
    tx.Handle(apw::TriggerAvail, 0, 0);
    ASSERT_TRUE(m.timeout.has_value());
    EXPECT_EQ(*m.timeout, FaxTicks{54});
    m.queue(ok());
    expectConfirmedWithoutRepeat(tx);
}

// Noise keeps the modem's carrier detector up after the far end's DIS: the frame is whole and
// its FCS holds, but no OK comes. After a short wait the reception is ended with a character
// and the call goes on; the OK the modem gives late is passed over.
TEST_F(TransmitTest, FrameWhoseVerdictNeverComesIsTakenOnItsFcs) {
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    m.expect("AT+FCLASS=1", ok());
    m.expect("ATDT5551234", connect() + frame(0x40, false, std::string(20, ' ')) + ok());
    m.expect("AT+FRH=3", connect() + frameWithFcs(0x80, true, std::string("\x00\xEE\xF8\x10", 4)));
    m.expect("raw: ", "");
    m.expect("AT+FTH=3", ok() + connect());
    m.expect("TSI", connect());
    m.expect("DCS:0", ok());
    m.expect("AT+FTM=96", connect());
    m.expect("TCF", ok());
    m.expect("AT+FRH=3", received(0x84));
    m.expect("AT+FTM=96", connect());
    lastPageEnd();
    FaxTransmitter tx(m, opt, kTriggers);
    noTimeoutIn = TransmitState::tf1Connect;
    ASSERT_EQ(run(tx), TransmitState::tf1Connect);
    ASSERT_TRUE(m.timeout.has_value());
    EXPECT_EQ(*m.timeout, FaxTransmitter::kFrameVerdictWait);
    noTimeoutIn.reset();
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_TRUE(m.script.empty());
    EXPECT_EQ(m.finishes, std::vector<int>{0});
}

// A damaged frame is never taken without the modem's word, and a call in which the far end
// did send frames never ends as "did not answer".
TEST_F(TransmitTest, DamagedFrameWithoutVerdictFailsAsASessionFault) {
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    std::string dis = frameWithFcs(0x80, true, std::string("\x00\xEE\xF8", 3));
    dis[4] ^= 0x01;
    m.expect("AT+FCLASS=1", ok());
    m.expect("ATDT5551234", connect() + frame(0x40, false, std::string(20, ' ')) + ok());
    m.expect("AT+FRH=3", connect() + dis);
    m.expect("ATH", ok());
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_EQ(m.finishes, std::vector<int>{ec::FaxSessionError});
}

// RTN on the first page of two: a retrain, the same page again, then the second page.
TEST_F(TransmitTest, PageRejectedWithRtnIsSentAgainAfterARetrain) {
    m.files["a.apf"] = {page(300), page(200)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    phaseB();
    m.expect("pageend:\x03", ok());
    m.expect("AT+FTH=3", connect());
    m.expect("frame:79", ok()); // MPS
    m.expect("AT+FRH=3", received(0x4C));
    m.expect("AT+FTH=3", connect());
    m.expect("DCS:0", ok());
    m.expect("AT+FTM=96", connect());
    m.expect("TCF", ok());
    m.expect("AT+FRH=3", received(0x84));
    m.expect("AT+FTM=96", connect());
    m.expect("pageend:\x03", ok());
    m.expect("AT+FTH=3", connect());
    m.expect("frame:79", ok());
    m.expect("AT+FRH=3", received(0x8C));
    m.expect("AT+FTM=96", connect());
    lastPageEnd();
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_TRUE(m.script.empty());
    EXPECT_TRUE(m.errors.empty());
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 2}));
    // The first page went out twice, whole; then the second.
    const auto& p1 = m.files["a.apf"][0].data;
    const auto& p2 = m.files["a.apf"][1].data;
    std::vector<std::uint8_t> expected = p1;
    expected.insert(expected.end(), p1.begin(), p1.end());
    expected.insert(expected.end(), p2.begin(), p2.end());
    EXPECT_EQ(m.pageBytes, expected);
}

TEST_F(TransmitTest, RejectedOrUnconfirmedPageIsNeverReportedAsSent) {
    {
        // Every copy answered with RTN: a retrain and the page again for each allowed
        // resend, then the fax fails.
        SCOPED_TRACE("RTN after every copy of the page");
        opt.exitOnError = true;
        opt.pageResendLimit = 2;
        m.files["a.apf"] = {page(100)};
        m.jobs.push_back({"5551234", "a.apf", ""});
        phaseB();
        m.expect("pageend:\x03", ok());
        m.expect("AT+FTH=3", connect());
        m.expect("frame:47", ok());
        for (int resend = 0; resend < 2; ++resend) {
            m.expect("AT+FRH=3", received(0x4C));
            m.expect("AT+FTH=3", connect());
            m.expect("DCS:0", ok());
            m.expect("AT+FTM=96", connect());
            m.expect("TCF", ok());
            m.expect("AT+FRH=3", received(0x84));
            m.expect("AT+FTM=96", connect());
            m.expect("pageend:\x03", ok());
            m.expect("AT+FTH=3", connect());
            m.expect("frame:47", ok());
        }
        m.expect("AT+FRH=3", received(0x4C));
        FaxTransmitter tx(m, opt, kTriggers);
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
        EXPECT_EQ(m.errors, std::vector<int>{ec::FaxSessionError});
        EXPECT_EQ(m.logCodes, (std::vector<int>{1, 3}));
    }
    {
        // The MCF of page 1 must not confirm page 2, whose exchange ended without a frame.
        SCOPED_TRACE("no frame after the second page");
        ScriptedModem& mm = m;
        mm = ScriptedModem{};
        mm.files["a.apf"] = {page(100), page(100)};
        mm.jobs.push_back({"5551234", "a.apf", ""});
        phaseB();
        mm.expect("pageend:\x03", ok());
        mm.expect("AT+FTH=3", connect());
        mm.expect("frame:79", ok());
        mm.expect("AT+FRH=3", received(0x8C));
        mm.expect("AT+FTM=96", connect());
        mm.expect("pageend:\x03", ok());
        for (int i = 0; i < 3; ++i) {
            mm.expect("AT+FTH=3", connect());
            mm.expect("frame:47", ok());
            mm.expect("AT+FRH=3", ok());
            mm.expect("raw: ", "");
        }
        FaxTransmitter tx(mm, opt, kTriggers);
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_TRUE(mm.unexpected.empty()) << mm.unexpected.front();
        EXPECT_EQ(mm.errors, std::vector<int>{ec::TimeOut});
        EXPECT_EQ(mm.logCodes, (std::vector<int>{1, 3}));
    }
}

TEST_F(TransmitTest, FarEndHangsUpWithDcn) {
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    m.expect("AT+FCLASS=1", ok());
    m.expect("ATDT5551234", connect() + frame(0xFA, true) + ok());
    FaxTransmitter tx(m, opt, kTriggers);
    EXPECT_EQ(run(tx), TransmitState::tfDone); // no more faxes after the failed one
    EXPECT_EQ(m.errors, std::vector<int>{ec::CancelRequested});
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 3}));
    EXPECT_EQ(m.finishes, std::vector<int>{ec::CancelRequested});
}

TEST_F(TransmitTest, UserAbortMidCallHangsUpAndFinishes) {
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    m.jobs.push_back({"222", "a.apf", ""});
    m.expect("AT+FCLASS=1", ok());
    m.expect("ATDT5551234", "");
    FaxTransmitter tx(m, opt, kTriggers);
    tx.Handle(0, 0, 0);
    while (m.InputWaiting())
        tx.Handle(apw::TriggerAvail, 0, 0);
    ASSERT_EQ(tx.State(), TransmitState::tf1Connect);
    tx.Handle(faxmsg::UserAbort, 0, 0);
    EXPECT_EQ(tx.State(), TransmitState::tfDone);
    EXPECT_EQ(tx.FaxStatus(), 42);
    EXPECT_EQ(m.errors, std::vector<int>{ec::CancelRequested});
    EXPECT_EQ(m.finishes, std::vector<int>{ec::CancelRequested});
    EXPECT_EQ(m.hangups, 1);
    EXPECT_EQ(m.jobs.size(), 1u);
    // Later events find the machine finished and do nothing.
    tx.Handle(apw::TriggerTimer, kTriggers.timeout, 0);
    EXPECT_EQ(m.finishes.size(), 1u);
}

TEST_F(TransmitTest, PageDataEdges) {
    {
        SCOPED_TRACE("a file that ends inside its page fails instead of waiting forever");
        opt.exitOnError = true;
        Page p = page(100);
        p.info.imageLength = 5000;
        m.files["a.apf"] = {p};
        m.jobs.push_back({"5551234", "a.apf", ""});
        phaseB();
        FaxTransmitter tx(m, opt, kTriggers);
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_EQ(m.errors, std::vector<int>{-100});
    }
    {
        SCOPED_TRACE("pages of line records go out line by line");
        m = ScriptedModem{};
        Page p;
        for (int i = 0; i < 30; ++i) {
            p.data.push_back(3);
            p.data.push_back(0);
            p.data.insert(p.data.end(), {0x10, 0x80, 0x01});
        }
        p.info.imageLength = static_cast<std::uint32_t>(p.data.size());
        p.info.lengthWords = true;
        m.files["a.apf"] = {p};
        m.jobs.push_back({"5551234", "a.apf", ""});
        phaseB();
        lastPageEnd();
        FaxTransmitter tx(m, opt, kTriggers);
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
        EXPECT_EQ(m.codedLines, 30);
        EXPECT_EQ(m.pageBytes.size(), 90u);
    }
    {
        SCOPED_TRACE("no fax file and no cover");
        m = ScriptedModem{};
        m.jobs.push_back({"5551234", "", ""});
        FaxTransmitter tx(m, opt, kTriggers);
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_EQ(m.errors, std::vector<int>{ec::NoFilename});
    }
}

// The far end hangs up while the page goes out and the modem drops out of data mode saying
// so: the fax fails there, not at the page timeout a minute later.
TEST_F(TransmitTest, NoCarrierDuringPageDataEndsTheFaxAtOnce) {
    m.files["a.apf"] = {page(20000)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    phaseB();
    m.outBuffUsed = 1u << 20; // the port is full: the machine waits for room
    FaxTransmitter tx(m, opt, kTriggers);
    noTimeoutIn = TransmitState::tfSendPage;
    ASSERT_EQ(run(tx), TransmitState::tfSendPage);
    const int timeoutsBefore = timeouts;
    m.queue("\r\nNO CARRIER\r\n");
    m.outBuffUsed = 0;
    noTimeoutIn.reset();
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_EQ(m.finishes, std::vector<int>{ec::FaxSessionError});
    EXPECT_EQ(timeouts, timeoutsBefore) << "no wait ran out";
}

TEST_F(TransmitTest, Class2ResolutionChangeAndClass20PageEnds) {
    {
        SCOPED_TRACE("Class 2");
        opt.faxClass = FaxClass::fcClass2;
        opt.stationId = "abc";
        m.files["a.apf"] = {page(100), page(100, true)};
        m.jobs.push_back({"5551234", "a.apf", ""});
        m.expect("AT+FCLASS=2", ok());
        m.expect("AT+FLID=\"ABC\"", ok());
        m.expect("AT+FDIS=0,3,0,2,0,0,0,0", ok());
        m.expect("ATDT5551234", "\r\n+FCON\r\n+FDIS:1,5,0,2,0,0,0,0\r\n+FCSI:\"REMOTE\"\r\nOK\r\n");
        m.expect("AT+FDT", "\r\n+FDCS:0,3,0,2,0,0,0,0\r\nCONNECT\r\n\x11");
        m.expect("pageend:\x03", ok());
        m.expect("AT+FET=1", "\r\n+FPTS:1\r\nOK\r\n");
        m.expect("AT+FDIS=1", ok());
        m.expect("AT+FDT", "\r\nCONNECT\r\n\x11");
        m.expect("pageend:\x03", ok());
        m.expect("AT+FET=2", "\r\n+FPTS:1\r\n+FHNG:0\r\nOK\r\n");
        FaxTransmitter tx(m, opt, kTriggers);
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
        EXPECT_EQ(m.logCodes, (std::vector<int>{1, 2}));
        EXPECT_TRUE(m.errors.empty()) << m.errors.front() << " in " << m.script.size();
        EXPECT_EQ(tx.RemoteId(), "\"REMOTE\"");
    }
    {
        SCOPED_TRACE("Class 2.0: page ends marked, a rejected page is sent again");
        m = ScriptedModem{};
        opt.faxClass = FaxClass::fcClass2_0;
        m.files["a.apf"] = {page(100), page(100, true)};
        m.jobs.push_back({"5551234", "a.apf", ""});
        m.expect("AT+FCLASS=2.0", ok());
        m.expect("AT+FLI=\"ABC\"", ok());
        m.expect("AT+FLO=2", ok());
        m.expect("AT+FNR=1,1,1,0", ok());
        m.expect("AT+FIS=0,3,0,2,0,0,0,0", ok());
        m.expect("ATDT5551234", "\r\n+FCO\r\n+FIS:1,5,0,2,0,0,0,0\r\nOK\r\n");
        m.expect("AT+FDT", "\r\nCONNECT\r\n");
        m.expect("pageend:;", "\r\n+FPS:2\r\nOK\r\n");
        m.expect("AT+FDT", "\r\nCONNECT\r\n");
        m.expect("pageend:;", "\r\n+FPS:1\r\nOK\r\n");
        m.expect("AT+FIS=1", ok());
        m.expect("AT+FDT", "\r\nCONNECT\r\n");
        m.expect("pageend:.", "\r\n+FPS:1\r\n+FHS:00\r\nOK\r\n");
        FaxTransmitter tx(m, opt, kTriggers);
        EXPECT_EQ(run(tx), TransmitState::tfDone);
        EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
        EXPECT_EQ(m.logCodes, (std::vector<int>{1, 2}));
        EXPECT_TRUE(m.errors.empty());
        // Page 1 twice (rejected once), then page 2.
        EXPECT_EQ(m.pageBytes.size(), 300u);
    }
}

// A port announces data once: the XON a Class 2 modem sends right after CONNECT often
// comes in the same read and must be taken then, not left to spoil the next response.
TEST_F(TransmitTest, Class2XonArrivingWithConnectIsTakenAtOnce) {
    opt.faxClass = FaxClass::fcClass2;
    opt.stationId = "abc";
    m.files["a.apf"] = {page(100)};
    m.jobs.push_back({"5551234", "a.apf", ""});
    m.expect("AT+FCLASS=2", ok());
    m.expect("AT+FLID=\"ABC\"", ok());
    m.expect("AT+FDIS=0,3,0,2,0,0,0,0", ok());
    m.expect("ATDT5551234", "\r\n+FCON\r\n+FDIS:1,3,0,2,0,0,0,0\r\nOK\r\n");
    m.expect("AT+FDT", "\r\n+FDCS:0,3,0,2,0,0,0,0\r\nCONNECT\r\n\x11");
    m.expect("pageend:\x03", ok());
    m.expect("AT+FET=2", "\r\n+FPTS:1\r\n+FHNG:0\r\nOK\r\n");
    FaxTransmitter tx(m, opt, kTriggers);
    tx.Handle(0, 0, 0);
    for (int i = 0; i < 50 && !m.input.empty() && tx.State() != TransmitState::tfWaitXon &&
                    tx.State() != TransmitState::tfWaitFrHead;
         ++i)
        tx.Handle(apw::TriggerAvail, 0, 0);
    EXPECT_EQ(tx.State(), TransmitState::tfWaitFrHead);
    EXPECT_TRUE(m.input.empty());
    EXPECT_EQ(run(tx), TransmitState::tfDone);
    EXPECT_TRUE(m.unexpected.empty()) << m.unexpected.front();
    EXPECT_TRUE(m.errors.empty()) << m.errors.front();
    EXPECT_EQ(m.logCodes, (std::vector<int>{1, 2}));
}

TEST(TransmitStateTest, NamesAndLogNumbersStayFixed) {
    // The dispatch log and stored traces use these numbers.
    EXPECT_EQ(to_string(TransmitState::tf1WaitMCF), "tf1WaitMCF");
    EXPECT_EQ(static_cast<int>(TransmitState::tf1WaitMCF), 34);
    EXPECT_EQ(static_cast<int>(TransmitState::tfDone), 48);
    EXPECT_EQ(to_string(TransmitState::tf20ChckPg), "tf20ChckPg");
}

} // namespace
} // namespace faxengine
