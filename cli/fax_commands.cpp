// parvane-cli send / receive: the fax components driven from the command line, with the
// settings of PVN.INI as defaults. Progress is printed as status events arrive; the exit
// status is 0 only when the fax went through.
#include "cli_args.h"

#include "faxengine/com_port.h"
#include "faxengine/modem_check.h"
#include "faxengine/receive_fax.h"
#include "faxengine/send_fax.h"
#include "faximage/fax_errors.h"
#include "settings/program_directory.h"
#include "settings/settings.h"
#include "vline_launcher.h"

#include <csignal>
#include <cstdio>
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
    com.SetTapiMode(TTapiMode::tmOff);
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
        const int n = port ? std::stoi(*port) : c.s.configuredPortNumber();
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
        std::fprintf(stderr, "fax error %d: %s\n", code, faximage::errorText(code).c_str());
    };
    fax.OnFaxFinish = [&finishCode, &finished](TVelkCustomAbstractFax&, int code) {
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

int receiveUsage() {
    std::fputs("usage: parvane-cli receive [--port N|--device PATH|--virtual] [--dir DIR] [--once]\n"
               "       [--class 1|2|2.0|auto] [--speed BPS] [--ecm|--no-ecm] [--station-id ID]\n"
               "       [--trace FILE] [--history FILE]\n"
               "Without a port option: the configured port, on the virtual line unless [Ports] names its device.\n",
               stderr);
    return 2;
}

// Options both commands take; false when one is malformed.
bool applyCommon(const CliArgs& args, TVelkCustomAbstractFax& fax) {
    if (auto v = args.value("--class")) {
        auto c = parseClass(*v);
        if (!c)
            return false;
        fax.SetFaxClass(*c);
    }
    if (auto v = args.value("--speed"))
        fax.SetDesiredBPS(std::stoi(*v));
    if (args.has("--ecm"))
        fax.SetDesiredECM(true);
    if (args.has("--no-ecm"))
        fax.SetDesiredECM(false);
    if (auto v = args.value("--station-id"))
        fax.SetStationID(*v);
    return true;
}

} // namespace

int runSend(const CliArgs& args) {
    if (args.words.size() < 3)
        return sendUsage();
    CommonSetup c(args);

    TVelkComPort com;
    TVelkSendFax fax;
    TVelkFaxLog history;
    try {
        if (auto err = setUpPort(args, c, com); !err.empty()) {
            std::fprintf(stderr, "parvane-cli send: %s\n", err.c_str());
            return 2;
        }
        fax.SetComPort(&com);
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
        if (!applyCommon(args, fax))
            return sendUsage();
        if (auto v = args.value("--header"))
            fax.SetHeaderLine(*v);
        if (auto v = args.value("--dial-prefix"))
            fax.SetDialPrefix(*v);
    } catch (const std::invalid_argument&) {
        return sendUsage();
    } catch (const std::out_of_range&) {
        return sendUsage();
    }
    std::string number = args.words[1];
    std::string suffix = c.s.user.suffixDisable ? "" : c.s.dialing.dialSuffix;
    fax.SetPhoneNumber(number + suffix);
    fax.SetFaxFileList({args.words.begin() + 2, args.words.end()});
    for (const auto& f : fax.FaxFileList()) {
        if (!faximage::isApfFile(f)) {
            std::fprintf(stderr, "parvane-cli send: %s is not an APF fax file\n", f.c_str());
            return 1;
        }
    }
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
        std::printf("send failed: %s (%d)\n", faximage::errorText(finishCode).c_str(), finishCode);
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
    try {
        if (auto err = setUpPort(args, c, com); !err.empty()) {
            std::fprintf(stderr, "parvane-cli receive: %s\n", err.c_str());
            return 2;
        }
        fax.SetComPort(&com);
        fax.SetFaxClass(storedClass(c.s.modem.faxClassReceive));
        fax.SetDesiredBPS(c.s.modem.maximumBpsReceive);
        fax.SetDesiredECM(c.s.receive.ecmReceive);
        fax.SetModemInit(c.s.modem.initStringReceive);
        fax.SetStationID(c.s.user.fax);
        fax.SetAnswerOnRing(c.s.receive.answerOnRing);
        if (!applyCommon(args, fax))
            return receiveUsage();
    } catch (const std::invalid_argument&) {
        return receiveUsage();
    } catch (const std::out_of_range&) {
        return receiveUsage();
    }
    std::filesystem::path dir = settings::receiveDirectory(c.programDir);
    if (auto d = args.value("--dir"))
        dir = *d;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
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
        std::printf("receive ended: %s (%d)\n", faximage::errorText(finishCode).c_str(), finishCode);
        return 1;
    }
    return received > 0 || !args.has("--once") ? 0 : 1;
}

} // namespace cli
