// The Class 2 / 2.0 modem without real time: its command parser, its reports, the T.30
// fields it builds and reads, and whole calls through the exchange stepped as fast as
// the machine goes, with the test playing the fax program.
#include "class2_at_parser.h"
#include "class2_reports.h"
#include "config.h"
#include "exchange.h"
#include "pty_dte.h"
#include "t30_frames.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include "oracle_skip.h"

using namespace vline;
using vline::test::Dte;

namespace {

std::vector<AtCommand> parse(std::string_view line) {
    auto body = stripAt(line);
    EXPECT_TRUE(body) << line;
    auto cmds = parseAtLine(body.value_or(""));
    EXPECT_TRUE(cmds) << line;
    return cmds.value_or(std::vector<AtCommand>{});
}

// Decodes a received page with netpbm's g3topbm (bit-reversed bytes when `reversed`) and
// compares it with the striped test page: 40 rows 1728 wide, white and black in turn.
void expectStripedPage(const std::filesystem::path& stem, const std::string& g3Data, bool reversed) {
    const auto g3 = stem.string() + ".g3";
    const auto pbm = stem.string() + ".pbm";
    std::ofstream(g3, std::ios::binary) << g3Data;
    const std::string command = std::string("g3topbm ") + (reversed ? "-reversebits " : "") + "'" + g3 +
                                "' > '" + pbm + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(pbm, std::ios::binary);
    std::string magic;
    int w = 0, h = 0;
    in >> magic >> w >> h;
    in.get();
    EXPECT_EQ(w, 1728);
    ASSERT_EQ(h, 40);
    std::string row(216, '\0');
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        in.read(row.data(), 216);
        wrong += row != std::string(216, y % 2 ? '\xff' : '\0');
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace

TEST(ClassTwoParser, SplitsCompoundLines) {
    auto c = parse("ATE0V1+FCLASS=2.0;+FLI=\"+1 555; 0100\";+FIS?S0=2S7?&F");
    ASSERT_EQ(c.size(), 8u);
    EXPECT_EQ(c[0].name, "E");
    EXPECT_EQ(c[0].value, "0");
    EXPECT_EQ(c[2].name, "+FCLASS");
    EXPECT_EQ(c[2].op, AtOp::Set);
    EXPECT_EQ(c[2].value, "2.0");
    // A ';' inside quotes belongs to the value.
    EXPECT_EQ(c[3].name, "+FLI");
    EXPECT_EQ(unquote(c[3].value), "+1 555; 0100");
    EXPECT_EQ(c[4].op, AtOp::Query);
    EXPECT_EQ(c[5].name, "S");
    EXPECT_EQ(c[5].value, "0");
    EXPECT_EQ(c[5].arg, "2");
    EXPECT_EQ(c[6].op, AtOp::Query);
    EXPECT_EQ(c[7].name, "&F");

    auto d = parse("at+fclass=?;dt 555-0100");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].op, AtOp::Test);
    EXPECT_EQ(d[1].name, "D");
    EXPECT_EQ(d[1].arg, "t 555-0100");

    EXPECT_FALSE(stripAt("+FCLASS=2"));
    EXPECT_FALSE(parseAtLine("+FLID=\"open"));
    EXPECT_FALSE(parseAtLine("S=1"));
    EXPECT_FALSE(parseAtLine("+"));
    EXPECT_FALSE(parseAtLine("#"));
}

