// parvane-cli send / receive: the fax components driven from the command line, with the
// settings of PVN.INI as defaults. Progress is printed as status events arrive; the exit
// status is 0 only when the fax went through.
#include "cli_args.h"

#include "faxengine/com_port.h"
#include "faxengine/modem_check.h"
#include "faxengine/receive_fax.h"
#include "faxengine/send_fax.h"
#include "faximage/apf_file.h"
#include "faxengine/engine_errors.h"
#include "settings/program_directory.h"
#include "settings/settings.h"
#include "vline_launcher.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace cli {

namespace {

using namespace faxengine;

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void onInterrupt(int) { gInterrupted = 1; }

// Ctrl-C aborts the session instead of killing the process, so the modem is hung up.
struct InterruptGuard {
    using Handler = void (*)(int);
    Handler oldInt;
    Handler oldTerm;
    InterruptGuard() {
        gInterrupted = 0;
        oldInt = std::signal(SIGINT, onInterrupt);
        oldTerm = std::signal(SIGTERM, onInterrupt);
    }
    ~InterruptGuard() {
        std::signal(SIGINT, oldInt);
        std::signal(SIGTERM, oldTerm);
    }
};

std::optional<TFaxClass> parseClass(std::string_view v) {
    if (v == "1")
        return TFaxClass::fcClass1;
    if (v == "2")
        return TFaxClass::fcClass2;
    if (v == "2.0")
        return TFaxClass::fcClass2_0;
    if (v == "auto" || v == "detect")
        return TFaxClass::fcDetect;
    return std::nullopt;
}

std::optional<int> parseRate(std::string_view v) {
    for (int rate : {2400, 4800, 7200, 9600, 12000, 14400})
        if (v == std::to_string(rate))
            return rate;
    return std::nullopt;
}

std::string inQuotes(std::string_view v) { return "'" + std::string(v) + "'"; }

std::optional<int> parsePortNumber(std::string_view v) {
    int n = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 255)
        return std::nullopt;
    return n;
}

// An option that takes a value but was given none (the last word, or "--speed=").
std::string missingValues(const CliArgs& args, std::initializer_list<std::string_view> names) {
    for (auto name : names)
        if (args.has(name) && !args.value(name))
            return std::string(name) + " needs a value";
    return "";
}

// Nothing that would end the dial command or add another one to it.
bool dialable(std::string_view digits) {
    for (char c : digits)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == ';')
            return false;
    return true;
}

// A fax number the modem can dial: not empty, and dialable. Returns an error text or "".
std::string checkNumber(const std::string& number) {
    if (number.find_first_not_of(" \t") == std::string::npos)
        return "no fax number given (" + inQuotes(number) + ")";
    if (!dialable(number))
        return "the fax number " + inQuotes(number) + " holds a character a modem cannot dial";
    return "";
}

TFaxClass storedClass(int stored) {
    switch (stored) {
    case 1:
        return TFaxClass::fcClass1;
    case 2:
        return TFaxClass::fcClass2;
    case 3:
        return TFaxClass::fcClass2_0;
    default:
        return TFaxClass::fcDetect;
    }
}

// Station ids come padded to 20 characters.
std::string trimmed(const std::string& id) {
    const auto first = id.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return id.substr(first, id.find_last_not_of(' ') - first + 1);
}

struct CommonSetup {
    // The data directory's settings, live flags set from them.
    explicit CommonSetup(const CliArgs& args) : programDir(settings::resolveProgramDirectory(args.dataDir)) {
        settings::loadSettings(s, programDir);
        settings::setLiveFlags(s);
    }
    settings::Settings s;
    std::filesystem::path programDir;
    std::optional<vline::VirtualLine> line;
};

