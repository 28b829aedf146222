#include "faxengine/com_port.h"
#include "faxengine/dispatch_log.h"
#include "faxengine/port_trace.h"
#include "faxengine/engine_errors.h"
#include "pty_modem.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace faxengine;
using faxengine::test::eventually;
using faxengine::test::PtyModem;
using namespace std::chrono_literals;

namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::filesystem::path tempPath(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           (name + "." + std::to_string(::getpid()));
}

// The settings the program's forms give every port.
void formSettings(TVelkComPort& port) {
    port.SetComNumber(1);
    port.SetInSize(8192);
    port.SetOutSize(8192);
    port.SetAutoOpen(false);
    port.SetHWFlowOptions(hwf::UseRTS | hwf::RequireCTS);
    port.SetBufferFull(7372);
    port.SetBufferResume(819);
}

int codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return faximage::codeFromException(e);
    }
    return 0;
}

} // namespace

TEST(PortTraceFormat, DirectionsTokensAndLineBreaks) {
    PortTrace t;
    EXPECT_EQ(t.Start(PortTrace::kMaxEntries + 1), ec::BadArgument);
    EXPECT_EQ(t.Start(0), ec::BadArgument);
    ASSERT_EQ(t.Start(1000), 0);
    std::string at = "AT \x01\r";
    t.Add('T', {reinterpret_cast<const std::uint8_t*>(at.data()), at.size()});
    std::string ok = "OK";
    t.Add('R', {reinterpret_cast<const std::uint8_t*>(ok.data()), ok.size()});
    t.Add('X', {reinterpret_cast<const std::uint8_t*>(ok.data()), 1});
    // Hex mode shows the space as [20]; decimal mode keeps it and writes codes in decimal.
    EXPECT_EQ(t.Format(true), "Transmit: \nAT[20][01][0D]\n\nReceive: \nOK\n\nSpecial-X: \nO\n");
    EXPECT_EQ(t.Format(false), "Transmit: \nAT [1][13]\n\nReceive: \nOK\n\nSpecial-X: \nO\n");

    // Lines break before they would pass 78 characters; a token is never split.
    t.Clear();
    std::string bin(40, '\x7F');
    t.Add('R', {reinterpret_cast<const std::uint8_t*>(bin.data()), bin.size()});
    std::string text = t.Format(true);
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Receive: ");
    std::getline(lines, line);
    EXPECT_EQ(line.size(), 76u); // 19 tokens of 4; a 20th would make 80
    std::getline(lines, line);
    EXPECT_EQ(line.size(), 76u);
    std::getline(lines, line);
    EXPECT_EQ(line, "[7F][7F]");

    // Circular: only the newest entries survive, oldest first.
    ASSERT_EQ(t.Start(3), 0);
    std::string five = "12345";
    t.Add('T', {reinterpret_cast<const std::uint8_t*>(five.data()), five.size()});
    EXPECT_EQ(t.Format(true), "Transmit: \n345\n");
}

TEST(DispatchLogFormat, RecordLinesAndRecycling) {
    LogRecord r{LogType::Dispatch, logsub::ReadCom, 1234, 2, {'O', 'K', '\r', '\n'}};
    EXPECT_EQ(DispatchLog::FormatRecord(r, true),
              "0001.234  Dispatch  ReadCom       00000002  OK[0D][0A]\n");
    EXPECT_EQ(DispatchLog::FormatRecord(r, false),
              "0001.234  Dispatch  ReadCom       00000002  OK[13][10]\n");
    LogRecord m{LogType::Dispatch, logsub::ModemStatus, 12345678, 0xB1, {}};
    EXPECT_EQ(DispatchLog::FormatRecord(m, true),
              "12345.678  Dispatch  Modem status  000000b1  DCTS CTS DSR DCD \n");
    LogRecord s{LogType::Trigger, logsub::Status, 5, 0x0D, {}};
    EXPECT_EQ(DispatchLog::FormatRecord(s, true),
              "0000.005  Trigger   Status        0000000d  (Output sent)\n");
    LogRecord f{LogType::Fax, static_cast<std::uint8_t>(logsub::FaxTransmitBase + 9), 0, 0, {}};
    EXPECT_EQ(DispatchLog::FormatRecord(f, true),
              "0000.000  Fax       tfDial        00000000  \n");
    // Long data continues on lines indented by 45 spaces, none reaching 79 characters.
    LogRecord big{LogType::Dispatch, logsub::WriteCom, 0, 100, std::vector<std::uint8_t>(100, 0)};
    std::istringstream lines(DispatchLog::FormatRecord(big, true));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_LT(line.size(), 79u);
        if (count++ > 0) {
            EXPECT_EQ(line.substr(0, 46), std::string(45, ' ') + "[");
        }
    }
    EXPECT_GT(count, 3);

    DispatchLog log;
    ASSERT_EQ(log.Start(64), 0);
    for (std::uint32_t i = 0; i < 10; ++i)
        log.Add(LogType::User, 0, i, i);
    ASSERT_EQ(log.Records().size(), 4u); // 64 bytes hold four 16-byte records
    EXPECT_EQ(log.Records().front().data, 6u);
    std::string text = log.Format(true);
    EXPECT_EQ(text.rfind("VELK v2.56\nCompiler : ", 0), 0u);
    EXPECT_NE(text.find("\nOperating System : "), std::string::npos);
    EXPECT_NE(text.find("Time      Type      SubType       Data      OtherData\n"
                        "--------  --------  ------------  --------  ---------\n"),
              std::string::npos);
}

