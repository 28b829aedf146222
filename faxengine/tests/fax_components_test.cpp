// The fax components with a stand-in engine: a thread that raises the notices a state
// machine raises, through the same sink, while the test thread pumps like an owner.
#include "faxengine/receive_fax.h"
#include "faxengine/send_fax.h"
#include "faxengine/fax_status_display.h"
#include "faxengine/engine_errors.h"
#include "faximage/apf_file.h"
#include "pty_modem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

using namespace faxengine;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "pvn-faxcomp-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

fs::path makeApf(const fs::path& p, int pages) {
    faximage::ApfWriter w;
    EXPECT_EQ(w.create(p), 0);
    for (int i = 0; i < pages; ++i) {
        EXPECT_EQ(w.beginRawPage(0), 0);
        std::vector<std::uint8_t> data(16, 0x55);
        EXPECT_EQ(w.appendRaw(data), 0);
        EXPECT_EQ(w.endRawPage(), 0);
    }
    EXPECT_EQ(w.close("ID"), 0);
    return p;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A machine whose engine thread runs `script` with the session and the sink.
struct ScriptedMachine {
    using Script = std::function<void(FaxSession&, FaxNoticeSink&)>;
    std::thread engine;
    Script script;
    int aborts = 0;

    FaxMachine machine() {
        FaxMachine m;
        m.start = [this](FaxSession& s, TVelkBaseDispatcher&, FaxNoticeSink& sink) {
            engine = std::thread([this, &s, &sink] { script(s, sink); });
            return 0;
        };
        m.abort = [this](FaxSession&) { ++aborts; };
        return m;
    }
    ~ScriptedMachine() {
        if (engine.joinable())
            engine.join();
    }
};

std::optional<std::int32_t> notify(FaxNoticeSink& sink, FaxSession& s, std::uint16_t msg, int param) {
    return sink.SendNotice(msg, s, param, kNoticeTimeout);
}

void pumpUntilIdle(TVelkCustomAbstractFax& fax) {
    auto end = std::chrono::steady_clock::now() + 10s;
    while (fax.Busy() && std::chrono::steady_clock::now() < end)
        fax.Notices().waitAndPump(20ms);
}

struct Display : TVelkAbstractFaxStatus {
    std::vector<std::string>* trace = nullptr;
    void UpdateDisplay(bool first, bool last) override {
        trace->push_back(std::string("display ") + (first ? "first" : last ? "last" : "-") + " " +
                         std::to_string(Fax()->FaxProgress()));
    }
};

struct FaxComponents : ::testing::Test {
    test::PtyModem modem;
    TVelkComPort port;
    TempDir dir;
    void SetUp() override {
        port.SetAutoOpen(true);
        port.SetPromptForPort(false);
        port.SetDevicePath(modem.Path());
    }
};

} // namespace