// Port, trace and the options both commands share. Returns an error text or "".
std::string setUpPort(const CliArgs& args, CommonSetup& c, TVelkComPort& com) {
    com.SetAutoOpen(true);
    com.SetPromptForPort(false);
    auto port = args.value("--port");
    auto device = args.value("--device");
    int given = int(port.has_value()) + int(device.has_value()) + int(args.has("--virtual"));
    if (given > 1)
        return "give one of --port, --device and --virtual";
    // Without a port option the configured port is used, and a port PVN.INI names no
    // device for runs on the virtual line, as the program does.
    const bool useVirtual = args.has("--virtual") ||
                            (!port && !device && !c.s.namedDeviceForPort(c.s.configuredPortNumber()));
    if (useVirtual) {
        c.line = vline::VirtualLine::start();
        if (c.line->ports().empty())
            return "the virtual line has no modems";
        const auto& first = c.line->ports().front();
        std::printf("virtual line: using modem %s on %s\n", first.number.c_str(), first.path.c_str());
        com.SetDevicePath(first.path);
    } else if (device) {
        com.SetDevicePath(*device);
    } else {
        int n = c.s.configuredPortNumber();
        if (port) {
            const auto given = parsePortNumber(*port);
            if (!given)
                return "--port " + inQuotes(*port) + " is not a port number: give 1 for COM1, 2 for COM2, ...";
            n = *given;
        }
        if (n < 1)
            return "no port: give --port N, --device PATH or --virtual";
        settings::Settings copy = c.s;
        com.SetPortDeviceMap([copy](int k) -> std::optional<std::string> { return copy.devicePathForPort(k); });
        com.SetComNumber(n);
    }
    if (auto trace = args.value("--trace")) {
        com.SetTraceSize(static_cast<int>(PortTrace::kMaxEntries));
        com.SetTraceName(*trace);
        com.SetTracing(TTraceLogState::tlOn);
    }
    return "";
}

// Prints each new status text, errors, and the finish.
void attachProgress(TVelkCustomAbstractFax& fax, int& finishCode, bool& finished) {
    auto lastShown = std::make_shared<std::string>();
    fax.OnFaxStatus = [lastShown](TVelkCustomAbstractFax& f, bool, bool) {
        std::string text(faxStatusText(f.FaxProgress()));
        if (f.FaxProgress() == static_cast<int>(FaxStatus::SendingPage) ||
            f.FaxProgress() == static_cast<int>(FaxStatus::GettingPage))
            text += " (page " + std::to_string(f.CurrentPage()) + ")";
        if (!text.empty() && text != *lastShown) {
            std::printf("%s\n", text.c_str());
            std::fflush(stdout);
            *lastShown = text;
        }
    };
    fax.OnFaxError = [](TVelkCustomAbstractFax&, int code) {
        std::fprintf(stderr, "fax error %d: %s\n", code, faxengine::errorText(code).c_str());
    };
    fax.OnFaxFinish = [&finishCode, &finished](TVelkCustomAbstractFax& f, int code) {
        // The trace asked for with --trace is written while the port still holds it.
        if (TVelkComPort* port = f.ComPort(); port && port->Tracing() == TTraceLogState::tlOn && port->Open()) {
            try {
                port->SetTracing(TTraceLogState::tlDump);
            } catch (const faximage::EVelkException& e) {
                std::fprintf(stderr, "the trace could not be written to %s: %s\n", port->TraceName().c_str(), e.what());
            }
        }
        finishCode = code;
        finished = true;
    };
}

// The modem response check before a call: a modem that answers nothing is "no response".
bool modemAnswers(TVelkComPort& com, const char* command) {
    const ModemAnswer a = checkModemResponds(com);
    if (a == ModemAnswer::Ok)
        return true;
    std::fprintf(stderr, "parvane-cli %s: %s from the modem on %s\n", command, std::string(to_string(a)).c_str(),
                 com.DevicePath().c_str());
    return false;
}

void pumpUntilFinished(TVelkCustomAbstractFax& fax, const bool& finished) {
    bool aborted = false;
    while (!finished) {
        fax.Notices().waitAndPump(std::chrono::milliseconds(100));
        if (gInterrupted && !aborted) {
            std::fputs("aborting...\n", stderr);
            fax.AbortFax();
            aborted = true;
        }
    }
}

int sendUsage() {
    std::fputs("usage: parvane-cli send [--port N|--device PATH|--virtual] NUMBER FILE.apf... [--class 1|2|2.0|auto]\n"
               "       [--speed BPS] [--ecm|--no-ecm] [--station-id ID] [--header TEXT] [--dial-prefix P]\n"
               "       [--trace FILE] [--history FILE]\n"
               "Without a port option: the configured port, on the virtual line unless [Ports] names its device.\n",
               stderr);
    return 2;
}

// A call that failed after its file was made: the pages that came are kept, under a
// name that says the fax is not whole, so nobody takes FAX0001.APF for the complete fax
// and nothing that arrived is thrown away. A file without a page goes.
void keepPartialFax(const std::string& file) {
    if (file.empty() || !std::filesystem::exists(file))
        return;
    faximage::ApfReader reader;
    const int pages = reader.open(file) == 0 ? reader.pageCount() : 0;
    reader.close();
    std::error_code ec;
    if (pages == 0) {
        std::filesystem::remove(file, ec);
        std::printf("the call ended before a page arrived; %s removed\n", file.c_str());
        return;
    }
    const std::filesystem::path whole(file);
    const std::filesystem::path partial =
        whole.parent_path() / (whole.stem().string() + "-partial" + whole.extension().string());
    std::filesystem::rename(whole, partial, ec);
    std::printf("the call ended early: %d page%s (the last may be cut short) kept as %s\n", pages,
                pages == 1 ? "" : "s", (ec ? whole : partial).c_str());
}

