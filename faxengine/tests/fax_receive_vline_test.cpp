// Whole calls in real time: the virtual line's far end sends a TIFF page to a Class 1
// modem where our receiver answers; the APF file we store must decode, through our
// unpacker and through libtiff, to the page that was sent.
#include "faxengine/fax_receive.h"
#include "faxengine/fax_receive_port.h"
#include "faxengine/posix_dispatcher.h"
#include "faxengine/engine_errors.h"
#include "faximage/apf_file.h"
#include "vline_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include "oracle_skip.h"
#include "spawn_shell.h"

namespace faxengine {
namespace {

using namespace linetest;

void put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// The first page's data of an APF file as a one-strip G3 1-D TIFF (bits stored first
// bit in bit 0, as the modem hands them over), for libtiff to decode independently.
void apfPageToTiff(const fs::path& apf, const fs::path& tiff, int rows) {
    const std::string f = slurp(apf);
    ASSERT_GE(f.size(), 80u);
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(f[at]) |
                                          static_cast<unsigned char>(f[at + 1]) << 8 |
                                          static_cast<unsigned char>(f[at + 2]) << 16 |
                                          static_cast<unsigned char>(f[at + 3]) << 24);
    };
    const std::uint32_t len = u32(64);
    const unsigned flags = static_cast<unsigned char>(f[68]);
    const std::string data = f.substr(80, len);
    const int width = (flags & faximage::kApfWide) ? 2048 : 1728;
    struct Entry {
        unsigned tag, type;
        std::uint32_t value;
    };
    const std::vector<Entry> entries = {{256, 4, static_cast<std::uint32_t>(width)},
                                        {257, 4, static_cast<std::uint32_t>(rows)},
                                        {258, 3, 1},
                                        {259, 3, 3},
                                        {262, 3, 0},
                                        {266, 3, 2},
                                        {273, 4, 8},
                                        {277, 3, 1},
                                        {278, 4, static_cast<std::uint32_t>(rows)},
                                        {279, 4, static_cast<std::uint32_t>(data.size())},
                                        {292, 4, 0}};
    std::string t = "II";
    put16(t, 42);
    put32(t, static_cast<std::uint32_t>(8 + data.size()));
    t += data;
    put16(t, static_cast<unsigned>(entries.size()));
    for (const auto& e : entries) {
        put16(t, e.tag);
        put16(t, e.type);
        put32(t, 1);
        if (e.type == 3) {
            put16(t, e.value);
            put16(t, 0);
        } else {
            put32(t, e.value);
        }
    }
    put32(t, 0);
    std::ofstream(tiff, std::ios::binary) << t;
}

// The first page's data of an APF file as raw fax data, decoded by libtiff's fax2tiff,
// which reads up to the end of the data: bytes after the RTC would come out as rows.
Page decodeRawPageWithFax2tiff(const fs::path& apf, const fs::path& dir) {
    const std::string f = slurp(apf);
    EXPECT_GE(f.size(), 80u);
    if (f.size() < 80)
        return {};
    const std::uint32_t len = static_cast<std::uint32_t>(static_cast<unsigned char>(f[64]) |
                                                         static_cast<unsigned char>(f[65]) << 8 |
                                                         static_cast<unsigned char>(f[66]) << 16 |
                                                         static_cast<unsigned char>(f[67]) << 24);
    std::ofstream(dir / "page.raw", std::ios::binary) << f.substr(80, len);
    EXPECT_EQ(run("fax2tiff -1 -L -o '" + (dir / "fax2tiff.tif").string() + "' '" + (dir / "page.raw").string() +
                  "' 2>/dev/null"),
              0);
    return decodeTiff(dir / "fax2tiff.tif");
}

void expectSamePage(const Page& sent, const Page& got, const char* what) {
    ASSERT_EQ(got.width, sent.width) << what;
    ASSERT_EQ(got.rows.size(), sent.rows.size()) << what;
    int differing = 0;
    for (std::size_t r = 0; r < sent.rows.size(); ++r)
        differing += sent.rows[r] != got.rows[r];
    EXPECT_EQ(differing, 0) << what;
}