TEST_F(FaxComponents, SendJoinsTheListSendsItOnceAndRemovesTheJoinedFile) {
    std::vector<std::string> files = {makeApf(dir.path() / "a.apf", 1).string(),
                                      makeApf(dir.path() / "b.apf", 2).string(),
                                      makeApf(dir.path() / "c.apf", 3).string()};
    ScriptedMachine sm;
    int pagesSeen = -1;
    bool secondFax = true;
    std::string sentFile;
    sm.script = [&](FaxSession& s, FaxNoticeSink& sink) {
        s.faxStatus = 1;
        notify(sink, s, faxmsg::Status, 1);
        if (notify(sink, s, faxmsg::NextFax, 0).value_or(0)) {
            sentFile = s.faxFileName;
            faximage::ApfReader r;
            if (r.open(s.faxFileName) == 0)
                pagesSeen = r.pageCount();
        }
        notify(sink, s, faxmsg::Log, 1);
        s.lastError = -8064;
        s.hangupCode = 0;
        notify(sink, s, faxmsg::Error, -8064);
        notify(sink, s, faxmsg::Log, 3);
        secondFax = notify(sink, s, faxmsg::NextFax, 0).value_or(1) != 0;
        s.faxStatus = 43;
        notify(sink, s, faxmsg::Status, 2);
        sink.PostNotice(faxmsg::Finish, s, -8064);
    };

    std::vector<std::string> trace;
    Display display;
    display.trace = &trace;
    TVelkFaxLog log;
    log.SetFaxHistoryName((dir.path() / "VELKFAX.HIS").string());
    TVelkSendFax fax(sm.machine());
    fax.SetComPort(&port);
    fax.SetStatusDisplay(&display);
    fax.SetFaxLog(&log);
    EXPECT_EQ(display.Fax(), &fax);
    EXPECT_EQ(log.Fax(), &fax);
    fax.SetTempDirectory(dir.path());
    fax.SetFaxFileList(files);
    fax.SetPhoneNumber("5550100");
    fax.OnFaxStatus = [&](TVelkCustomAbstractFax&, bool first, bool last) {
        trace.push_back(std::string("event ") + (first ? "first" : last ? "last" : "-"));
    };
    fax.OnFaxError = [&](TVelkCustomAbstractFax&, int code) { trace.push_back("error " + std::to_string(code)); };
    bool tempGoneAtFinish = false;
    int finishCode = 0;
    fax.OnFaxFinish = [&](TVelkCustomAbstractFax&, int code) {
        finishCode = code;
        tempGoneAtFinish = !sentFile.empty() && !fs::exists(sentFile);
    };

    fax.StartSending();
    EXPECT_TRUE(fax.Busy());
    EXPECT_FALSE(fax.TempFile().empty());
    pumpUntilIdle(fax);
    sm.engine.join();

    EXPECT_EQ(pagesSeen, 6);
    EXPECT_FALSE(secondFax);
    EXPECT_TRUE(tempGoneAtFinish);
    EXPECT_EQ(finishCode, -8064);
    EXPECT_EQ(fax.LastError(), -8064);
    EXPECT_EQ(fax.FaxFileList(), files); // the list is the user's, not the joined file
    std::vector<std::string> want = {"display first 1", "event first", "error -8064", "display last 43",
                                     "event last"};
    EXPECT_EQ(trace, want);

    std::string his = readFile(dir.path() / "VELKFAX.HIS");
    for (const auto& f : files)
        EXPECT_NE(his.find("Transmit " + f + " to 5550100 started at "), std::string::npos) << his;
    EXPECT_NE(his.find("\r\n  (Called fax number was busy) 0\r\n\r\n"), std::string::npos) << his;
}