int receiveUsage() {
    std::fputs("usage: parvane-cli receive [--port N|--device PATH|--virtual] [--dir DIR] [--once]\n"
               "       [--class 1|2|2.0|auto] [--speed BPS] [--ecm|--no-ecm] [--station-id ID]\n"
               "       [--trace FILE] [--history FILE]\n"
               "Without a port option: the configured port, on the virtual line unless [Ports] names its device.\n",
               stderr);
    return 2;
}

// Options both commands take; an error text naming the option and its value when one
// is malformed, else "".
std::string applyCommon(const CliArgs& args, TVelkCustomAbstractFax& fax) {
    if (auto err = missingValues(args, {"--class", "--speed", "--station-id", "--port", "--device",
                                        "--trace", "--history", "--header", "--dial-prefix", "--dir"});
        !err.empty())
        return err;
    if (auto v = args.value("--class")) {
        auto c = parseClass(*v);
        if (!c)
            return "--class " + inQuotes(*v) + " is not a fax class: give 1, 2, 2.0 or auto";
        fax.SetFaxClass(*c);
    }
    if (auto v = args.value("--speed")) {
        auto bps = parseRate(*v);
        if (!bps)
            return "--speed " + inQuotes(*v) +
                   " is not a transfer rate: give 2400, 4800, 7200, 9600, 12000 or 14400";
        fax.SetDesiredBPS(*bps);
    }
    if (args.has("--ecm"))
        fax.SetDesiredECM(true);
    if (args.has("--no-ecm"))
        fax.SetDesiredECM(false);
    if (auto v = args.value("--station-id"))
        fax.SetStationID(*v);
    return "";
}

} // namespace

int runSend(const CliArgs& args) {
    if (args.words.size() < 3)
        return sendUsage();
    // Everything the command line says is checked before a port is opened or a number
    // dialled.
    const std::string number = args.words[1];
    if (auto err = checkNumber(number); !err.empty()) {
        std::fprintf(stderr, "parvane-cli send: %s\n", err.c_str());
        return 2;
    }
    const std::vector<std::string> files(args.words.begin() + 2, args.words.end());
    for (const auto& f : files) {
        faximage::ApfReader reader;
        const int rc = reader.open(f);
        if (rc == faximage::ec::FaxBadFormat) {
            std::fprintf(stderr, "parvane-cli send: %s is not an APF fax file\n", f.c_str());
            return 1;
        }
        if (rc != 0) {
            std::fprintf(stderr, "parvane-cli send: %s: %s\n", f.c_str(), faxengine::errorText(rc).c_str());
            return 1;
        }
    }
    CommonSetup c(args);

    TVelkComPort com;
    TVelkSendFax fax;
    TVelkFaxLog history;
    // Defaults from the settings; options override them.
    fax.SetFaxClass(storedClass(c.s.modem.faxClass));
    fax.SetDesiredBPS(c.s.modem.maximumBps);
    fax.SetDesiredECM(c.s.dialing.ecm);
    fax.SetModemInit(c.s.modem.initString);
    fax.SetStationID(c.s.user.fax);
    fax.SetToneDial(c.s.dialing.toneOrPulse == 0);
    fax.SetBlindDial(c.s.dialing.blindDial);
    fax.SetDetectBusy(!c.s.dialing.ignoreBusy);
    fax.SetDialAttempts(c.s.dialing.dialAttempts);
    fax.SetDialRetryWait(c.s.dialing.retryWait);
    fax.SetDialPrefix(c.s.user.prefixDisable ? "" : c.s.dialing.dialPrefix);
    fax.SetHeaderSender(c.s.user.name);
    if (auto err = applyCommon(args, fax); !err.empty()) {
        std::fprintf(stderr, "parvane-cli send: %s\n", err.c_str());
        return 2;
    }
    if (auto v = args.value("--header"))
        fax.SetHeaderLine(*v);
    if (auto v = args.value("--dial-prefix")) {
        if (!dialable(*v)) {
            std::fprintf(stderr, "parvane-cli send: --dial-prefix %s holds a character a modem cannot dial\n",
                         inQuotes(*v).c_str());
            return 2;
        }
        fax.SetDialPrefix(*v);
    }
    if (auto err = setUpPort(args, c, com); !err.empty()) {
        std::fprintf(stderr, "parvane-cli send: %s\n", err.c_str());
        return 2;
    }
    fax.SetComPort(&com);
    std::string suffix = c.s.user.suffixDisable ? "" : c.s.dialing.dialSuffix;
    fax.SetPhoneNumber(number + suffix);
    fax.SetFaxFileList(files);
    if (auto h = args.value("--history")) {
        history.SetFaxHistoryName(*h);
        fax.SetFaxLog(&history);
    }

    int finishCode = 0;
    bool finished = false;
    attachProgress(fax, finishCode, finished);
    InterruptGuard guard;
    try {
        if (!modemAnswers(com, "send"))
            return 1;
        fax.StartSending();
    } catch (const faximage::EVelkException& e) {
        std::fprintf(stderr, "parvane-cli send: %s\n", e.what());
        return 1;
    }
    pumpUntilFinished(fax, finished);
    if (finishCode != 0) {
        std::printf("send failed: %s (%d)\n", faxengine::errorText(finishCode).c_str(), finishCode);
        return 1;
    }
    std::printf("sent to %s (remote id \"%s\") at %d bps\n", number.c_str(), trimmed(fax.RemoteID()).c_str(),
                fax.SessionBPS());
    return 0;
}

