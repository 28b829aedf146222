// The session's command layer against a scripted modem on a pty: command exchanges,
// class detection, the capability query, frames as they leave the port, the reader,
// frame parsing, page output, start/finish and the APF file being sent.
#include "faxengine/fax_session.h"
#include "faxengine/posix_dispatcher.h"
#include "faxengine/tests/pty_modem.h"
#include "faxengine/engine_errors.h"
#include "faximage/mh_decoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>

using namespace faxengine;
using faxengine::test::PtyModem;
using faxengine::test::eventually;

namespace {

struct Notice {
    std::uint16_t msg;
    std::int32_t param;
    bool posted;
};

class RecordingSink : public FaxNoticeSink {
public:
    std::optional<std::int32_t> SendNotice(std::uint16_t msg, FaxSession&, std::int32_t param,
                                           std::chrono::milliseconds timeout) override {
        EXPECT_EQ(timeout, kNoticeTimeout);
        std::lock_guard g(lock);
        notices.push_back({msg, param, false});
        return 0;
    }
    void PostNotice(std::uint16_t msg, FaxSession&, std::int32_t param) override {
        std::lock_guard g(lock);
        notices.push_back({msg, param, true});
    }
    std::vector<Notice> Of(std::uint16_t msg) {
        std::lock_guard g(lock);
        std::vector<Notice> out;
        for (auto& n : notices)
            if (n.msg == msg)
                out.push_back(n);
        return out;
    }
    std::mutex lock;
    std::vector<Notice> notices;
};

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b)
        s.push_back(static_cast<char>(c));
    return s;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(modem.Path().empty());
        DispatcherOpenParams p;
        p.device = modem.Path();
        p.outSize = 16384;
        ASSERT_EQ(disp.Open(p), 0);
        modem.ReleaseSlave();
        session.port = &disp;
        session.owner = &sink;
        session.delay = [](std::chrono::milliseconds) {};
        session.responseTicks = 18; // about a second, for the timeout cases
    }
    // A modem that echoes commands and answers from a table (default OK).
    void Answer(std::map<std::string, std::string> answers, bool echo = true) {
        modem.Script([answers, echo](const std::string& line) {
            std::string out = echo ? line + "\r" : "";
            auto it = answers.find(line);
            return out + (it == answers.end() ? std::string("\r\nOK\r\n") : it->second);
        });
    }
    void Feed(const std::string& s, ReaderEvent want) {
        ReaderEvent last = ReaderEvent::None;
        for (char c : s)
            last = session.FeedByte(static_cast<std::uint8_t>(c));
        EXPECT_EQ(last, want);
    }

    PtyModem modem;
    TVelkPosixDispatcher disp;
    RecordingSink sink;
    FaxSession session{FaxRole::Transmit};
};

} // namespace

TEST_F(SessionTest, CommandWithOkOutcomes) {
    Answer({{"ATX9", "\r\nERROR\r\n"},
            {"ATI", "\r\nMODEM 1\r\n\r\nOK\r\n"},
            {"ATI2", "\r\nfirst\r\nsecond\r\n"},
            {"ATI3", "\r\nonly\r\n"},
            {"ATI4", "\r\n" + std::string(200, 'x') + "\r\n\r\nOK\r\n"},
            {"ATQ", ""}});
    std::string ans;
    EXPECT_EQ(session.CommandWithOK("AT"), OkResult::Ok); // echo skipped
    EXPECT_EQ(session.CommandWithOK("ATX9"), OkResult::Failed);
    EXPECT_EQ(session.CommandWithOK("ATI", &ans), OkResult::Ok);
    EXPECT_EQ(ans, "MODEM 1");
    EXPECT_EQ(session.CommandWithOK("ATI2", &ans), OkResult::OtherLine);
    EXPECT_EQ(ans, "first");
    EXPECT_EQ(session.CommandWithOK("ATI3"), OkResult::Failed); // no second line in time
    EXPECT_EQ(session.CommandWithOK("ATI4", &ans), OkResult::Ok);
    EXPECT_EQ(ans, std::string(128, 'x'));
    EXPECT_EQ(session.CommandWithOK("ATQ"), OkResult::Failed);
    // Dispatching is back on after every exchange.
    EXPECT_FALSE(disp.SetDispatchingNow(false)); // dispatching no longer held off
}

