#include "faxengine/call_report.h"

#include "base/t30_codes.h"
#include "faxengine/t30_params.h"
#include "faximage/fax_errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace faxengine;
namespace fcf = t30::fcf;
namespace ec = faximage::ec;

namespace {

// A call as the port saw it, written the way a Class 1 or Class 2 sender talks.
class Dialogue {
public:
    Dialogue& us(std::string_view text) { return add('T', text); }
    Dialogue& modem(std::string_view text) { return add('R', text); }

    // A command answered by the modem.
    Dialogue& cmd(std::string_view command, std::string_view answer = "OK") {
        us(std::string(command) + "\r");
        return modem("\r\n" + std::string(answer) + "\r\n");
    }
    // AT+FTH=3 and one final frame of ours.
    Dialogue& sendFrame(std::uint8_t f, std::vector<std::uint8_t> fif = {}) {
        cmd("AT+FTH=3", "CONNECT");
        addFrame('T', f, fif, true);
        return modem("\r\nOK\r\n");
    }
    // AT+FRH=3 and the remote's final frame.
    Dialogue& receiveFrame(std::uint8_t f, std::vector<std::uint8_t> fif = {}) {
        cmd("AT+FRH=3", "CONNECT");
        addFrame('R', f, fif, true);
        return modem("\r\nOK\r\n");
    }
    // The answer to a dial: CSI and DIS from the remote.
    Dialogue& dialAnswered(std::string_view number) {
        cmd("ATDT" + std::string(number), "CONNECT");
        addFrame('R', fcf::CSI, idFif("+1 555 0200"), false);
        modem("\r\nCONNECT\r\n");
        addFrame('R', fcf::DIS, {0x00, 0x6E, 0xF9, 0x00}, true); // V.17 offered, fine
        return modem("\r\nOK\r\n");
    }
    // TSI, DCS at a speed, the training check and the remote's verdict.
    Dialogue& train(int bps, bool ok) {
        const std::uint8_t rate = bps == 9600 ? 0x04 : bps == 7200 ? 0x0C : bps == 4800 ? 0x08 : 0x00;
        sendFrame(fcf::DCSx, {0x00, static_cast<std::uint8_t>(0x42 | rate), 0x88, 0x00});
        cmd("AT+FTM=" + carrier(bps), "CONNECT");
        data(std::vector<std::uint8_t>(bps / 100 * 18 / 10, 0));
        modem("\r\nOK\r\n");
        return receiveFrame(ok ? fcf::CFR : fcf::FTT);
    }
    Dialogue& page(int bps, bool complete = true) {
        cmd("AT+FTM=" + carrier(bps), "CONNECT");
        std::vector<std::uint8_t> bytes(400, 0x5A);
        bytes[7] = t30::kDLE; // stuffed in the stream
        if (!complete)
            return data(bytes, false);
        data(bytes);
        return modem("\r\nOK\r\n");
    }
    Dialogue& data(const std::vector<std::uint8_t>& bytes, bool end = true) {
        PortChunk c{now_, 'T', {}};
        for (auto b : bytes) {
            c.bytes.push_back(b);
            if (b == t30::kDLE)
                c.bytes.push_back(b);
        }
        if (end) {
            c.bytes.push_back(t30::kDLE);
            c.bytes.push_back(t30::kETX);
        }
        chunks.push_back(std::move(c));
        now_ += 1000;
        return *this;
    }

    // Data the modem hands over (a training check or a page), then the carrier's end.
    Dialogue& incoming(std::string_view command, std::size_t bytes) {
        cmd(command, "CONNECT");
        PortChunk c{now_, 'R', std::vector<std::uint8_t>(bytes, 0x21)};
        c.bytes.push_back(t30::kDLE);
        c.bytes.push_back(t30::kETX);
        chunks.push_back(std::move(c));
        now_ += 1000;
        return modem("\r\nNO CARRIER\r\n");
    }
    // Our frames after answering: CSI and DIS.
    Dialogue& answered() {
        cmd("ATA", "CONNECT");
        addFrame('T', fcf::CSI, idFif("5551234"), false);
        modem("\r\nCONNECT\r\n");
        addFrame('T', fcf::DIS, {0x00, 0x6E, 0xF9, 0x00}, true);
        return modem("\r\nOK\r\n");
    }