int runReceive(const CliArgs& args) {
    if (args.words.size() != 1)
        return receiveUsage();
    CommonSetup c(args);

    TVelkComPort com;
    TVelkReceiveFax fax;
    TVelkFaxLog history;
    fax.SetFaxClass(storedClass(c.s.modem.faxClassReceive));
    fax.SetDesiredBPS(c.s.modem.maximumBpsReceive);
    fax.SetDesiredECM(c.s.receive.ecmReceive);
    fax.SetModemInit(c.s.modem.initStringReceive);
    fax.SetStationID(c.s.user.fax);
    fax.SetAnswerOnRing(c.s.receive.answerOnRing);
    if (auto err = applyCommon(args, fax); !err.empty()) {
        std::fprintf(stderr, "parvane-cli receive: %s\n", err.c_str());
        return 2;
    }
    // The directory is settled before a call is answered: a fax must have somewhere to go.
    std::filesystem::path dir = settings::receiveDirectory(c.programDir);
    if (auto d = args.value("--dir"))
        dir = *d;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir)) {
        std::fprintf(stderr, "parvane-cli receive: cannot receive into %s: %s\n", dir.c_str(),
                     std::filesystem::exists(dir) ? "not a directory" : ec.message().c_str());
        return 1;
    }
    if (auto err = setUpPort(args, c, com); !err.empty()) {
        std::fprintf(stderr, "parvane-cli receive: %s\n", err.c_str());
        return 2;
    }
    fax.SetComPort(&com);
    fax.SetDestinationDir(dir.string());
    fax.SetOneFax(args.has("--once"));
    if (auto h = args.value("--history")) {
        history.SetFaxHistoryName(*h);
        fax.SetFaxLog(&history);
    }

    int finishCode = 0;
    bool finished = false;
    int received = 0;
    attachProgress(fax, finishCode, finished);
    fax.OnFaxLog = [&received](TVelkCustomAbstractFax& f, TFaxLogCode code) {
        if (code == TFaxLogCode::lfaxReceiveStart)
            std::printf("receiving %s from \"%s\"\n", f.FaxFile().c_str(), trimmed(f.RemoteID()).c_str());
        if (code == TFaxLogCode::lfaxReceiveOk) {
            ++received;
            std::printf("received %s\n", f.FaxFile().c_str());
        }
        if (code == TFaxLogCode::lfaxReceiveFail)
            keepPartialFax(f.FaxFile());
        std::fflush(stdout);
    };
    InterruptGuard guard;
    try {
        if (!modemAnswers(com, "receive"))
            return 1;
        fax.StartReceiving();
    } catch (const faximage::EVelkException& e) {
        std::fprintf(stderr, "parvane-cli receive: %s\n", e.what());
        return 1;
    }
    if (c.line)
        std::printf("waiting for calls on number %s\n", c.line->ports().front().number.c_str());
    pumpUntilFinished(fax, finished);
    // Stopped by the user: receive mode simply ends.
    if (finishCode != 0 && !gInterrupted) {
        std::printf("receive ended: %s (%d)\n", faxengine::errorText(finishCode).c_str(), finishCode);
        return 1;
    }
    return received > 0 || !args.has("--once") ? 0 : 1;
}

} // namespace cli