TEST(ClassTwoReports, NamesAndCodesOfBothCommandSets) {
    const SessionParams p{1, 3, 0, 2, 0, 0, 0, 0};
    EXPECT_EQ(paramsReport(FaxDialect::Class2, FaxReport::Session, p), "+FDCS:1,3,0,2,0,0,0,0");
    EXPECT_EQ(paramsReport(FaxDialect::Class20, FaxReport::Session, p), "+FCS:1,3,0,2,0,0,0,0");
    EXPECT_EQ(paramsReport(FaxDialect::Class20, FaxReport::RemoteDis, p), "+FIS:1,3,0,2,0,0,0,0");
    EXPECT_EQ(identReport(FaxDialect::Class2, FaxReport::CalledId, "+1 555"), "+FCSI:\"+1 555\"");
    EXPECT_EQ(identReport(FaxDialect::Class20, FaxReport::CallerId, "+1 555"), "+FTI:\"+1 555\"");
    EXPECT_EQ(valueReport(FaxDialect::Class2, FaxReport::PageStatus, 1), "+FPTS:1");
    EXPECT_EQ(valueReport(FaxDialect::Class20, FaxReport::PostPage, 2), "+FET:2");
    EXPECT_EQ(reportName(FaxDialect::Class20, FaxReport::Connection), "+FCO");
    EXPECT_EQ(hangupReport(FaxDialect::Class2, HangupCode::Normal), "+FHNG:0");
    EXPECT_EQ(hangupReport(FaxDialect::Class20, HangupCode::Normal), "+FHS:00");
    EXPECT_EQ(hangupReport(FaxDialect::Class20, HangupCode::NoResponseToMps), "+FHS:52");
}