TEST_F(SessionTest, ClassDetection) {
    const std::pair<const char*, FaxClass> cases[] = {
        {"0,1,2,2.0", FaxClass::fcClass2_0},
        {"0,1,2", FaxClass::fcClass2},
        {"+FCLASS: 0,1,1.0", FaxClass::fcClass1},
    };
    for (auto& [list, want] : cases) {
        Answer({{"AT+FCLASS=?", std::string("\r\n") + list + "\r\n\r\nOK\r\n"}});
        session.faxClass = FaxClass::fcUnknown;
        EXPECT_EQ(session.DetectClass(), 0) << list;
        EXPECT_EQ(session.faxClass, want) << list;
    }
    Answer({{"AT+FCLASS=?", "\r\n0,1,2.0\r\n\r\nOK\r\n"}});
    EXPECT_EQ(session.QuerySupportedClasses(), 4 | 16);
    Answer({{"AT+FCLASS=?", "\r\n0,1,2,2.0\r\n\r\nOK\r\n"}});
    EXPECT_EQ(session.QuerySupportedClasses(), 4 | 8 | 16);

    // A set class is kept; a data-only modem or a dead init fails.
    session.faxClass = FaxClass::fcClass1;
    EXPECT_EQ(session.DetectClass(), 0);
    EXPECT_EQ(session.faxClass, FaxClass::fcClass1);
    Answer({{"AT+FCLASS=?", "\r\n0\r\n\r\nOK\r\n"}});
    session.faxClass = FaxClass::fcDetect;
    EXPECT_EQ(session.DetectClass(), ec::FaxBadModemResult);
    Answer({{session.defaultInit, "\r\nERROR\r\n"}});
    session.faxClass = FaxClass::fcDetect;
    EXPECT_EQ(session.DetectClass(), ec::FaxBadModemResult);
}

TEST_F(SessionTest, CapabilityQueryAndReceiveInitLimitSpeed) {
    Answer({{"AT+FTM=?", "\r\n24,48,72,73,74,96,97,98,121,122,145,146\r\n\r\nOK\r\n"},
            {"AT+FRM=?", "\r\n24,48,72,96\r\n\r\nOK\r\n"}});
    EXPECT_EQ(session.Class1CapabilityQuery(true), 0);
    EXPECT_EQ(session.modulation, 6);
    EXPECT_EQ(session.Class1CapabilityQuery(false), 0);
    EXPECT_EQ(session.modulation, 4);
    EXPECT_FALSE(session.localSupport[5]);

    FaxSession rx(FaxRole::Receive);
    rx.port = &disp;
    rx.delay = session.delay;
    rx.responseTicks = 18;
    rx.faxClass = FaxClass::fcClass1;
    rx.desiredBps = 7200;
    Answer({{"AT+FRM=?", "\r\n24,48,72,96,121,145\r\n\r\nOK\r\n"}});
    EXPECT_EQ(rx.InitReceive(), 0);
    EXPECT_EQ(rx.modulation, 3);
    EXPECT_EQ(rx.bps, 7200);
    EXPECT_TRUE(rx.modemInitialised);
    EXPECT_TRUE(rx.sessionActive);
}

TEST_F(SessionTest, Class2ReceiveInitSendsLocalIdAndAnswerMode) {
    std::vector<std::string> heard;
    std::mutex m;
    modem.Script([&](const std::string& line) {
        std::lock_guard g(m);
        heard.push_back(line);
        return std::string("\r\nOK\r\n");
    });
    FaxSession rx(FaxRole::Receive);
    rx.port = &disp;
    rx.delay = session.delay;
    rx.faxClass = FaxClass::fcClass2_0;
    rx.stationId = "555 0100";
    rx.SetModemInit("&f");
    ASSERT_EQ(rx.InitReceive(), 0);
    std::lock_guard g(m);
    EXPECT_EQ(heard, (std::vector<std::string>{"AT&F", "ATE0Q0V1X4S0=0S2=43", "AT+FCLASS=2.0",
                                               "AT+FCR=1", "AT+FLI=\"555 0100\"", "AT+FAA=0"}));
}

TEST_F(SessionTest, FramesAsTheyLeaveThePort) {
    session.stationId = "12345";
    session.SendIdFrame(fcf::TSIx);
    EXPECT_EQ(modem.Receive(25), bytes({0xFF, 0x03, 0x43}) + std::string(15, ' ') + "54321" +
                                     bytes({0x10, 0x03}));
    session.modulation = 4;
    session.scanTimeCode = 5;
    session.resolution = '1';
    session.SendDcsFrame();
    EXPECT_EQ(modem.Receive(9), bytes({0xFF, 0x13, 0x83, 0x00, 0x46, 0x88, 0x00, 0x10, 0x03}));
    EXPECT_EQ(session.modulationCode, "96");
    session.SendFcfFrame(fcf::MPSx);
    EXPECT_EQ(modem.Receive(5), bytes({0xFF, 0x13, 0x4F, 0x10, 0x03}));
    session.bps = 9600;
    session.SendTrainingCheck();
    const std::string tcf = modem.Receive(1730);
    EXPECT_EQ(tcf, std::string(1728, '\0') + bytes({0x10, 0x03}));
}