    static std::vector<std::uint8_t> idFif(std::string_view id) {
        const auto fif = faxengine::idFif(id);
        return {fif.begin(), fif.end()};
    }

    std::vector<PortChunk> chunks;

private:
    static std::string carrier(int bps) {
        return bps == 9600 ? "96" : bps == 7200 ? "72" : bps == 4800 ? "48" : "24";
    }
    Dialogue& add(char dir, std::string_view text) {
        chunks.push_back({now_, dir, {text.begin(), text.end()}});
        now_ += 50;
        return *this;
    }
    void addFrame(char dir, std::uint8_t f, const std::vector<std::uint8_t>& fif, bool final) {
        PortChunk c{now_, dir, {t30::kHdlcAddress, final ? t30::kHdlcControlFinal : t30::kHdlcControlNonFinal, f}};
        for (auto b : fif) {
            c.bytes.push_back(b);
            if (b == t30::kDLE)
                c.bytes.push_back(b);
        }
        c.bytes.push_back(t30::kDLE);
        c.bytes.push_back(t30::kETX);
        chunks.push_back(std::move(c));
        now_ += 300;
    }
    std::uint32_t now_ = 0;
};

Dialogue goodClass1Call() {
    Dialogue d;
    d.cmd("ATZ").cmd("AT+FCLASS=1").dialAnswered("200");
    d.sendFrame(fcf::TSIx, Dialogue::idFif("5551234"));
    d.train(9600, true).page(9600);
    d.sendFrame(fcf::EOPx).receiveFrame(fcf::MCF).sendFrame(fcf::DCNx).cmd("ATH0");
    return d;
}

} // namespace

TEST(CallReport, GoodClass1CallShowsAgreementPagesAndLadder) {
    const CallReport r = analyseCall(goodClass1Call().chunks, 0);
    EXPECT_EQ(r.cause, CallCause::Sent);
    EXPECT_TRUE(r.paramsKnown);
    EXPECT_EQ(r.bps, 9600);
    EXPECT_TRUE(r.fine);
    EXPECT_EQ(r.remoteId, "+1 555 0200");
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].sends, 1);
    EXPECT_TRUE(r.pages[0].confirmed);
    EXPECT_EQ(r.trainingFailures, 0);
    EXPECT_EQ(causeTopic(r.cause), 255);

    // The ladder names each message in order, with the right side.
    std::vector<std::string> names;
    for (const auto& s : r.steps)
        names.push_back(s.text.substr(0, s.text.find(' ')));
    const std::vector<std::string> expected = {"dial", "CSI", "DIS", "TSI", "DCS", "training", "CFR",
                                               "page", "EOP", "MCF", "DCN", "hang"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(r.steps[1].from, LadderSide::Remote);
    EXPECT_EQ(r.steps[4].from, LadderSide::Us);
    const std::string text = formatCallReport(r);
    EXPECT_NE(text.find("9600 bit/s, fine"), std::string::npos) << text;
}