TEST(ComPort, FormSettingsAndRefusedValues) {
    TVelkComPort port;
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_EQ(port.TraceName(), "VELK.TRC");
    EXPECT_EQ(port.LogName(), "VELK.LOG");
    formSettings(port);
    EXPECT_EQ(port.BufferFull(), 7372);
    EXPECT_EQ(port.BufferResume(), 819);
    // Limits of 0 take 90 % and 10 % of InSize.
    port.SetBufferFull(0);
    port.SetBufferResume(0);
    EXPECT_EQ(port.BufferFull(), 7372);
    EXPECT_EQ(port.BufferResume(), 819);
    port.SetBufferResume(9000); // above BufferFull
    EXPECT_EQ(port.BufferResume(), 819);

    EXPECT_EQ(codeOf([&] { port.SetTraceSize(4000001); }), -1002);
    EXPECT_THROW(port.SetTraceSize(4000001), faximage::EBadArgument);
    EXPECT_EQ(port.TraceSize(), 10000);
    port.SetTraceSize(4000000);
    EXPECT_EQ(codeOf([&] { port.SetDataBits(9); }), -2003);
    EXPECT_EQ(codeOf([&] { port.PutString("AT"); }), -2007); // closed, AutoOpen off

    // RS-485 mode drops the RTS/CTS options; requiring CTS switches it off again.
    port.SetRS485Mode(true);
    EXPECT_EQ(port.HWFlowOptions(), 0);
    port.SetHWFlowOptions(hwf::RequireCTS);
    EXPECT_FALSE(port.RS485Mode());
}

TEST(ComPort, OpenErrorsByPortNumber) {
    TVelkComPort port;
    port.SetPromptForPort(false);
    EXPECT_EQ(codeOf([&] { port.SetOpen(true); }), -2011);
    port.SetPromptForPort(true);
    port.SetPortSelector([] { return 0; }); // dialog cancelled
    EXPECT_THROW(port.SetOpen(true), ENoPortSelected);

    PtyModem modem;
    port.SetPortDeviceMap([&](int n) -> std::optional<std::string> {
        if (n == 3)
            return modem.Path();
        if (n == 4)
            return std::string("/dev/parvane-no-such-port");
        return std::nullopt;
    });
    EXPECT_EQ(portDevice(2, {}), "/dev/ttyS1");
    port.SetComNumber(4);
    EXPECT_EQ(codeOf([&] { port.SetOpen(true); }), -2001);
    port.SetComNumber(3);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.DevicePath(), modem.Path());

    TVelkComPort second;
    second.SetDevicePath(modem.Path());
    EXPECT_THROW(second.SetOpen(true), EAlreadyOpen);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    second.SetOpen(true);
    EXPECT_TRUE(second.Open());
}

// Each refused device keeps the specified text and names the path and what is wrong.
TEST(ComPort, RefusedDevicesAreNamedWithTheReason) {
    const auto file = tempPath("not-a-port");
    std::ofstream(file) << "text";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/dev/null", "not a serial device"},
        {file.string(), "not a serial device"},
        {"/dev/parvane-no-such-port", "no such device"},
        {std::filesystem::temp_directory_path().string(), "a directory"}};
    for (const auto& [path, fact] : cases) {
        TVelkComPort port;
        port.SetDevicePath(path);
        try {
            port.SetOpen(true);
            ADD_FAILURE() << path << " opened";
        } catch (const EBadId& e) {
            const std::string what = e.what();
            EXPECT_EQ(e.ErrorCode(), -2001);
            EXPECT_EQ(what.rfind(errorText(-2001), 0), 0u) << what;
            EXPECT_NE(what.find(path), std::string::npos) << what;
            EXPECT_NE(what.find(fact), std::string::npos) << what;
        }
        EXPECT_FALSE(port.Open());
    }
    std::filesystem::remove(file);
}