TEST_F(SessionTest, ReaderLinesAndFrames) {
    Feed("\r\n", ReaderEvent::None); // empty line ignored
    EXPECT_TRUE(session.response.empty());
    Feed("  CONNECT \r\n", ReaderEvent::Line);
    EXPECT_EQ(session.response, "CONNECT");
    EXPECT_TRUE(session.GotConnect());
    // An answer never sticks to the previous one, even when nobody reset the reader.
    Feed("\r\nNO CARRIER\r\n", ReaderEvent::Line);
    EXPECT_EQ(session.response, "NO CARRIER");
    EXPECT_TRUE(session.GotNoCarrier());
    EXPECT_FALSE(session.GotConnect());

    session.ResetReader();
    // A TSI whose ID puts CR LF and a doubled DLE on the wire: one frame, DLE once.
    const std::string id = "A\n\rB" + bytes({0x10, 0x10}) + "C";
    Feed(bytes({0xFF, 0x03, 0x43}) + std::string(14, ' ') + std::string(id.rbegin(), id.rend()) +
             bytes({0x10, 0x03}),
         ReaderEvent::Frame);
    EXPECT_EQ(session.ParseFrame(), 0);
    EXPECT_EQ(session.remoteId, "A\n\rB" + bytes({0x10}) + "C" + std::string(14, ' '));
    EXPECT_EQ(session.lastFcf, 0x43);
    EXPECT_FALSE(session.lastFrameFinal);
    EXPECT_EQ(session.faxStatus, 41);
}

TEST_F(SessionTest, ParsingDisDcsAndDcn) {
    auto frame = [&](std::initializer_list<int> b) {
        session.response = "\r\n" + bytes(b) + bytes({0x10, 0x03}); // junk before the address
        return session.ParseFrame();
    };
    // A V.17 far end with fine and wide; we ask for 9600 at most.
    session.localSupport = {false, true, true, true, true, true, true};
    session.desiredBps = 9600;
    EXPECT_EQ(frame({0xFF, 0x13, 0x80, 0x00, 0x6E, 0xF9, 0x00}), 0);
    EXPECT_TRUE(session.lastFrameFinal);
    EXPECT_EQ(session.modulation, 4);
    EXPECT_EQ(session.bps, 9600);
    EXPECT_TRUE(session.remoteFine && session.remoteWide);
    EXPECT_EQ(session.scanTimeCode, 0);
    EXPECT_EQ(session.faxStatus, 40);
    // Step-down walks only through speeds both sides have.
    session.remoteSupport[3] = false;
    EXPECT_TRUE(session.StepDownSpeed());
    EXPECT_EQ(session.bps, 4800);
    EXPECT_TRUE(session.StepDownSpeed());
    EXPECT_EQ(session.bps, 2400);
    EXPECT_FALSE(session.StepDownSpeed());

    // A fine page to a far end without fine.
    session.resolution = '1';
    EXPECT_EQ(frame({0xFF, 0x13, 0x80, 0x00, 0x0E, 0x78, 0x00}), ec::FaxBadMachine);
    ASSERT_EQ(sink.Of(faxmsg::Error).size(), 1u);
    EXPECT_EQ(sink.Of(faxmsg::Error)[0].param, ec::FaxBadMachine);
    EXPECT_EQ(session.lastError, ec::FaxBadMachine);

    // DCS at 14400, normal, 10 ms.
    EXPECT_EQ(frame({0xFF, 0x13, 0x83, 0x00, 0x22, 0xA8, 0x00}), 0);
    EXPECT_EQ(session.bps, 14400);
    EXPECT_EQ(session.modulationCode, "145");
    EXPECT_FALSE(session.fine);
    EXPECT_EQ(session.minLineBytes, 18);

    EXPECT_EQ(frame({0xFF, 0x13, 0x85}), 0);
    EXPECT_TRUE(session.cfrReceived);
    EXPECT_EQ(frame({0xFF, 0x13, 0x4C}), 0);
    EXPECT_TRUE(session.retrainRequested);
    EXPECT_EQ(frame({0xFF, 0x13, 0xFB}), ec::CancelRequested);
    EXPECT_TRUE(session.response.empty());
}