TEST_F(FaxComponents, SendWithNextHandlerTakesItsFaxesAndJoinsNothing) {
    ScriptedMachine sm;
    std::vector<std::string> got;
    sm.script = [&](FaxSession& s, FaxNoticeSink& sink) {
        while (notify(sink, s, faxmsg::NextFax, 0).value_or(0))
            got.push_back(s.phoneNumber + "|" + s.faxFileName + "|" + s.coverFileName);
        sink.PostNotice(faxmsg::Finish, s, 0);
    };
    TVelkSendFax fax(sm.machine());
    fax.SetComPort(&port);
    fax.SetTempDirectory(dir.path());
    fax.SetFaxFileList({"x.apf", "y.apf"});
    int calls = 0;
    fax.OnFaxNext = [&](TVelkCustomAbstractFax&, std::string& phone, std::string& file, std::string& cover) {
        if (++calls <= 2) {
            phone = "55501" + std::to_string(calls);
            file = "f" + std::to_string(calls) + ".apf";
            cover = calls == 1 ? "cover.txt" : "";
        }
    };
    fax.StartSending();
    EXPECT_TRUE(fax.TempFile().empty());
    pumpUntilIdle(fax);
    sm.engine.join();
    EXPECT_EQ(got, (std::vector<std::string>{"555011|f1.apf|cover.txt", "555012|f2.apf|"}));
    EXPECT_EQ(fax.PhoneNumber(), ""); // the last, empty answer was copied too
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(FaxComponents, ReceiveRefusedCallAndNamedFile) {
    fs::path in = dir.path() / "in";
    fs::create_directory(in);
    std::ofstream(in / "FAX0001.APF");
    std::ofstream(in / "FAX0002.APF");
    ScriptedMachine sm;
    bool firstAccepted = true, secondAccepted = false;
    std::string name;
    sm.script = [&](FaxSession& s, FaxNoticeSink& sink) {
        firstAccepted = notify(sink, s, faxmsg::Accept, 0).value_or(1) != 0;
        notify(sink, s, faxmsg::Log, 6);
        secondAccepted = notify(sink, s, faxmsg::Accept, 0).value_or(0) != 0;
        notify(sink, s, faxmsg::FileName, 0);
        name = s.faxFileName;
        s.remoteId = "FAR END";
        notify(sink, s, faxmsg::Log, 4);
        sink.PostNotice(faxmsg::Finish, s, 0);
    };
    TVelkFaxLog log;
    log.SetFaxHistoryName((dir.path() / "h.his").string());
    TVelkReceiveFax fax(sm.machine());
    fax.SetComPort(&port);
    fax.SetFaxLog(&log);
    fax.SetDestinationDir(in.string());
    EXPECT_EQ(fax.DestinationDir(), in.string() + "/");
    int offers = 0;
    fax.OnFaxAccept = [&](TVelkCustomAbstractFax&, bool& accept) { accept = ++offers > 1; };
    std::vector<TFaxLogCode> codes;
    std::vector<std::string> fileAtLog;
    fax.OnFaxLog = [&](TVelkCustomAbstractFax& f, TFaxLogCode c) {
        codes.push_back(c);
        fileAtLog.push_back(f.FaxFile());
    };
    fax.StartReceiving();
    pumpUntilIdle(fax);
    sm.engine.join();
    EXPECT_FALSE(firstAccepted);
    EXPECT_TRUE(secondAccepted);
    EXPECT_EQ(name, (in / "FAX0003.APF").string());
    EXPECT_EQ(fax.FaxFile(), name);
    EXPECT_EQ(codes, (std::vector<TFaxLogCode>{TFaxLogCode::lfaxReceiveSkip, TFaxLogCode::lfaxReceiveStart}));
    std::string his = readFile(dir.path() / "h.his");
    EXPECT_EQ(his.rfind("Receive skipped at ", 0), 0u) << his;
    EXPECT_NE(his.find("\r\n\r\nReceive " + name + " from FAR END started at "), std::string::npos) << his;
}

TEST_F(FaxComponents, ReceiveWithoutHandlersAcceptsAndNamedByHandlerWhenGiven) {
    ScriptedMachine sm;
    bool accepted = false;
    std::string name;
    sm.script = [&](FaxSession& s, FaxNoticeSink& sink) {
        accepted = notify(sink, s, faxmsg::Accept, 0).value_or(0) != 0;
        s.faxFileName = "old";
        notify(sink, s, faxmsg::FileName, 0);
        name = s.faxFileName;
        notify(sink, s, faxmsg::Log, 7);
        sink.PostNotice(faxmsg::Finish, s, -8069);
    };
    TVelkReceiveFax fax(sm.machine());
    fax.SetComPort(&port);
    fax.OnFaxName = [](TVelkCustomAbstractFax&, std::string& n) { n += ".mine"; };
    fax.StartReceiving();
    pumpUntilIdle(fax);
    sm.engine.join();
    EXPECT_TRUE(accepted);
    EXPECT_EQ(name, "old.mine");
    EXPECT_EQ(fax.FaxFile(), ""); // cleared after a failed receive
}

TEST_F(FaxComponents, StartChecksThePortAndTheMachine) {
    ScriptedMachine sm;
    sm.script = [](FaxSession& s, FaxNoticeSink& sink) { sink.PostNotice(faxmsg::Finish, s, 0); };
    TVelkSendFax fax(sm.machine());
    fax.SetPhoneNumber("1");
    EXPECT_THROW(fax.StartSending(), EPortNotAssigned);
    fax.SetComPort(&port);
    port.SetOutSize(4096);
    EXPECT_THROW(fax.StartSending(), EOutputBufferTooSmall);
    port.SetOutSize(8192);
    EXPECT_FALSE(fax.Busy());

    // A list with a file that is not a fax fails at the start, leaving nothing behind.
    std::ofstream(dir.path() / "note.txt") << std::string(100, 'x');
    fax.SetTempDirectory(dir.path() / "tmp");
    fs::create_directory(dir.path() / "tmp");
    fax.SetFaxFileList({makeApf(dir.path() / "a.apf", 1).string(), (dir.path() / "note.txt").string()});
    EXPECT_THROW(fax.StartSending(), faximage::EFaxBadFormat);
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
    EXPECT_FALSE(fax.Busy());

    TVelkReceiveFax none(FaxMachine{});
    none.SetComPort(&port);
    try {
        none.StartReceiving();
        ADD_FAILURE() << "no exception";
    } catch (const faximage::EVelkException& e) {
        EXPECT_NE(std::string(e.what()).find(kMachineMissingText), std::string::npos);
    }
}

TEST_F(FaxComponents, AbortReachesOnlyARunningSession) {
    ScriptedMachine sm;
    std::atomic<bool> release{false};
    sm.script = [&](FaxSession& s, FaxNoticeSink& sink) {
        while (!release)
            std::this_thread::sleep_for(1ms);
        s.faxStatus = 42;
        notify(sink, s, faxmsg::Status, 2);
        sink.PostNotice(faxmsg::Finish, s, -6005);
    };
    TVelkSendFax fax(sm.machine());
    fax.SetComPort(&port);
    fax.SetPhoneNumber("1");
    fax.AbortFax();
    EXPECT_EQ(sm.aborts, 0);
    fax.StartSending();
    fax.AbortFax();
    EXPECT_EQ(sm.aborts, 1);
    int finish = 0;
    fax.OnFaxFinish = [&](TVelkCustomAbstractFax&, int code) { finish = code; };
    release = true;
    pumpUntilIdle(fax);
    sm.engine.join();
    EXPECT_EQ(finish, -6005);
    EXPECT_EQ(fax.FaxProgress(), 42);
    fax.AbortFax();
    EXPECT_EQ(sm.aborts, 1);
}

TEST(FaxComponentDefaults, PropertiesStartAsDocumented) {
    TVelkSendFax s(FaxMachine{});
    EXPECT_EQ(s.FaxClass(), TFaxClass::fcUnknown);
    EXPECT_EQ(s.DesiredBPS(), 9600);
    EXPECT_FALSE(s.DesiredECM());
    EXPECT_EQ(s.FaxFileExt(), "APF");
    EXPECT_EQ(s.StatusInterval(), 1);
    EXPECT_TRUE(s.DetectBusy());
    EXPECT_TRUE(s.ToneDial());
    EXPECT_FALSE(s.BlindDial());
    EXPECT_EQ(s.DialWait(), 60);
    EXPECT_EQ(s.DialRetryWait(), 60);
    EXPECT_EQ(s.DialAttempts(), 3);
    EXPECT_EQ(s.MaxSendCount(), 50);
    EXPECT_EQ(s.BufferMinimum(), 1000);
    EXPECT_TRUE(s.SafeMode());
    EXPECT_TRUE(s.MPSEnabled());
    EXPECT_EQ(s.DialAttempt(), 1);
    s.SetFaxFileList({"a", "b"});
    EXPECT_EQ(s.FaxFile(), "a");
    s.SetFaxFile("c");
    EXPECT_EQ(s.FaxFileList(), std::vector<std::string>{"c"});
    s.SetModemInit("s7=60");
    EXPECT_EQ(s.ModemInit(), "ATS7=60");

    TVelkReceiveFax r(FaxMachine{});
    EXPECT_EQ(r.FaxClass(), TFaxClass::fcDetect);
    EXPECT_EQ(r.AnswerOnRing(), 1);
    EXPECT_FALSE(r.FaxAndData());
    EXPECT_FALSE(r.OneFax());
    EXPECT_EQ(r.FaxNamingMode(), 1);
    EXPECT_EQ(r.DestinationDir(), "");

    TVelkFaxLog log;
    EXPECT_EQ(log.FaxHistoryName(), "VELKFAX.HIS");
    {
        TVelkReceiveFax shortLived(FaxMachine{});
        shortLived.SetFaxLog(&log);
    }
    EXPECT_EQ(log.Fax(), nullptr); // a destroyed fax leaves no dangling binding
}
