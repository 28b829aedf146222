// Whole calls in real time through the virtual line's Class 2 and Class 2.0 modems: our
// send and receive components against the line's far end (its own T.30 engine), against
// efax on another modem and against our own Class 1 side; and class detection against
// modems that offer different classes. Every stored page is decoded again and compared
// with the page that was sent.
#include "faxengine/receive_fax.h"
#include "faxengine/send_fax.h"
#include "faxengine/posix_dispatcher.h"
#include "faxengine/engine_errors.h"
#include "faximage/apf_file.h"
#include "vline_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <thread>
#include "oracle_skip.h"
#include "spawn_shell.h"

namespace faxengine {
namespace {

using namespace linetest;
using namespace std::chrono_literals;

constexpr int kLeadingBlankLines = 8; // white lines our sender puts before every page
// The line's modems do only Class 1 unless told otherwise.
constexpr const char* kAllClasses = "0,1,2,2.0";

// Modems 100 and 101 with every class; `more` goes to 101 (the answering one).
std::string twoModems(const std::string& more = {}) {
    return std::string("[modem 100]\nclasses = ") + kAllClasses + "\n[modem 101]\nclasses = " + kAllClasses + "\n" +
           more;
}

struct Outcome {
    bool finished = false;
    int finish = 1;
    std::vector<int> logs;
    std::vector<int> errors;
    std::vector<std::string> files; // receive: the files named, in order
    int pages = 0;
    std::string remoteId;
};

void pump(TVelkCustomAbstractFax& fax, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (fax.Busy() && std::chrono::steady_clock::now() < end)
        fax.Notices().waitAndPump(50ms);
}

void watch(TVelkCustomAbstractFax& fax, Outcome& o) {
    fax.OnFaxLog = [&o](TVelkCustomAbstractFax&, TFaxLogCode c) { o.logs.push_back(static_cast<int>(c)); };
    fax.OnFaxError = [&o](TVelkCustomAbstractFax&, int c) { o.errors.push_back(c); };
    fax.OnFaxFinish = [&o](TVelkCustomAbstractFax&, int c) {
        o.finish = c;
        o.finished = true;
    };
}

// A port whose serial data is traced into `trace` when the fax is over.
struct Port {
    TVelkComPort port;
    Port(const std::string& device, const fs::path& trace) {
        port.SetPromptForPort(false);
        port.SetDevicePath(device);
        port.SetTraceSize(400000);
        port.SetTraceName(trace.string());
        port.SetLogSize(1000000);
        port.SetLogName(trace.string() + ".log");
    }
    void startTrace() {
        port.SetTracing(TTraceLogState::tlOn);
        port.SetLogging(TTraceLogState::tlOn);
    }
    void dumpTrace() {
        if (!port.HasDispatcher())
            return;
        port.SetTracing(TTraceLogState::tlDump);
        port.SetLogging(TTraceLogState::tlDump);
    }
};

class Class2Call : public VlineTest {
protected:
    void SetUp() override {
        VlineTest::SetUp();
        if (IsSkipped())
            return;
        fs::create_directories(dir_ / "in");
    }

    // Our sender on `device` in class `cls`, one fax of the given files to `number`.
    Outcome send(const std::string& device, TFaxClass cls, const std::string& number,
                 const std::vector<fs::path>& files, const std::function<void(TVelkSendFax&)>& tune = {}) {
        Port p(device, dir_ / ("send-" + std::to_string(++traces_) + ".trc"));
        TVelkSendFax fax;
        fax.SetComPort(&p.port);
        fax.SetFaxClass(cls);
        fax.SetStationID("+1 555 0100");
        fax.SetDesiredBPS(9600);
        fax.SetExitOnError(true);
        fax.SetTempDirectory(dir_);
        std::vector<std::string> names;
        for (const auto& f : files)
            names.push_back(f.string());
        fax.SetFaxFileList(names);
        fax.SetPhoneNumber(number);
        if (tune)
            tune(fax);
        Outcome o;
        watch(fax, o);
        fax.StartSending();
        p.startTrace();
        pump(fax, 240s);
        p.dumpTrace();
        EXPECT_FALSE(fax.Busy());
        o.pages = fax.TotalPages();
        o.remoteId = fax.RemoteID();
        if (fax.Busy())
            fax.AbortFax();
        return o;
    }