class ReceiveCall : public VlineTest {
protected:
    void SetUp() override {
        VlineTest::SetUp();
        if (IsSkipped())
            return;
        if (!haveTool("efix"))
            PARVANE_SKIP_WITHOUT_ORACLE("efix missing (scripts/setup installs it)");
        std::ofstream(dir_ / "page.txt") << "Parvane receive test page\n\n"
                                            "  The quick brown fox jumps over the lazy dog.\n"
                                            "  0123456789 !\"#$%&'()*+,-./:;<=>?@[]^_{|}~\n";
        ASSERT_EQ(run("cd '" + dir_.string() + "' && efix -i text -o tiffg3 -n page.tif page.txt 2>/dev/null"), 0);
        page_ = dir_ / "page.tif";
    }

    fs::path page_;
};

// Our receiver on COM2 for one fax; the caller is started by `call` once it waits.
struct Received {
    bool finished = false;
    int lastError = 0;
    std::vector<int> logs;
    std::vector<int> errors;
    std::string remoteId;
};

Received receiveOne(const std::string& device, const fs::path& file, const fs::path& trace,
                    const std::function<void()>& call) {
    TVelkPosixDispatcher port;
    DispatcherOpenParams params;
    params.device = device;
    Received got;
    EXPECT_EQ(port.Open(params), 0);
    if (!port.IsOpen())
        return got;
    port.StartTracing(200000);
    std::mutex m;
    std::atomic<bool> finished{false};
    ReceiveOwner owner;
    owner.fileName = [&] { return file.string(); };
    owner.log = [&](int c) {
        std::lock_guard g(m);
        got.logs.push_back(c);
    };
    owner.error = [&](int c) {
        std::lock_guard g(m);
        got.errors.push_back(c);
    };
    owner.finish = [&](int) { finished = true; };
    ReceiveOptions opt;
    opt.oneFax = true;
    opt.exitOnError = true;
    opt.stationId = "+1 555 0101";
    opt.desiredBps = 14400;
    ReceiveDispatcherPort driver(port);
    FaxReceiver rx(driver, std::move(owner), opt);
    EXPECT_EQ(driver.Start(rx), 0);
    if (call)
        call();
    for (int i = 0; i < 1200 && !finished; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    driver.Stop();
    port.DumpTrace(trace, false, false);
    port.Close();
    got.finished = finished;
    got.lastError = rx.LastError();
    got.remoteId = rx.RemoteId();
    return got;
}

void expectReceivedOk(const Received& got) {
    EXPECT_TRUE(got.finished);
    EXPECT_EQ(got.lastError, 0);
    EXPECT_TRUE(got.errors.empty()) << got.errors.front();
    EXPECT_EQ(got.logs, (std::vector<int>{rxlog::ReceiveStart, rxlog::ReceiveOK}));
}

TEST_F(ReceiveCall, FarEndSendsOnePageToOurClass1Receiver) {
    startLine({"--send", page_.string(), "--send-to", "101", "--ecm", "off"});
    ASSERT_GE(line_->ports().size(), 2u);
    const fs::path apf = dir_ / "rx.apf";
    const Received got = receiveOne(line_->portPath(2), apf, dir_ / "trace.txt", {});
    line_->stop();
    expectReceivedOk(got);
    const std::string r = slurp(dir_ / "logs" / "results.txt");
    EXPECT_NE(r.find("direction=send result=0 "), std::string::npos) << r;
    EXPECT_NE(r.find("remote_id=\"+1 555 0101 "), std::string::npos) << r;

    ASSERT_TRUE(faximage::isApfFile(apf));
    const Page sent = decodeTiff(page_);
    expectSamePage(sent, decodeApf(apf), "our unpacker");
    apfPageToTiff(apf, dir_ / "rx.tif", static_cast<int>(sent.rows.size()));
    expectSamePage(sent, decodeTiff(dir_ / "rx.tif"), "libtiff");
    // fax2tiff reads the RTC's EOLs as empty rows; bytes stored after the RTC would come
    // out as a row with black pixels at the foot of the page.
    Page raw = decodeRawPageWithFax2tiff(apf, dir_);
    ASSERT_GE(raw.rows.size(), sent.rows.size());
    for (std::size_t r = sent.rows.size(); r < raw.rows.size(); ++r)
        EXPECT_EQ(raw.rows[r].find_first_not_of('\0'), std::string::npos) << "black pixels in row " << r;
    raw.rows.resize(sent.rows.size());
    expectSamePage(sent, raw, "fax2tiff");
}

// efax puts a band of 20 rows above the page it sends (blank with -h "").
constexpr int kEfaxHeaderRows = 20;

TEST_F(ReceiveCall, EfaxSendsThroughAnotherModem) {
    if (!haveTool("efax"))
        PARVANE_SKIP_WITHOUT_ORACLE("efax missing (scripts/setup installs it)");
    startLine({});
    ASSERT_GE(line_->ports().size(), 2u);
    const fs::path apf = dir_ / "rx.apf";
    pid_t tx = -1;
    const std::string efax =
        "cd '" + dir_.string() + "' && timeout 150 efax -d " + line_->portPath(1) +
        " -o1 -l 'EFAX SENDER' -h '' -t 101 page.tif > '" + (dir_ / "efax.log").string() + "' 2>&1";
    const Received got = receiveOne(line_->portPath(2), apf, dir_ / "trace.txt", [&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        tx = spawnShell(efax);
    });
    int st = -1;
    if (tx > 0)
        ::waitpid(tx, &st, 0);
    line_->stop();
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << slurp(dir_ / "efax.log");
    expectReceivedOk(got);
    // Its id comes padded in front: 20 characters as sent.
    EXPECT_EQ(got.remoteId.size(), 20u);
    EXPECT_NE(got.remoteId.find("EFAX SENDER"), std::string::npos) << got.remoteId;

    ASSERT_TRUE(faximage::isApfFile(apf));
    Page sent = decodeTiff(page_);
    sent.rows.insert(sent.rows.begin(), kEfaxHeaderRows,
                     std::string(sent.rows.front().size(), '\0'));
    expectSamePage(sent, decodeApf(apf), "our unpacker");
    apfPageToTiff(apf, dir_ / "rx.tif", static_cast<int>(sent.rows.size()));
    expectSamePage(sent, decodeTiff(dir_ / "rx.tif"), "libtiff");
}

TEST_F(ReceiveCall, FarEndHangingUpMidPageIsAFailedFax) {
    startLineWithConfig("[modem 100]\n[modem 101]\n[farend 201]\nmode = send\nfile = " + page_.string() +
                        "\ndial = 101\necm = no\nhangup-mid-page = 1\n");
    ASSERT_GE(line_->ports().size(), 2u);
    const fs::path apf = dir_ / "rx.apf";
    const Received got = receiveOne(line_->portPath(2), apf, dir_ / "trace.txt", {});
    line_->stop();
    EXPECT_TRUE(got.finished);
    // The post-page message never comes: a fatal time-out.
    EXPECT_EQ(got.lastError, ec::TimeOut);
    EXPECT_EQ(got.errors, std::vector<int>{ec::TimeOut});
    // No success is logged; what arrived is kept in a file logged as failed.
    EXPECT_EQ(got.logs, (std::vector<int>{rxlog::ReceiveStart, rxlog::ReceiveFailed}));
    EXPECT_TRUE(faximage::isApfFile(apf));
}

TEST_F(ReceiveCall, FarEndSendsTwoPagesIntoOneFile) {
    std::ofstream(dir_ / "page2.txt") << "Second page\n\n  with other text on it.\n";
    ASSERT_EQ(run("cd '" + dir_.string() +
                  "' && efix -i text -o tiffg3 -n two.tif page2.txt 2>/dev/null && "
                  "tiffcp page.tif two.tif both.tif 2>/dev/null"),
              0);
    startLine({"--send", (dir_ / "both.tif").string(), "--send-to", "101", "--ecm", "off"});
    ASSERT_GE(line_->ports().size(), 2u);
    const fs::path apf = dir_ / "rx.apf";
    const Received got = receiveOne(line_->portPath(2), apf, dir_ / "trace.txt", {});
    line_->stop();
    expectReceivedOk(got);
    const std::string r = slurp(dir_ / "logs" / "results.txt");
    EXPECT_NE(r.find("direction=send result=0 "), std::string::npos) << r;
    EXPECT_NE(r.find("pages=2 "), std::string::npos) << r;

    ASSERT_TRUE(faximage::isApfFile(apf));
    const Page second = decodeTiff(dir_ / "two.tif");
    expectSamePage(second, decodeApf(apf, 2), "second page");
}

} // namespace
} // namespace faxengine