TEST_F(SessionTest, PageOutputStuffsFillsAndTopsUp) {
    session.minLineBytes = 18;
    session.WriteBlankLines(1);
    EXPECT_EQ(modem.Receive(19), bytes({0x00, 0x80, 0xB2, 0x59, 0x01, 0x00}) + std::string(13, '\0'));
    session.pageBytes = 0;
    const std::vector<std::uint8_t> line{0x00, 0x10, 0x01, 0x10, 0x10};
    ASSERT_EQ(session.WriteCodedLine(line), 0);
    EXPECT_EQ(modem.Receive(21), bytes({0x00, 0x10, 0x10, 0x01, 0x10, 0x10, 0x10, 0x10}) +
                                     std::string(13, '\0'));
    EXPECT_EQ(session.pageBytes, 18);
    session.minLineBytes = 6; // below 7: no fill after a blank line
    session.WriteBlankLines(2);
    EXPECT_EQ(modem.Receive(12).size(), 12u);
    // Lines longer than the minimum get no fill.
    std::vector<std::uint8_t> longLine(30, 0x55);
    ASSERT_EQ(session.WriteCodedLine(longLine), 0);
    EXPECT_EQ(modem.Receive(30), std::string(30, '\x55'));
    EXPECT_EQ(modem.Receive(1, std::chrono::milliseconds(100)), "");
}

TEST_F(SessionTest, StartRegistersTheStateProcedureAndFinishPostsTheError) {
    std::atomic<int> calls{0};
    std::atomic<std::uint32_t> firstParam{0};
    auto proc = [&](std::uint16_t msg, std::uint16_t, std::uint32_t param) {
        if (calls++ == 0 && msg == 0)
            firstParam = param;
    };
    ASSERT_EQ(session.Start(disp, &sink, [](FaxSession&) { return 0; }, proc), 0);
    EXPECT_GE(calls.load(), 1);
    EXPECT_EQ(firstParam.load(), static_cast<std::uint32_t>(disp.Handle()) << 16);
    EXPECT_GE(session.timeoutTrigger, 0);
    EXPECT_GE(session.modemStatusTrigger, 0);
    session.lastError = -8062;
    session.Finish();
    EXPECT_EQ(session.timeoutTrigger, -1);
    auto fin = sink.Of(faxmsg::Finish);
    ASSERT_EQ(fin.size(), 1u);
    EXPECT_TRUE(fin[0].posted);
    EXPECT_EQ(fin[0].param, -8062);

    // A failing init: last status, finish with its code, no state procedure.
    FaxSession other(FaxRole::Receive);
    calls = 0;
    EXPECT_EQ(other.Start(disp, &sink, [](FaxSession&) { return -8061; }, proc), -8061);
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(sink.Of(faxmsg::Finish).back().param, -8061);
    EXPECT_EQ(sink.Of(faxmsg::Status).back().param, 2);
}

TEST_F(SessionTest, ApfFileToSend) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("core-apf-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        faximage::ApfWriter w;
        ASSERT_EQ(w.create(dir / "fax.APF"), 0);
        const std::vector<std::uint8_t> l1{0x00, 0x10, 0x01}, l2{0x00, 0x80, 0xB2, 0x59, 0x01, 0x00};
        ASSERT_EQ(w.appendLine(l1, 0), 0);
        ASSERT_EQ(w.endPage(0), 0);
        ASSERT_EQ(w.appendLine(l2, faximage::kApfHighResolution), 0);
        ASSERT_EQ(w.endPage(faximage::kApfHighResolution), 0);
        ASSERT_EQ(w.close("ID"), 0);
    }
    EXPECT_EQ(session.OpenFaxFile((dir / "fax").string()), 0); // extension added
    EXPECT_EQ(session.fileHeader.pageCount, 2);
    EXPECT_EQ(session.LocatePage(3), -100);
    EXPECT_EQ(session.LocatePage(0), -100);
    session.resolution = '0';
    ASSERT_EQ(session.AdvancePage(), 0);
    EXPECT_EQ(session.currentPage, 1);
    EXPECT_TRUE(session.lengthWords);
    session.minLineBytes = 0;
    ASSERT_EQ(session.SendPageData(), 0);
    const std::string page1 = modem.Receive(4);
    EXPECT_EQ(page1.substr(0, 4), bytes({0x00, 0x10, 0x10, 0x01}));
    modem.Receive(100, std::chrono::milliseconds(200)); // end-of-page record
    ASSERT_EQ(session.AdvancePage(), 0);
    EXPECT_EQ(session.resolution, '1');
    EXPECT_EQ(session.prevResolution, '0');

    std::FILE* f = std::fopen((dir / "not.apf").c_str(), "wb");
    std::fputs("this is not a fax file at all, not even close to one....", f);
    std::fclose(f);
    EXPECT_EQ(session.OpenFaxFile((dir / "not.apf").string()), ec::FaxBadFormat);
    EXPECT_LT(session.OpenFaxFile((dir / "missing").string()), 0);
    fs::remove_all(dir);
}