    // Our receiver on `device` in class `cls` for one call; `whileWaiting` starts the caller.
    Outcome receive(const std::string& device, TFaxClass cls, const std::function<void()>& whileWaiting = {}) {
        Port p(device, dir_ / ("receive-" + std::to_string(++traces_) + ".trc"));
        TVelkReceiveFax fax;
        fax.SetComPort(&p.port);
        fax.SetFaxClass(cls);
        fax.SetStationID("+1 555 0101");
        fax.SetDesiredBPS(9600);
        fax.SetOneFax(true);
        fax.SetExitOnError(true);
        fax.SetDestinationDir((dir_ / "in").string());
        Outcome o;
        watch(fax, o);
        fax.OnFaxName = [&o, this](TVelkCustomAbstractFax&, std::string& name) {
            name = (dir_ / "in" / ("rx" + std::to_string(o.files.size() + 1) + ".apf")).string();
            o.files.push_back(name);
        };
        fax.StartReceiving();
        p.startTrace();
        if (whileWaiting)
            whileWaiting();
        pump(fax, 240s);
        p.dumpTrace();
        EXPECT_FALSE(fax.Busy());
        o.remoteId = fax.RemoteID();
        if (fax.Busy())
            fax.AbortFax();
        return o;
    }

    // The far end's stored TIFF of the last call and its page count.
    fs::path farEndTiff(int expectPages) {
        const std::string r = lastResult();
        EXPECT_EQ(resultField(r, "result"), "0") << r;
        EXPECT_EQ(resultField(r, "pages"), std::to_string(expectPages)) << r;
        return resultField(r, "file");
    }

    int traces_ = 0;

    // Our sender on COM1 (class `txClass`) calls our receiver on COM2 (class `rxClass`).
    void both(TFaxClass txClass, TFaxClass rxClass, const std::vector<fs::path>& files, Outcome& tx,
              Outcome& rx) {
        Port rp(line_->portPath(2), dir_ / "receive.trc");
        TVelkReceiveFax r;
        r.SetComPort(&rp.port);
        r.SetFaxClass(rxClass);
        r.SetStationID("+1 555 0101");
        r.SetOneFax(true);
        r.SetExitOnError(true);
        r.SetDestinationDir((dir_ / "in").string());
        watch(r, rx);
        r.OnFaxName = [&rx, this](TVelkCustomAbstractFax&, std::string& name) {
            name = (dir_ / "in" / ("rx" + std::to_string(rx.files.size() + 1) + ".apf")).string();
            rx.files.push_back(name);
        };
        r.StartReceiving();
        rp.startTrace();

        Port sp(line_->portPath(1), dir_ / "send.trc");
        TVelkSendFax t;
        t.SetComPort(&sp.port);
        t.SetFaxClass(txClass);
        t.SetStationID("+1 555 0100");
        t.SetExitOnError(true);
        t.SetTempDirectory(dir_);
        std::vector<std::string> names;
        for (const auto& f : files)
            names.push_back(f.string());
        t.SetFaxFileList(names);
        t.SetPhoneNumber("101");
        watch(t, tx);
        t.StartSending();
        sp.startTrace();
        const auto end = std::chrono::steady_clock::now() + 300s;
        while ((t.Busy() || r.Busy()) && std::chrono::steady_clock::now() < end) {
            t.Notices().waitAndPump(20ms);
            r.Notices().waitAndPump(20ms);
        }
        EXPECT_FALSE(t.Busy());
        EXPECT_FALSE(r.Busy());
        sp.dumpTrace();
        rp.dumpTrace();
        tx.remoteId = t.RemoteID();
        rx.remoteId = r.RemoteID();
        if (t.Busy())
            t.AbortFax();
        if (r.Busy())
            r.AbortFax();
    }