TEST(CallReport, FailedCallsNameTheirCause) {
    Dialogue busy;
    busy.cmd("ATZ").cmd("ATDT301", "BUSY");
    EXPECT_EQ(analyseCall(busy.chunks, ec::FaxBusy).cause, CallCause::Busy);
    // The modem's word counts even when the engine reports something vaguer.
    EXPECT_EQ(analyseCall(busy.chunks, ec::FaxNoCarrier).cause, CallCause::Busy);

    Dialogue training;
    training.cmd("ATZ").dialAnswered("305");
    training.sendFrame(fcf::TSIx, Dialogue::idFif("5551234"));
    for (int bps : {9600, 7200, 4800, 2400})
        training.train(bps, false);
    training.sendFrame(fcf::DCNx).cmd("ATH0");
    for (int code : {ec::FaxTrainError, ec::FaxSessionError}) {
        const CallReport r = analyseCall(training.chunks, code);
        EXPECT_EQ(r.cause, CallCause::TrainingFailed) << code;
        EXPECT_EQ(r.trainingFailures, 4);
        EXPECT_TRUE(r.pages.empty());
        EXPECT_EQ(r.bps, 2400); // the last speed tried
    }

    Dialogue rtn;
    rtn.cmd("ATZ").dialAnswered("200").train(9600, true).page(9600);
    rtn.sendFrame(fcf::EOPx).receiveFrame(fcf::RTN);
    rtn.train(7200, true).page(7200).sendFrame(fcf::EOPx).receiveFrame(fcf::RTN);
    rtn.sendFrame(fcf::DCNx).cmd("ATH0");
    {
        const CallReport r = analyseCall(rtn.chunks, ec::FaxPageError);
        EXPECT_EQ(r.cause, CallCause::PageRejected);
        ASSERT_EQ(r.pages.size(), 1u); // the same page, sent twice
        EXPECT_EQ(r.pages[0].sends, 2);
        EXPECT_TRUE(r.pages[0].rejected);
        EXPECT_TRUE(r.pages[0].retrained);
        EXPECT_FALSE(r.pages[0].confirmed);
    }

    // The far end goes away while page 2 is on the line: its data never ends, and the
    // answer to it never comes.
    Dialogue hangup;
    hangup.cmd("ATZ").dialAnswered("304").train(9600, true).page(9600);
    hangup.sendFrame(fcf::MPSx).receiveFrame(fcf::MCF).page(9600, false);
    hangup.modem("\r\nNO CARRIER\r\n").cmd("ATH0");
    {
        const CallReport r = analyseCall(hangup.chunks, ec::FaxNoCarrier);
        EXPECT_EQ(r.cause, CallCause::HungUpMidPage);
        ASSERT_EQ(r.pages.size(), 2u);
        EXPECT_TRUE(r.pages[0].confirmed);
        EXPECT_FALSE(r.pages[1].confirmed);
    }
    Dialogue silentAfterPage;
    silentAfterPage.cmd("ATZ").dialAnswered("304").train(9600, true).page(9600).sendFrame(fcf::EOPx);
    for (int i = 0; i < 3; ++i)
        silentAfterPage.cmd("AT+FRH=3", "CONNECT\r\n\r\nNO CARRIER"); // the frame never comes
    EXPECT_EQ(analyseCall(silentAfterPage.chunks, ec::TimeOut).cause, CallCause::HungUpMidPage);

    Dialogue silentModem;
    silentModem.us("AT\r").us("AT\r");
    EXPECT_EQ(analyseCall(silentModem.chunks, ec::FaxInitError).cause, CallCause::ModemNotResponding);

    Dialogue noFax;
    noFax.cmd("ATZ").cmd("ATDT303", "NO CARRIER");
    EXPECT_EQ(analyseCall(noFax.chunks, ec::FaxNoCarrier).cause, CallCause::NoFaxAtOtherEnd);
    Dialogue noTone;
    noTone.cmd("ATZ").cmd("ATDT302", "NO DIALTONE");
    EXPECT_EQ(analyseCall(noTone.chunks, ec::FaxNoCarrier).cause, CallCause::NoDialTone);
}

TEST(CallReport, ReceivedCallShowsThePagesThatCameIn) {
    Dialogue d;
    d.cmd("ATZ").answered();
    d.receiveFrame(fcf::TSIx, Dialogue::idFif("+1 555 0200")).receiveFrame(fcf::DCSx, {0x00, 0x46, 0x88, 0x00});
    d.incoming("AT+FRM=96", 270).sendFrame(fcf::CFR);
    d.incoming("AT+FRM=96", 4000).receiveFrame(fcf::MPSx).sendFrame(fcf::MCF);
    d.incoming("AT+FRM=96", 4000).receiveFrame(fcf::EOPx).sendFrame(fcf::MCF).receiveFrame(fcf::DCNx);
    const CallReport r = analyseCall(d.chunks, 0);
    EXPECT_EQ(r.cause, CallCause::Sent);
    EXPECT_EQ(r.remoteId, "+1 555 0200");
    EXPECT_EQ(r.bps, 9600);
    EXPECT_TRUE(r.fine);
    ASSERT_EQ(r.pages.size(), 2u);
    EXPECT_TRUE(r.pages[0].confirmed && r.pages[1].confirmed);
    std::string first;
    for (const auto& s : r.steps)
        first += s.text.substr(0, s.text.find(' ')) + (s.from == LadderSide::Us ? ">" : "<") + " ";
    EXPECT_EQ(first.substr(0, 40), "CSI> DIS> TSI< DCS< training< CFR> page<") << first;

    // The caller goes away inside page 2.
    Dialogue cut;
    cut.cmd("ATZ").answered().receiveFrame(fcf::DCSx, {0x00, 0x46, 0x88, 0x00});
    cut.incoming("AT+FRM=96", 270).sendFrame(fcf::CFR);
    cut.incoming("AT+FRM=96", 4000).receiveFrame(fcf::MPSx).sendFrame(fcf::MCF);
    cut.cmd("AT+FRM=96", "CONNECT").modem(std::string(500, '!'));
    const CallReport r2 = analyseCall(cut.chunks, ec::TimeOut);
    EXPECT_EQ(r2.cause, CallCause::HungUpMidPage);
    ASSERT_EQ(r2.pages.size(), 2u);
    EXPECT_FALSE(r2.pages[1].confirmed);
}