TEST_F(SessionTest, HeaderLineGoesOutAsDecodableMhRows) {
    session.headerLine = "Page $P of $N";
    session.currentPage = 1;
    session.pageCount = 1;
    session.minLineBytes = 18;
    session.resolution = '1';
    ASSERT_EQ(session.PrepareConverter(false), 0);
    ASSERT_EQ(session.SendHeaderLine(), 0);
    const int cell = faximage::textCellHeight(*session.converter);
    ASSERT_GT(cell, 0);
    std::string wire = modem.Receive(static_cast<std::size_t>(cell) * 2 * 18);
    wire += modem.Receive(1 << 20, std::chrono::milliseconds(300));
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        data.push_back(static_cast<std::uint8_t>(wire[i]));
        if (wire[i] == '\x10') {
            ASSERT_LT(i + 1, wire.size());
            ASSERT_EQ(wire[i + 1], '\x10') << "unstuffed DLE at " << i;
            ++i;
        }
    }
    struct Rows : faximage::MhLineSink {
        std::vector<std::vector<std::uint8_t>> rows;
        bool onLine(std::span<const std::uint8_t> l) override {
            rows.emplace_back(l.begin(), l.end());
            return true;
        }
    } sink;
    faximage::MhDecoder dec;
    dec.feed(data, sink);
    // Three EOLs close the stream so the last row is handed over.
    const std::uint8_t rtc[] = {0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08};
    dec.feed(rtc, sink);
    EXPECT_EQ(dec.badCodes(), 0);
    ASSERT_EQ(sink.rows.size(), static_cast<std::size_t>(cell) * 2);
    bool black = false;
    for (std::size_t r = 0; r < sink.rows.size(); r += 2) {
        EXPECT_EQ(sink.rows[r], sink.rows[r + 1]) << "fine rows come in pairs";
        EXPECT_EQ(sink.rows[r].size(), 216u);
        for (auto b : sink.rows[r])
            black = black || b != 0;
    }
    EXPECT_TRUE(black);
}

TEST_F(SessionTest, HangupSequencesAndPortSpeeds) {
    std::vector<std::chrono::milliseconds> waits;
    session.delay = [&](std::chrono::milliseconds ms) { waits.push_back(ms); };
    session.ReceiveHangup();
    EXPECT_EQ(modem.Receive(7), "+++ATH\r");
    // DTR low and high (500 ms each), then the guard times around "+++" and after ATH.
    using std::chrono::milliseconds;
    EXPECT_EQ(waits, (std::vector<milliseconds>{milliseconds(500), milliseconds(500), milliseconds(1000),
                                                milliseconds(1000), faxtime::CommandPreDelay,
                                                milliseconds(1000)}));
    EXPECT_TRUE(disp.DTR());
    waits.clear();
    // A pty shows no carrier detect, so the carrier may be up: escape, hang up, drop DTR,
    // and the hang-up command once more. The bytes are not compared here: with the waits not
    // slept, the flush of the DTR drop races the escape on its way out (the abort tests on
    // the virtual line run this sequence in real time).
    session.ForcedHangup();
    EXPECT_EQ(waits, (std::vector<milliseconds>{milliseconds(1000), milliseconds(1000), faxtime::CommandPreDelay,
                                                milliseconds(1000), milliseconds(500), milliseconds(500),
                                                faxtime::CommandPreDelay, milliseconds(1000)}));
    EXPECT_TRUE(disp.DTR());

    // InitBaud: the modem is set up at InitBaud, faxes run at NormalBaud.
    EXPECT_EQ(disp.GetLine().baud, 19200);
    session.SetInitBaud(38400, 0);
    EXPECT_EQ(disp.GetLine().baud, 38400);
    EXPECT_EQ(session.normalBaud, 19200);
    session.SwitchToSessionSpeed();
    EXPECT_EQ(disp.GetLine().baud, 19200);
    session.SwitchToIdleSpeed();
    EXPECT_EQ(disp.GetLine().baud, 38400);
    session.SwitchToIdleSpeed(); // already there: no pause, no change
    EXPECT_EQ(disp.GetLine().baud, 38400);
    session.SetInitBaud(0);
    session.SwitchToSessionSpeed();
    EXPECT_EQ(disp.GetLine().baud, 19200);
}