TEST(ClassTwoFrames, ReadsTheFieldsSpandspSends) {
    // CSI and DIS as spandsp's T.30 terminal (the far end) sends them.
    const std::vector<std::uint8_t> csi = {0x30, 0x30, 0x32, 0x30, 0x20, 0x35, 0x35,
                                           0x35, 0x20, 0x31, 0x2b, 0x20, 0x20, 0x20,
                                           0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    EXPECT_EQ(decodeIdent(csi), "+1 555 0200");
    EXPECT_EQ(encodeIdent("+1 555 0200"), csi);
    const std::vector<std::uint8_t> dis = {0x00, 0xee, 0xf8, 0xc4, 0x80,
                                           0x91, 0x80, 0x80, 0x80, 0x18};
    // Fine, V.17 (14400), A4 width, A4/B4 length, MR, ECM, 0 ms scan time.
    EXPECT_EQ(formatParams(decodeDis(dis)), "1,5,0,1,1,1,0,0");
    // The DCS spandsp accepted from us for 9600 fine (its log: 9600 bps, 196 lines/inch).
    const SessionParams sent{1, 3, 0, 2, 0, 0, 0, 0};
    EXPECT_EQ(encodeDcs(sent), (std::vector<std::uint8_t>{0x00, 0x46, 0x74}));
}

TEST(ClassTwoFrames, EveryRateAndScanTimeSurvivesTheField) {
    for (int br = 0; br <= 3; ++br)
        for (int st = 0; st <= 7; ++st) {
            SessionParams p{br % 2, br, br % 3, 2 - br % 3, br % 2, 0, 0, st};
            EXPECT_EQ(decodeDcs(encodeDcs(p)), p) << formatParams(p);
            EXPECT_EQ(decodeDis(encodeDis(p)).br, br == 0 ? 0 : br == 1 ? 1 : 3);
        }
    EXPECT_EQ(modulationOf(0), 24);
    EXPECT_EQ(modulationOf(2), 72);
    EXPECT_EQ(modulationOf(5), 96); // V.17 rates are not offered: V.29 at most
}

TEST(ClassTwoFrames, ParamsAndNegotiation) {
    const SessionParams base{};
    auto p = parseParams("1,1", base);
    ASSERT_TRUE(p);
    EXPECT_EQ(formatParams(*p), "1,1,0,2,0,0,0,0");
    EXPECT_FALSE(parseParams("1,9", base)); // beyond the modem
    EXPECT_FALSE(parseParams("x", base));
    EXPECT_TRUE(parseParams("0,3,0,2,0,0,0,0,0", base)); // T.32's ninth field
    const SessionParams local{1, 3, 2, 2, 1, 0, 0, 0};
    const SessionParams remote{0, 5, 0, 1, 1, 1, 0, 5};
    EXPECT_EQ(formatParams(negotiate(local, remote)), "0,3,0,1,1,0,0,5");
}

TEST(ClassTwoConfig, ClassListsAreChecked) {
    EXPECT_EQ(NumberConfig{}.classes, "0,1"); // Class 2 only where asked for
    EXPECT_EQ(parseClassList("0, 1,2.0"), "0,1,2.0");
    EXPECT_EQ(parseClassList("0,1,1,2"), "0,1,2");
    EXPECT_THROW(parseClassList("0,1,3"), ConfigError);
    EXPECT_THROW(parseClassList("2,2.0"), ConfigError);
    const char* argv[] = {"parvane-vline", "--classes", "0,1"};
    auto cl = parseCommandLine(3, argv);
    for (const NumberConfig* m : cl.config.modems())
        EXPECT_EQ(m->classes, "0,1");
    Config cfg;
    loadConfigText("[modem 100]\nclasses = 0,1,2\n", "test", cfg);
    EXPECT_EQ(cfg.modems()[0]->classes, "0,1,2");
    EXPECT_THROW(loadConfigText("[modem 101]\nclasses = 1.0\n", "test", cfg), ConfigError);
}

namespace {

constexpr int kStepsPerSecond = 50;

// A T.4 page (one-dimensional coding, first bit sent = least significant bit) of 1728-pel
// rows: even rows white, odd rows black.
class MhWriter {
public:
    void bits(const char* code) {
        for (const char* c = code; *c; ++c) {
            if (*c == '1')
                cur_ = static_cast<std::uint8_t>(cur_ | 1 << n_);
            if (++n_ == 8) {
                out_.push_back(cur_);
                cur_ = 0;
                n_ = 0;
            }
        }
    }
    std::vector<std::uint8_t> page(int rows) {
        for (int r = 0; r < rows; ++r) {
            bits("000000000001");
            if (r % 2 == 0)
                bits("010011011"
                     "00110101"); // white 1728 + white 0
            else
                bits("00110101"
                     "0000001100101"
                     "0000110111"); // white 0, black 1728 + 0
        }
        for (int i = 0; i < 6; ++i)
            bits("000000000001");
        if (n_)
            out_.push_back(cur_);
        return out_;
    }

private:
    std::vector<std::uint8_t> out_;
    std::uint8_t cur_ = 0;
    int n_ = 0;
};

class ClassTwoExchange : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vline-class2-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        loadConfigText(R"(
[line]
ring-period = 1s
dial-time = 0.2s
disconnect-delay = 0.5s
[modem 100]
classes = 0,1,2,2.0
[modem 101]
classes = 0,1,2.0
[modem 102]
[farend 200]
ecm = no
)",
                       "test", cfg_);
        ex_ = std::make_unique<Exchange>(cfg_, dir_);
    }
    void TearDown() override {
        ex_.reset();
        if (!HasFailure())
            std::filesystem::remove_all(dir_);
    }
    const std::string& path(int i) {
        return ex_->modems()[static_cast<std::size_t>(i)]->port().path();
    }
    bool stepUntil(Dte& dte, const std::string& text, double seconds) {
        for (int i = 0; i < seconds * kStepsPerSecond; ++i) {
            ex_->step();
            if (dte.heard().find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    // Sends a command and waits for its final result; returns everything heard.
    std::string command(Dte& dte, const std::string& cmd, const std::string& final = "OK",
                        double seconds = 2) {
        dte.forget();
        dte.send(cmd + "\r");
        EXPECT_TRUE(stepUntil(dte, final, seconds)) << cmd << " got: " << dte.heard();
        return dte.heard();
    }
    std::string results() {
        std::ifstream in(dir_ / "results.txt");
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::filesystem::path dir_;
    Config cfg_;
    std::unique_ptr<Exchange> ex_;
};

} // namespace

TEST_F(ClassTwoExchange, EachModemOffersItsClassesAndSwitches) {
    Dte all(path(0)), noTwo(path(1)), classOne(path(2));
    EXPECT_NE(command(all, "ATE0+FCLASS=?").find("0,1,2,2.0"), std::string::npos);
    EXPECT_NE(command(noTwo, "ATE0+FCLASS=?").find("0,1,2.0"), std::string::npos);
    EXPECT_EQ(command(classOne, "ATE0;+FCLASS=?").find("2"), std::string::npos);
    EXPECT_NE(command(noTwo, "AT+FCLASS=2", "ERROR").find("ERROR"), std::string::npos);
    EXPECT_NE(command(classOne, "AT+FCLASS=2.0", "ERROR").find("ERROR"), std::string::npos);

    // Into Class 2.0 and its commands, and back to Class 1 where the T.31 modem answers.
    command(all, "AT+FCLASS=2.0");
    EXPECT_NE(command(all, "AT+FCLASS?").find("2.0"), std::string::npos);
    command(all, "AT+FLI=\"+1 555 0100\"");
    EXPECT_NE(command(all, "AT+FLI?").find("\"+1 555 0100\""), std::string::npos);
    EXPECT_NE(command(all, "AT+FIS=0,1").find("OK"), std::string::npos);
    EXPECT_NE(command(all, "AT+FIS?").find("0,1,0,2,0,0,0,0"), std::string::npos);
    EXPECT_NE(command(all, "AT+FIS=0,7", "ERROR").find("ERROR"), std::string::npos);
    EXPECT_NE(command(all, "ATS0=99999999999", "ERROR").find("ERROR"), std::string::npos);
    EXPECT_NE(command(all, "AT+FBOR=-1", "ERROR").find("ERROR"), std::string::npos);
    // Class 2 names are not Class 2.0 commands.
    EXPECT_NE(command(all, "AT+FDIS?", "ERROR").find("ERROR"), std::string::npos);
    command(all, "AT+FCLASS=1");
    EXPECT_NE(command(all, "AT+FTM=?").find("24"), std::string::npos);
    EXPECT_NE(command(all, "AT+FCLASS?").find("1"), std::string::npos);
    // ATZ in Class 2 gives the modem back to Class 0.
    // Settings stay across the switch; ATZ gives the modem back to Class 0 and its defaults.
    command(all, "AT+FCLASS=2");
    EXPECT_NE(command(all, "AT+FDIS?").find("0,1,0,2,0,0,0,0"), std::string::npos);
    command(all, "ATZ");
    EXPECT_NE(command(all, "ATE0+FCLASS?").find("0"), std::string::npos);
    command(all, "AT+FCLASS=2");
    EXPECT_NE(command(all, "AT+FDIS?").find("1,3,0,2,0,0,0,0"), std::string::npos);
    command(all, "AT+FDCC=1,1");
    EXPECT_NE(command(all, "AT+FDIS?").find("1,1,0,2,0,0,0,0"), std::string::npos);
}

// A Class 2 program sends two pages to the far end: the far end's file holds both,
// as libtiff's tools decode them.
TEST_F(ClassTwoExchange, ClassTwoProgramSendsTwoPagesToTheFarEnd) {
    Dte dte(path(0));
    command(dte, "ATE0");
    command(dte, "AT+FCLASS=2");
    command(dte, "AT+FLID=\"+1 555 0100\"");
    command(dte, "AT+FDIS=0,3,0,2,0,0,0,0");
    const std::string dial = command(dte, "ATD200", "OK", 30);
    EXPECT_NE(dial.find("+FCON"), std::string::npos) << dial;
    EXPECT_NE(dial.find("+FDIS:"), std::string::npos) << dial;
    const auto page = MhWriter().page(40);
    for (int p = 0; p < 2; ++p) {
        const std::string fdt = command(dte, "AT+FDT", "CONNECT", 20);
        if (p == 0) {
            EXPECT_NE(fdt.find("+FDCS:0,3,0,"), std::string::npos) << fdt;
        }
        std::vector<std::uint8_t> data;
        for (std::uint8_t b : page) {
            data.push_back(b);
            if (b == 0x10)
                data.push_back(0x10);
        }
        data.push_back(0x10);
        data.push_back(0x03);
        dte.forget();
        ASSERT_EQ(dte.sendAll(data), data.size());
        ASSERT_TRUE(stepUntil(dte, "OK", 20)) << dte.heard();
        const std::string fet = command(dte, p == 0 ? "AT+FET=0" : "AT+FET=2", "OK", 20);
        EXPECT_NE(fet.find("+FPTS:1"), std::string::npos) << fet;
        if (p == 1) {
            EXPECT_NE(fet.find("+FHNG:0"), std::string::npos) << fet;
        }
    }
    for (int i = 0; i < 5 * kStepsPerSecond && ex_->activeCalls() > 0; ++i)
        ex_->step();
    const std::string r = results();
    EXPECT_NE(r.find("result=0 "), std::string::npos) << r;
    EXPECT_NE(r.find("pages=2 "), std::string::npos) << r;
    EXPECT_NE(r.find("remote_id=\"+1 555 0100\""), std::string::npos) << r;
    const auto tif = dir_ / "received" / "fax-0001-200.tif";
    ASSERT_TRUE(std::filesystem::exists(tif));
    for (int p = 0; p < 2; ++p) {
        const auto pbm = dir_ / ("page" + std::to_string(p) + ".pbm");
        const std::string cmd = "command -v tiffsplit >/dev/null || exit 77; cd '" + dir_.string() +
                                "' && tiffsplit '" + tif.string() + "' part && tifftopnm part" +
                                (p == 0 ? "aaa" : "aab") + ".tif > '" + pbm.string() +
                                "' 2>/dev/null";
        const int rc = std::system(cmd.c_str());
        if (WEXITSTATUS(rc) == 77)
            PARVANE_SKIP_WITHOUT_ORACLE("libtiff-tools missing");
        ASSERT_EQ(rc, 0);
        std::ifstream in(pbm, std::ios::binary);
        std::string magic;
        int w = 0, h = 0;
        in >> magic >> w >> h;
        in.get();
        EXPECT_EQ(w, 1728);
        ASSERT_EQ(h, 40);
        std::string row(216, '\0');
        for (int y = 0; y < h; ++y) {
            in.read(row.data(), 216);
            const char want = y % 2 ? '\xff' : '\0';
            EXPECT_EQ(row, std::string(216, want)) << "page " << p << " row " << y;
        }
    }
}

namespace {

// Page data a program got from its modem, without the DLE stuffing, up to DLE ETX.
std::string unstuffPage(const std::string& heard, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < heard.size(); ++i) {
        if (heard[i] != '\x10') {
            out += heard[i];
            continue;
        }
        if (++i >= heard.size() || heard[i] == '\x03')
            break;
        out += heard[i];
    }
    return out;
}

std::vector<std::uint8_t> stuff(const std::vector<std::uint8_t>& page, char end) {
    std::vector<std::uint8_t> data;
    for (std::uint8_t b : page) {
        data.push_back(b);
        if (b == 0x10)
            data.push_back(0x10);
    }
    data.push_back(0x10);
    data.push_back(static_cast<std::uint8_t>(end));
    return data;
}

} // namespace

// Class 2.0 sends to Class 2 between two of the line's modems: a page the receiving
// program calls bad is trained for and sent again, EOM (DLE ;) leads to a new DIS and a
// change to fine resolution, DLE . ends. The receiving program gets Class 2 data
// bit-reversed: most significant bit first, the order netpbm's decoder reads by default
// (the line's order, least significant bit first, needs its -reversebits).
TEST_F(ClassTwoExchange, ClassTwoPointZeroToClassTwoWithResendAndEom) {
    Dte rx(path(0)), tx(path(1));
    command(rx, "ATE0");
    command(rx, "AT+FCLASS=2;+FLID=\"RX 100\"");
    command(tx, "ATE0");
    command(tx, "AT+FCLASS=2.0;+FLI=\"TX 101\";+FIS=0;+FNR=1,1,1,0");
    tx.forget();
    tx.send("ATD100\r");
    ASSERT_TRUE(stepUntil(rx, "RING", 10));
    rx.forget();
    rx.send("ATA\r");
    // The caller's ATD ends with the answering side's DIS; the answer with its DCS.
    ASSERT_TRUE(stepUntil(tx, "OK", 10)) << tx.heard();
    EXPECT_NE(tx.heard().find("+FCI:\"RX 100\""), std::string::npos) << tx.heard();
    EXPECT_NE(tx.heard().find("+FIS:1,3,"), std::string::npos) << tx.heard();
    tx.forget();
    tx.send("AT+FDT\r");
    ASSERT_TRUE(stepUntil(rx, "OK", 10)) << rx.heard();
    EXPECT_NE(rx.heard().find("+FTSI:\"TX 101\""), std::string::npos) << rx.heard();
    EXPECT_NE(rx.heard().find("+FDCS:0,3,"), std::string::npos) << rx.heard();

    const auto page = MhWriter().page(40);
    std::vector<std::string> gotPages;
    // Receives one page on rx (CONNECT already given or asked for here); returns the reports.
    auto receivePage = [&](bool askFdr) {
        if (askFdr) {
            rx.forget();
            rx.send("AT+FDR\r");
        }
        EXPECT_TRUE(stepUntil(rx, "CONNECT", 30)) << rx.heard();
        const std::size_t at = rx.heard().find("CONNECT") + 9;
        // DC2: ready for the data (a few programs send XON instead; later pages try that).
        rx.send(gotPages.empty() ? "\x12" : "\x11");
        EXPECT_TRUE(stepUntil(rx, "+FET:", 40)) << rx.heard().size();
        EXPECT_TRUE(stepUntil(rx, "OK", 2));
        gotPages.push_back(unstuffPage(rx.heard(), at));
        return rx.heard().substr(rx.heard().rfind('\x03'));
    };

    // Page 1, MPS; the receiving program calls it bad.
    ASSERT_TRUE(stepUntil(tx, "CONNECT", 10)) << tx.heard();
    ASSERT_EQ(tx.sendAll(stuff(page, ',')), stuff(page, ',').size());
    std::string reports = receivePage(true);
    EXPECT_NE(reports.find("+FPTS:1"), std::string::npos) << reports;
    EXPECT_NE(reports.find("+FET:0"), std::string::npos) << reports;
    command(rx, "AT+FPTS=2");
    rx.forget();
    rx.send("AT+FDR\r");
    ASSERT_TRUE(stepUntil(tx, "+FPS:2", 20)) << tx.heard();
    ASSERT_TRUE(stepUntil(tx, "OK", 2));

    // Sent again after new training, this time ending the document with EOM.
    command(tx, "AT+FDT", "CONNECT", 20);
    ASSERT_EQ(tx.sendAll(stuff(page, ';')), stuff(page, ';').size());
    reports = receivePage(false);
    EXPECT_NE(reports.find("+FET:1"), std::string::npos) << reports;
    rx.forget();
    rx.send("AT+FDR\r");
    ASSERT_TRUE(stepUntil(tx, "+FPS:1", 20)) << tx.heard();
    ASSERT_TRUE(stepUntil(tx, "OK", 2));

    // A new document in fine resolution after the new DIS.
    command(tx, "AT+FIS=1");
    const std::string fdt = command(tx, "AT+FDT", "CONNECT", 30);
    EXPECT_NE(fdt.find("+FIS:"), std::string::npos) << fdt;
    EXPECT_NE(fdt.find("+FCS:1,3,"), std::string::npos) << fdt;
    ASSERT_EQ(tx.sendAll(stuff(page, '.')), stuff(page, '.').size());
    ASSERT_TRUE(stepUntil(rx, "+FDCS:1,3,", 30)) << rx.heard();
    reports = receivePage(false);
    EXPECT_NE(reports.find("+FET:2"), std::string::npos) << reports;
    const std::string last = command(rx, "AT+FDR", "OK", 20);
    EXPECT_NE(last.find("+FHNG:0"), std::string::npos) << last;
    ASSERT_TRUE(stepUntil(tx, "OK", 10));
    EXPECT_NE(tx.heard().find("+FPS:1"), std::string::npos) << tx.heard();
    EXPECT_NE(tx.heard().find("+FHS:00"), std::string::npos) << tx.heard();

    ASSERT_EQ(gotPages.size(), 3u);
    if (std::system("command -v g3topbm >/dev/null") != 0)
        PARVANE_SKIP_WITHOUT_ORACLE("netpbm missing");
    for (std::size_t p = 0; p < gotPages.size(); ++p) {
        SCOPED_TRACE("page " + std::to_string(p));
        expectStripedPage(dir_ / ("got" + std::to_string(p)), gotPages[p], false);
    }
}

// A program that goes away in the middle of a Class 2 call: the modem hangs up, and the
// next program finds a fresh modem in Class 0. +FK ends a call with its hang-up report.
TEST_F(ClassTwoExchange, ProgramLeavingOrAbortingEndsTheCall) {
    {
        Dte dte(path(0));
        command(dte, "ATE0");
        command(dte, "AT+FCLASS=2.0");
        // Without +FNR a Class 2.0 modem keeps the negotiation to itself.
        const std::string dial = command(dte, "ATD200", "OK", 30);
        EXPECT_EQ(dial.find("+FIS:"), std::string::npos) << dial;
        EXPECT_EQ(dial.find("+FCI:"), std::string::npos) << dial;
        EXPECT_NE(dial.find("+FCO"), std::string::npos) << dial;
        EXPECT_EQ(ex_->activeCalls(), 1u);
    }
    for (int i = 0; i < 5 * kStepsPerSecond && ex_->activeCalls() > 0; ++i)
        ex_->step();
    EXPECT_EQ(ex_->activeCalls(), 0u);
    EXPECT_NE(results().find("hangup=\"modem 100 hung up\""), std::string::npos) << results();

    Dte again(path(0));
    EXPECT_NE(command(again, "ATE0+FCLASS?").find("0"), std::string::npos);
    EXPECT_NE(command(again, "AT+FCLASS=?").find("0,1,2,2.0"), std::string::npos);
    command(again, "AT+FCLASS=2");
    command(again, "ATD200", "OK", 30);
    const std::string fk = command(again, "AT+FK");
    EXPECT_NE(fk.find("+FHNG:2"), std::string::npos) << fk;
    for (int i = 0; i < 5 * kStepsPerSecond && ex_->activeCalls() > 0; ++i)
        ex_->step();
    EXPECT_EQ(ex_->activeCalls(), 0u);
    // Commands that need a call are refused without one.
    EXPECT_NE(command(again, "AT+FDT", "ERROR").find("ERROR"), std::string::npos);
    EXPECT_NE(command(again, "AT+FET=0", "ERROR").find("ERROR"), std::string::npos);
}

// The far end sends a two-page TIFF (made by a Class 2 call first) to a Class 2.0 program
// that lets its modem answer by itself (S0=1). Class 2.0 data comes as on the line:
// least significant bit first, which netpbm's decoder reads with -reversebits.
TEST_F(ClassTwoExchange, FarEndSendsToAClassTwoPointZeroProgramThatAutoAnswers) {
    {
        Dte dte(path(0));
        command(dte, "ATE0+FCLASS=2");
        command(dte, "ATD200", "OK", 30);
        const auto page = MhWriter().page(40);
        for (int p = 0; p < 2; ++p) {
            command(dte, "AT+FDT", "CONNECT", 20);
            dte.forget();
            const auto data = stuff(page, '\x03');
            ASSERT_EQ(dte.sendAll(data), data.size());
            ASSERT_TRUE(stepUntil(dte, "OK", 20));
            command(dte, p == 0 ? "AT+FET=0" : "AT+FET=2", "OK", 20);
        }
        for (int i = 0; i < 5 * kStepsPerSecond && ex_->activeCalls() > 0; ++i)
            ex_->step();
    }
    const auto tif = dir_ / "received" / "fax-0001-200.tif";
    ASSERT_TRUE(std::filesystem::exists(tif));
    ex_.reset();

    Config cfg;
    loadConfigText("[line]\nring-period = 1s\ndial-time = 0.2s\ndisconnect-delay = 0.5s\n"
                   "[modem 100]\nclasses = 0,1,2,2.0\n[farend 201]\nmode = send\necm = no\ndial = "
                   "100\ncall-delay = 0.5s\n"
                   "file = " +
                       tif.string() + "\n",
                   "test", cfg);
    const auto dir2 = dir_ / "second";
    std::filesystem::create_directories(dir2);
    ex_ = std::make_unique<Exchange>(cfg, dir2);
    Dte rx(path(0));
    command(rx, "ATE0+FCLASS=2.0;+FNR=1,1,1,0;S0=1");
    ASSERT_TRUE(stepUntil(rx, "+FCS:", 30)) << rx.heard();
    ASSERT_TRUE(stepUntil(rx, "OK", 5));
    std::vector<std::string> pages;
    for (int p = 0; p < 2; ++p) {
        rx.forget();
        rx.send("AT+FDR\r");
        // Class 2.0 sends the page at CONNECT, without waiting for DC2.
        ASSERT_TRUE(stepUntil(rx, "+FET:", 40)) << rx.heard();
        ASSERT_TRUE(stepUntil(rx, "OK", 2));
        EXPECT_NE(rx.heard().find(p == 0 ? "+FET:0" : "+FET:2"), std::string::npos);
        EXPECT_NE(rx.heard().find("+FPS:1"), std::string::npos);
        pages.push_back(unstuffPage(rx.heard(), rx.heard().find("CONNECT") + 9));
    }
    const std::string end = command(rx, "AT+FDR", "OK", 20);
    EXPECT_NE(end.find("+FHS:00"), std::string::npos) << end;
    for (int i = 0; i < 5 * kStepsPerSecond && ex_->activeCalls() > 0; ++i)
        ex_->step();
    std::ifstream in(dir2 / "results.txt");
    const std::string r{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(r.find("number=201 direction=send result=0 "), std::string::npos) << r;

    if (std::system("command -v g3topbm >/dev/null") != 0)
        PARVANE_SKIP_WITHOUT_ORACLE("netpbm missing");
    for (std::size_t p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE("page " + std::to_string(p));
        expectStripedPage(dir2 / ("got" + std::to_string(p)), pages[p], true);
    }
}

// Class 1 through the two-personality modem: a program's abort character while the
// T.31 modem waits for frames reaches it at once, not held back as half a command line.
TEST_F(ClassTwoExchange, ClassOneAbortCharacterPassesStraightThrough) {
    Dte a(path(2)), b(path(0));
    command(a, "ATE0+FCLASS=1");
    command(b, "ATE0+FCLASS=1");
    a.forget();
    a.send("ATD100\r");
    ASSERT_TRUE(stepUntil(b, "RING", 10));
    b.forget();
    b.send("ATA\r");
    ASSERT_TRUE(stepUntil(b, "CONNECT", 10)) << b.heard();
    ASSERT_TRUE(stepUntil(a, "CONNECT", 10)) << a.heard(); // receiving frames now
    a.forget();
    a.send("X");
    EXPECT_TRUE(stepUntil(a, "OK", 1) || a.heard().find("NO CARRIER") != std::string::npos)
        << a.heard();
    command(a, "ATH");
}