TEST(CallReport, Class2ReportsGiveTheSameStory) {
    Dialogue d;
    d.cmd("AT+FCLASS=2").cmd("ATDT200", "+FCON\r\n+FCSI:\"+1 555 0200\"\r\n+FDIS:1,3,0,2,0,0,0,0\r\n"
                                        "+FDCS:1,3,0,2,0,0,0,0\r\nOK");
    d.cmd("AT+FDT", "CONNECT").data(std::vector<std::uint8_t>(300, 0x33));
    d.modem("\r\nOK\r\n").cmd("AT+FET=2", "+FPTS:1\r\n+FHNG:0\r\nOK");
    const CallReport good = analyseCall(d.chunks, 0);
    EXPECT_EQ(good.cause, CallCause::Sent);
    EXPECT_EQ(good.bps, 9600);
    EXPECT_TRUE(good.fine);
    EXPECT_EQ(good.remoteId, "+1 555 0200");
    ASSERT_EQ(good.pages.size(), 1u);
    EXPECT_TRUE(good.pages[0].confirmed);

    Dialogue cut;
    cut.cmd("AT+FCLASS=2").cmd("ATDT304", "+FCON\r\n+FDCS:1,3,0,2,0,0,0,0\r\nOK");
    cut.cmd("AT+FDT", "CONNECT").data(std::vector<std::uint8_t>(300, 0x33), false);
    cut.modem("\r\n+FHNG:50\r\nOK\r\n");
    EXPECT_EQ(analyseCall(cut.chunks, ec::FaxSessionError).cause, CallCause::HungUpMidPage);
}

TEST(CallReport, LogDumpsAndReportFilesReadBackTheSameCall) {
    const auto call = goodClass1Call().chunks;
    DispatchLog log;
    ASSERT_EQ(log.Start(1 << 20), 0);
    log.Add(LogType::Trigger, logsub::Data, 5, 1);
    for (const auto& c : call)
        log.Add(LogType::Dispatch, c.direction == 'T' ? logsub::WriteCom : logsub::ReadCom, c.timeMs,
                static_cast<std::uint32_t>(c.bytes.size()), c.bytes);
    ASSERT_EQ(chunksFromLog(log.Records()).size(), call.size());
    for (bool hex : {true, false}) {
        const auto back = chunksFromLogText(log.Format(hex));
        ASSERT_EQ(back.size(), call.size()) << hex;
        for (std::size_t i = 0; i < call.size(); ++i) {
            EXPECT_EQ(back[i].direction, call[i].direction);
            EXPECT_EQ(back[i].timeMs, call[i].timeMs);
            EXPECT_EQ(back[i].bytes, call[i].bytes) << "chunk " << i << (hex ? " hex" : " decimal");
        }
    }

    const auto dir = std::filesystem::temp_directory_path() / ("call_report_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = callReportPath(dir, "PVN_00042");
    EXPECT_EQ(file.filename(), "PVN_00042.call");
    ASSERT_EQ(writeCallReportFile(file, ec::FaxBusy, log.Format(true)), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(file).concat(".part")));
    const auto again = readCallReportFile(file);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->finishCode, ec::FaxBusy);
    EXPECT_EQ(again->steps.size(), analyseCall(call, 0).steps.size());
    EXPECT_FALSE(readCallReportFile(dir / "missing.call").has_value());
    std::filesystem::remove_all(dir);
}