TEST(ComPort, TraceOfAnATExchangeDumpsAsWritten) {
    PtyModem modem;
    modem.Script([](const std::string& line) { return line == "AT" ? "OK" : "ERROR"; });
    TVelkComPort port;
    formSettings(port);
    port.SetDevicePath(modem.Path());
    port.SetTracing(TTraceLogState::tlOn);
    port.SetLogging(TTraceLogState::tlOn);
    auto trace = tempPath("parvane-trace");
    auto log = tempPath("parvane-log");
    port.SetTraceName(trace.string());
    port.SetLogName(log.string());
    port.SetOpen(true);
    modem.ReleaseSlave();
    std::atomic<int> got{0};
    port.OnTriggerData = [&](TVelkComPort&, std::uint16_t) { ++got; };
    port.AddDataTrigger("OK", false);
    port.PutString("AT\r");
    ASSERT_TRUE(eventually([&] { return got == 1; }));
    port.SetTracing(TTraceLogState::tlDump);
    EXPECT_EQ(readFile(trace), "Transmit: \nAT[0D]\n\nReceive: \nOK\n");
    // The dump cleared the trace; appending adds only what came since.
    port.PutString("AT\r");
    ASSERT_TRUE(eventually([&] { return got == 2; }));
    port.SetTracing(TTraceLogState::tlAppend);
    EXPECT_EQ(readFile(trace), "Transmit: \nAT[0D]\n\nReceive: \nOK\n"
                               "Transmit: \nAT[0D]\n\nReceive: \nOK\n");

    port.SetLogging(TTraceLogState::tlDump);
    std::string text = readFile(log);
    EXPECT_NE(text.find("  Dispatch  WriteCom      00000003  AT[0D]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Dispatch  ReadCom       00000002  OK\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Trigger   Data          00000008  \n"), std::string::npos) << text;
    std::filesystem::remove(trace);
    std::filesystem::remove(log);
}

TEST(ComPort, EventsOnTheOwnerThreadAndCloseFromAnEvent) {
    PtyModem modem;
    TVelkComPort port;
    port.SetDevicePath(modem.Path());
    std::thread::id owner = std::this_thread::get_id();
    std::mutex ownerLock; // stands in for the owner's message loop
    std::atomic<int> calls{0};
    port.SetOwnerInvoker([&](const std::function<void()>& f) {
        std::lock_guard g(ownerLock);
        ++calls;
        f();
    });
    std::vector<std::string> events;
    std::mutex evLock;
    auto note = [&](std::string s) {
        std::lock_guard g(evLock);
        events.push_back(std::move(s));
    };
    port.OnTrigger = [&](TVelkComPort&, std::uint16_t msg, std::uint16_t, std::uint16_t) {
        note("trigger " + std::to_string(msg));
    };
    port.OnTriggerAvail = [&](TVelkComPort& cp, std::uint16_t count) {
        note("avail " + std::to_string(count));
        std::uint8_t c;
        while (cp.Dispatcher().GetChar(c) == 0) {
        }
    };
    port.OnTriggerOutSent = [&](TVelkComPort&) { note("sent"); };
    port.OnTriggerData = [&](TVelkComPort& cp, std::uint16_t) {
        note("data");
        cp.SetOpen(false); // closing from inside an event is deferred
    };
    port.SetOpen(true);
    modem.ReleaseSlave();
    (void)owner;
    int sent = port.AddStatusTrigger(5);
    port.SetStatusTrigger(static_cast<std::uint16_t>(sent), 0, true);
    port.PutString("x");
    ASSERT_TRUE(eventually([&] {
        std::lock_guard g(evLock);
        return std::find(events.begin(), events.end(), "sent") != events.end();
    }));
    modem.Send("abc");
    ASSERT_TRUE(eventually([&] {
        std::lock_guard g(evLock);
        return std::find(events.begin(), events.end(), "avail 3") != events.end();
    }));
    port.AddDataTrigger("HANGUP", false);
    modem.Send("HANGUP");
    ASSERT_TRUE(eventually([&] { return !port.Open(); }));
    port.ProcessCloseRequest();
    EXPECT_FALSE(port.HasDispatcher());
    EXPECT_GT(calls, 0);
    std::lock_guard g(evLock);
    // Every message reaches OnTrigger before its own event.
    auto sentAt = std::find(events.begin(), events.end(), "sent");
    ASSERT_NE(sentAt, events.begin());
    EXPECT_EQ(*(sentAt - 1), "trigger " + std::to_string(apw::TriggerStatus));
}

TEST(ComPort, LostDeviceIsReportedAndCloseStillWorks) {
    auto modem = std::make_unique<PtyModem>();
    TVelkComPort port;
    port.SetDevicePath(modem->Path());
    std::atomic<int> lost{0};
    port.OnPortLost = [&](TVelkComPort&, int code) { lost = code; };
    port.SetOpen(true);
    modem->ReleaseSlave();
    modem->Send("RING\r\n");
    modem.reset();
    ASSERT_TRUE(eventually([&] { return lost != 0; }));
    EXPECT_EQ(lost, -ENODEV);
    EXPECT_EQ(codeOf([&] { port.PutString("ATH\r"); }), -ENODEV);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
}