    // What the line logged of its calls (the modems' commands among it).
    std::string callLogs() const {
        std::string all;
        for (const auto& e : fs::directory_iterator(dir_ / "logs"))
            if (e.path().filename().string().rfind("call-", 0) == 0 && e.path().extension() == ".log")
                all += slurp(e.path());
        return all;
    }

    // A short text page of our converter.
    fs::path page(const std::string& name, const std::string& text,
                  faximage::TFaxResolution res = faximage::TFaxResolution::frNormal) {
        return makeTextApf(name, text + "\n\n  The quick brown fox jumps over the lazy dog.\n", res);
    }

    // A short text page as a G3 TIFF made by efix (fine unless `normal`).
    fs::path tiffPage(const std::string& name, const std::string& text, bool normal = false) {
        std::ofstream(dir_ / (name + ".txt")) << text << "\n\n  0123456789 The quick brown fox.\n";
        EXPECT_EQ(run("cd '" + dir_.string() + "' && efix -i text -o tiffg3 " + (normal ? "-r 204x98 " : "") +
                      "-n " + name + ".tif " + name + ".txt 2>/dev/null"),
                  0);
        return dir_ / (name + ".tif");
    }
};

void expectOk(const Outcome& o, std::vector<int> logs) {
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.finish, 0);
    EXPECT_TRUE(o.errors.empty()) << o.errors.front();
    EXPECT_EQ(o.logs, logs);
}

// Rows of our page (leading white lines aside) against the far end's page.
void expectSentPage(const fs::path& apf, int apfPage, const fs::path& tiff, int tiffPage) {
    const Page sent = decodeApf(apf, apfPage);
    const Page got = decodeTiff(tiff, tiffPage);
    ASSERT_GE(got.rows.size(), static_cast<std::size_t>(kLeadingBlankLines));
    EXPECT_EQ(differingRows(sent, got, kLeadingBlankLines), 0) << apf << " page " << apfPage;
    Page lead;
    lead.rows.assign(kLeadingBlankLines, std::string(got.rows.front().size(), '\0'));
    Page head = got;
    head.rows.resize(kLeadingBlankLines);
    EXPECT_EQ(differingRows(lead, head), 0);
}

class EachClass : public Class2Call, public ::testing::WithParamInterface<TFaxClass> {};

std::string className(const ::testing::TestParamInfo<TFaxClass>& i) {
    return i.param == TFaxClass::fcClass2 ? "Class2" : "Class20";
}

// Three pages, the third fine: the class's way of changing resolution between pages.
TEST_P(EachClass, SendsPagesWithAResolutionChangeToTheFarEnd) {
    const fs::path a = page("a", "First page, normal");
    const fs::path b = page("b", "Second page, normal");
    const fs::path c = page("c", "Third page, fine", faximage::TFaxResolution::frHigh);
    startLine({"--ecm", "off", "--classes", kAllClasses});
    const Outcome o = send(line_->portPath(1), GetParam(), "200", {a, b, c});
    stopLine();
    expectOk(o, {1, 2});
    EXPECT_EQ(o.pages, 3);
    EXPECT_NE(o.remoteId.find("+1 555 0200"), std::string::npos) << o.remoteId;
    const fs::path tiff = farEndTiff(3);
    ASSERT_EQ(tiffPageCount(tiff), 3);
    expectSentPage(a, 1, tiff, 0);
    expectSentPage(b, 1, tiff, 1);
    expectSentPage(c, 1, tiff, 2);
    // The modem was told of the change the class's way.
    const std::string log = callLogs();
    if (GetParam() == TFaxClass::fcClass2) {
        EXPECT_NE(log.find("AT+FET=1"), std::string::npos);
        EXPECT_NE(log.find("AT+FDIS=1"), std::string::npos);
    } else {
        EXPECT_NE(log.find("AT+FIS=1"), std::string::npos);
    }
}

// The far end sends two normal pages and a fine one: the change of resolution comes as
// EOM, which starts a second file; every stored page decodes to the page sent.
TEST_P(EachClass, ReceivesFromTheFarEndIntoTwoFilesAcrossEOM) {
    const fs::path t1 = tiffPage("p1", "First page, normal", true);
    const fs::path t2 = tiffPage("p2", "Second page, normal", true);
    const fs::path t3 = tiffPage("p3", "Third page, fine");
    ASSERT_EQ(run("cd '" + dir_.string() + "' && tiffcp p1.tif p2.tif p3.tif all.tif 2>/dev/null"), 0);
    startLine({"--send", (dir_ / "all.tif").string(), "--send-to", "100", "--ecm", "off", "--classes", kAllClasses});
    const Outcome o = receive(line_->portPath(1), GetParam());
    stopLine();
    expectOk(o, {4, 5, 4, 5});
    EXPECT_NE(o.remoteId.find("+1 555 0200"), std::string::npos) << o.remoteId;
    EXPECT_EQ(resultField(lastResult(), "result"), "0") << lastResult();
    ASSERT_EQ(o.files.size(), 2u);
    const fs::path first = o.files[0], second = o.files[1];
    ASSERT_TRUE(faximage::isApfFile(first));
    ASSERT_TRUE(faximage::isApfFile(second));
    EXPECT_EQ(differingRows(decodeTiff(t1), decodeApf(first, 1)), 0);
    EXPECT_EQ(differingRows(decodeTiff(t2), decodeApf(first, 2)), 0);
    EXPECT_EQ(differingRows(decodeTiff(t3), decodeApf(second, 1)), 0);
    faximage::ApfReader r;
    ASSERT_EQ(r.open(first), 0);
    EXPECT_EQ(r.header().pageCount, 2);
    ASSERT_EQ(r.open(second), 0);
    EXPECT_EQ(r.header().pageCount, 1);
}

// The receiving modem finds the first page bad once: our sender sends it again and the
// fax goes through; our receiver on that modem drops the bad copy and keeps the good one.
TEST_P(EachClass, APageFoundBadIsSentAgain) {
    const fs::path a = page("a", "Page sent twice");
    const fs::path b = page("b", "Page sent once");
    startLineWithConfig(twoModems("bad-pages = 1\n"));
    Outcome tx, rx;
    both(GetParam(), GetParam(), {a, b}, tx, rx);
    stopLine();
    expectOk(tx, {1, 2});
    expectOk(rx, {4, 5});
    ASSERT_EQ(rx.files.size(), 1u);
    faximage::ApfReader r;
    ASSERT_EQ(r.open(rx.files[0]), 0);
    EXPECT_EQ(r.header().pageCount, 2);
    EXPECT_EQ(differingRows(decodeApf(a), decodeApf(rx.files[0], 1), kLeadingBlankLines), 0);
    EXPECT_EQ(differingRows(decodeApf(b), decodeApf(rx.files[0], 2), kLeadingBlankLines), 0);
    EXPECT_NE(callLogs().find("fails the copy check"), std::string::npos);
}

// A page found bad three times: after two resends the sender gives up.
TEST_P(EachClass, ThePageResendLimitEndsTheFax) {
    const fs::path a = page("a", "Page never good");
    startLineWithConfig(twoModems("bad-pages = 5\n"));
    Outcome tx, rx;
    both(GetParam(), GetParam(), {a}, tx, rx);
    stopLine();
    EXPECT_TRUE(tx.finished);
    EXPECT_EQ(tx.finish, ec::FaxSessionError);
    EXPECT_EQ(tx.errors, std::vector<int>{ec::FaxSessionError});
    EXPECT_EQ(tx.logs, (std::vector<int>{1, 3}));
    EXPECT_NE(rx.finish, 0);
    // Three copies went over the line.
    const std::string log = callLogs();
    int bad = 0;
    for (auto at = log.find("fails the copy check"); at != std::string::npos;
         at = log.find("fails the copy check", at + 1))
        ++bad;
    EXPECT_EQ(bad, 3);
}

INSTANTIATE_TEST_SUITE_P(Classes, EachClass, ::testing::Values(TFaxClass::fcClass2, TFaxClass::fcClass2_0),
                         className);

// The line damages the first copy of page 1 on its way to the far end, which answers RTN:
// the modem reports the page as bad and trains again, and our sender sends it once more.
// (Class 2.0 takes the same way through the modem; one class keeps the real-time calls few.)
TEST_F(Class2Call, RealCallPageRejectedByTheFarEndIsSentAgain) {
    const fs::path a = page("a", "Page rejected once");
    const fs::path b = page("b", "Page taken at once");
    startLineWithConfig(std::string("[modem 100]\nclasses = ") + kAllClasses +
                        "\n[farend 307]\necm = no\ndamage-page = 1\n");
    const Outcome o = send(line_->portPath(1), TFaxClass::fcClass2, "307", {a, b});
    stopLine();
    expectOk(o, {1, 2});
    const fs::path tiff = farEndTiff(2);
    ASSERT_EQ(tiffPageCount(tiff), 2);
    expectSentPage(a, 1, tiff, 0);
    expectSentPage(b, 1, tiff, 1);
    const std::string log = callLogs();
    EXPECT_NE(log.find("tx RTN"), std::string::npos) << log;
    EXPECT_NE(log.find("copy 2 of page 1: "), std::string::npos) << log;
}

// Our Class 2.0 sender to our Class 1 receiver, and our Class 1 sender to our Class 2.0
// receiver, modem to modem.
TEST_F(Class2Call, MixedClassesBetweenOurOwnSides) {
    const fs::path a = page("a", "Mixed call, page one");
    const fs::path b = page("b", "Mixed call, page two", faximage::TFaxResolution::frHigh);
    startLineWithConfig(twoModems());
    for (bool twoSends : {true, false}) {
        SCOPED_TRACE(twoSends ? "Class 2.0 to Class 1" : "Class 1 to Class 2.0");
        Outcome tx, rx;
        both(twoSends ? TFaxClass::fcClass2_0 : TFaxClass::fcClass1,
             twoSends ? TFaxClass::fcClass1 : TFaxClass::fcClass2_0, {a, b}, tx, rx);
        expectOk(tx, {1, 2});
        ASSERT_FALSE(rx.files.empty());
        EXPECT_TRUE(rx.finished);
        EXPECT_EQ(rx.finish, 0);
        EXPECT_EQ(differingRows(decodeApf(a), decodeApf(rx.files[0], 1), kLeadingBlankLines), 0);
        // The fine page follows an EOM, so it may start a file of its own.
        const fs::path last = rx.files.back();
        EXPECT_EQ(differingRows(decodeApf(b), decodeApf(last, rx.files.size() == 1 ? 2 : 1), kLeadingBlankLines),
                  0);
        EXPECT_NE(tx.remoteId.find("+1 555 0101"), std::string::npos) << tx.remoteId;
        for (const auto& f : rx.files)
            fs::remove(f);
    }
    stopLine();
}

// efax on the other modem: it receives from our Class 2 sender and sends to our Class 2.0
// receiver.
TEST_F(Class2Call, EfaxOnAnotherModem) {
    if (!haveTool("efax") || !haveTool("efix"))
        PARVANE_SKIP_WITHOUT_ORACLE("efax or efix missing (scripts/setup installs them)");
    const fs::path a = page("a", "To efax, page one");
    const fs::path b = page("b", "To efax, page two");
    startLineWithConfig(twoModems());
    fs::create_directories(dir_ / "efax");
    {
        SCOPED_TRACE("efax receives");
        const pid_t rx = spawnShell("cd '" + (dir_ / "efax").string() + "' && timeout 200 efax -d " +
                                    line_->portPath(2) + " -o1 -vewinc -r recv > '" +
                                    (dir_ / "efax-rx.log").string() + "' 2>&1");
        ASSERT_GE(rx, 0);
        std::this_thread::sleep_for(2s);
        const Outcome o = send(line_->portPath(1), TFaxClass::fcClass2, "101", {a, b});
        int st = 0;
        ::waitpid(rx, &st, 0);
        expectOk(o, {1, 2});
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << slurp(dir_ / "efax-rx.log");
        ASSERT_TRUE(fs::exists(dir_ / "efax" / "recv.001"));
        ASSERT_TRUE(fs::exists(dir_ / "efax" / "recv.002"));
        EXPECT_EQ(differingRows(decodeApf(a), decodeTiff(dir_ / "efax" / "recv.001"), kLeadingBlankLines), 0);
        EXPECT_EQ(differingRows(decodeApf(b), decodeTiff(dir_ / "efax" / "recv.002"), kLeadingBlankLines), 0);
    }
    {
        SCOPED_TRACE("efax sends");
        const fs::path t = tiffPage("e", "From efax");
        pid_t tx = -1;
        const Outcome o = receive(line_->portPath(2), TFaxClass::fcClass2_0, [&] {
            std::this_thread::sleep_for(1s);
            tx = spawnShell("cd '" + dir_.string() + "' && timeout 200 efax -d " + line_->portPath(1) +
                            " -o1 -vewinc -l 'EFAX SENDER' -h '' -t 101 e.tif > '" +
                            (dir_ / "efax-tx.log").string() + "' 2>&1");
        });
        int st = -1;
        if (tx > 0)
            ::waitpid(tx, &st, 0);
        expectOk(o, {4, 5});
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << slurp(dir_ / "efax-tx.log");
        EXPECT_NE(o.remoteId.find("EFAX SENDER"), std::string::npos) << o.remoteId;
        ASSERT_EQ(o.files.size(), 1u);
        // efax puts a band of 20 rows above the page it sends (blank with -h "").
        EXPECT_EQ(differingRows(decodeTiff(t), decodeApf(o.files[0]), 20), 0);
    }
    stopLine();
}

// What AT+FCLASS=? lists decides the class: 2.0 before 2 before 1.
TEST_F(Class2Call, ClassDetectionFollowsWhatTheModemOffers) {
    startLineWithConfig("[modem 100]\nclasses = 0,1,2,2.0\n[modem 101]\nclasses = 0,1,2.0\n"
                        "[modem 102]\nclasses = 0,1\n");
    ASSERT_GE(line_->ports().size(), 3u);
    struct Case {
        int com;
        int bits;
        FaxClass chosen;
    };
    for (const Case c : {Case{1, 4 | 8 | 16, FaxClass::fcClass2_0}, Case{2, 4 | 16, FaxClass::fcClass2_0},
                         Case{3, 4, FaxClass::fcClass1}}) {
        SCOPED_TRACE(c.com);
        {
            Port p(line_->portPath(c.com), dir_ / "query.trc");
            TVelkSendFax fax;
            fax.SetComPort(&p.port);
            EXPECT_EQ(fax.SupportedFaxClasses(), c.bits);
        }
        TVelkPosixDispatcher port;
        DispatcherOpenParams params;
        params.device = line_->portPath(c.com);
        ASSERT_EQ(port.Open(params), 0);
        FaxSession s(FaxRole::Transmit);
        s.port = &port;
        s.faxClass = FaxClass::fcUnknown;
        EXPECT_EQ(s.DetectClass(), 0);
        EXPECT_EQ(s.faxClass, c.chosen);
        port.Close();
    }
}

} // namespace
} // namespace faxengine
