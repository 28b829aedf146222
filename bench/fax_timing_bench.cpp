// Total session time of a fine fax at 14400 bit/s (10 pages by default) from our Class 1
// engine to the virtual line's far end, against a fax terminal of the line sending the
// same pages to the same far end over the same line (the reference call). Both times run
// from the far end's answer to the end of its fax session, read from the line's call logs.
// Also the processor time of each call: our whole process during our call, against the
// line's process during the reference call (its two fax terminals and the line itself).
// Real time: about eight minutes for both calls (10 fine pages at 14400 and 1 at 9600).
// Run by hand: build/bench/fax_timing_bench [--pages N --bps B] [--keep]
#include "faxengine/fax_session.h"
#include "faxengine/fax_transmit_port.h"
#include "faxengine/posix_dispatcher.h"
#include "faximage/fax_converter.h"
#include "vline_launcher.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace faxengine;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string lastLine(const fs::path& p) {
    std::istringstream in(slurp(p));
    std::string last;
    for (std::string l; std::getline(in, l);)
        if (!l.empty())
            last = l;
    return last;
}

std::string field(const std::string& line, const std::string& key) {
    const auto at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return {};
    auto v = at + key.size() + 2;
    if (v < line.size() && line[v] == '"')
        return line.substr(v + 1, line.find('"', v + 1) - v - 1);
    return line.substr(v, line.find(' ', v) - v);
}

// Seconds from the far end's answer to the end of the (receiving) fax session, from the
// time stamps of a call log; negative when the log lacks either.
double sessionSeconds(const fs::path& callLog) {
    std::istringstream in(slurp(callLog));
    double answered = -1, ended = -1;
    for (std::string l; std::getline(in, l);) {
        const double t = std::atof(l.c_str());
        if (answered < 0 && l.find(" answers") != std::string::npos)
            answered = t;
        if (l.find("session ended") != std::string::npos)
            ended = t;
    }
    return answered >= 0 && ended >= 0 ? ended - answered : -1;
}

// The page transmissions of our modem in a call log: after each AT+FTM that is not the
// training check (the one right after a DCS), the bytes the program gave and the time from
// CONNECT to OK. Time beyond what the bytes take at the line rate is training, and fill
// the modem sends whenever it runs dry in the middle of a page.
struct PageTiming {
    int pages = 0;
    long long bytes = 0;
    double seconds = 0;
    int underruns = 0; // stretches in which the modem ran dry mid-page
};

PageTiming pageTiming(const fs::path& callLog) {
    std::istringstream in(slurp(callLog));
    PageTiming p;
    bool afterDcs = false, inPage = false;
    double connectAt = -1;
    long long bytes = 0;
    for (std::string l; std::getline(in, l);) {
        const double t = std::atof(l.c_str());
        if (l.find("rx DCS") != std::string::npos)
            afterDcs = true;
        if (l.find("<- AT+FTM=") != std::string::npos) {
            inPage = !afterDcs;
            afterDcs = false;
            connectAt = -1;
            bytes = 0;
            continue;
        }
        if (!inPage)
            continue;
        if (connectAt < 0 && l.find("-> CONNECT") != std::string::npos)
            connectAt = t;
        if (const auto at = l.find("program data: "); at != std::string::npos)
            bytes += std::atoll(l.c_str() + at + 14);
        if (const auto at = l.find("page data ran dry "); at != std::string::npos)
            p.underruns += std::atoi(l.c_str() + at + 18);
        if (connectAt >= 0 && l.find("-> OK") != std::string::npos) {
            ++p.pages;
            p.bytes += bytes;
            p.seconds += t - connectAt;
            inPage = false;
        }
    }
    return p;
}

class Owner : public FaxNoticeSink {
public:
    std::string number, file;
    std::atomic<bool> finished{false};
    std::atomic<int> code{1};
    std::optional<std::int32_t> SendNotice(std::uint16_t msg, FaxSession& s, std::int32_t,
                                           std::chrono::milliseconds) override {
        if (msg != faxmsg::NextFax)
            return 0;
        if (given_)
            return 0;
        given_ = true;
        s.phoneNumber = number;
        s.faxFileName = file;
        return 1;
    }
    void PostNotice(std::uint16_t msg, FaxSession&, std::int32_t param) override {
        if (msg == faxmsg::Finish) {
            code = param;
            finished = true;
        }
    }

private:
    bool given_ = false;
};

double ownCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return secs(u.ru_utime) + secs(u.ru_stime);
}

// Processor seconds a process has used so far (utime + stime from /proc).
double processCpuSeconds(pid_t pid) {
    std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream in(stat.substr(close + 2));
    std::string f;
    long long utime = 0, stime = 0;
    for (int i = 3; in >> f; ++i) {
        if (i == 14)
            utime = std::atoll(f.c_str());
        if (i == 15) {
            stime = std::atoll(f.c_str());
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

vline::VirtualLine startLine(const fs::path& dir, const std::string& config) {
    fs::create_directories(dir);
    std::ofstream(dir / "line.conf") << config;
    vline::LaunchOptions o;
    o.executable = PARVANE_VLINE_EXE;
    o.arguments = {"--log-dir", (dir / "logs").string(), "--config", (dir / "line.conf").string()};
    return vline::VirtualLine::start(o);
}

} // namespace

int runCall(int pages, int bps, bool keep) {
    const fs::path dir = fs::temp_directory_path() /
                        ("fax-timing-bench-" + std::to_string(::getpid()) + "-" + std::to_string(pages) + "p");
    fs::remove_all(dir);
    fs::create_directories(dir);

    // The pages: a text page each, fine resolution.
    std::string text;
    for (int p = 1; p <= pages; ++p) {
        text += std::string(p > 1 ? "\f" : "") + "Timing page " + std::to_string(p) + "\n\n";
        for (int l = 0; l < 40; ++l)
            text += "  Line " + std::to_string(l) + ": the quick brown fox jumps over the lazy dog 0123456789.\n";
    }
    std::ofstream(dir / "pages.txt") << text;
    faximage::TVelkFaxConverter conv;
    conv.InputDocumentType = faximage::TFaxInputDocumentType::idText;
    conv.Resolution = faximage::TFaxResolution::frHigh;
    conv.SetDocumentFile((dir / "pages.txt").string());
    conv.OutFileName = (dir / "pages.apf").string();
    conv.ConvertToFile();

    // Our engine calls the far end.
    const std::string farEnd = "[modem 100]\n[farend 200]\necm = no\n";
    std::string ours;
    double ourCpu = 0, ourWall = 0, lineCpuOurs = 0, lineCpuReference = 0;
    {
        vline::VirtualLine line = startLine(dir / "ours", farEnd);
        const double lineCpu0 = processCpuSeconds(line.pid());
        const double cpu0 = ownCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        TVelkPosixDispatcher port;
        DispatcherOpenParams params;
        params.device = line.portPath(1);
        if (port.Open(params) != 0) {
            std::cerr << "cannot open " << params.device << '\n';
            return 1;
        }
        FaxSession session(FaxRole::Transmit);
        session.faxClass = FaxClass::fcClass1;
        session.stationId = "+1 555 0100";
        session.desiredBps = bps;
        session.options = faxopt::ExitOnError;
        Owner owner;
        owner.number = "200";
        owner.file = (dir / "pages.apf").string();
        FaxTransmitPort driver(session);
        session.Start(
            port, &owner,
            [](FaxSession& s) { return s.InitTransmit(static_cast<std::uint8_t>(TransmitState::tfGetEntry)); },
            driver.Procedure());
        for (int i = 0; i < 9000 && !owner.finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        session.Stop();
        port.Close();
        ourCpu = ownCpuSeconds() - cpu0;
        ourWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        lineCpuOurs = processCpuSeconds(line.pid()) - lineCpu0;
        line.stop();
        ours = lastLine(dir / "ours" / "logs" / "results.txt");
        if (!owner.finished || owner.code != 0 || field(ours, "result") != "0") {
            std::cerr << "our fax failed (code " << owner.code << "): " << ours << '\n';
            return 1;
        }
    }

    // The reference: a fax terminal of the line sends the pages the far end stored from our
    // call to the same far end, coded 1-D as ours are.
    std::string reference;
    {
        vline::VirtualLine line = startLine(dir / "reference", farEnd + "[farend 201]\nmode = send\nfile = " +
                                                                  field(ours, "file") +
                                                                  "\ndial = 200\necm = no\ncoding = 1d\ncall-delay = 0.5s\n");
        const double lineCpu0 = processCpuSeconds(line.pid());
        for (int i = 0; i < 9000 && !fs::exists(dir / "reference" / "logs" / "results.txt"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        lineCpuReference = processCpuSeconds(line.pid()) - lineCpu0;
        line.stop();
        reference = lastLine(dir / "reference" / "logs" / "results.txt");
        if (field(reference, "result") != "0") {
            std::cerr << "the reference call failed: " << reference << '\n';
            return 1;
        }
    }

    const double t = sessionSeconds(dir / "ours" / "logs" / "call-0001.log");
    const double r = sessionSeconds(dir / "reference" / "logs" / "call-0001.log");
    std::printf("fine pages: %d, speed: ours %s / reference %s bit/s, pages received %s / %s\n", pages,
                field(ours, "bit_rate").c_str(), field(reference, "bit_rate").c_str(), field(ours, "pages").c_str(),
                field(reference, "pages").c_str());
    std::printf("session time: ours %.2f s, reference %.2f s, ratio %.3f (target <= 1.10)\n", t, r,
                r > 0 ? t / r : 0.0);
    const PageTiming pt = pageTiming(dir / "ours" / "logs" / "call-0001.log");
    const double lineSeconds = static_cast<double>(pt.bytes) * 8.0 / std::max(1, std::atoi(field(ours, "bit_rate").c_str()));
    std::printf("our page data: %d pages, %lld bytes, %.2f s on the line, %.2f s at the line rate: "
                "%.2f s per page of training and modem fill\n",
                pt.pages, pt.bytes, pt.seconds, lineSeconds, pt.pages ? (pt.seconds - lineSeconds) / pt.pages : 0.0);
    std::printf("underruns (the modem ran dry mid-page): %d (target 0)\n", pt.underruns);
    std::printf("processor time: ours %.3f s in a call of %.1f s (%.3f %% of one core, target < 2 %%); "
                "the line's process %.3f s in our call, %.3f s in the reference call of two fax terminals "
                "(ours / reference %.2f, target <= 3)\n",
                ourCpu, ourWall, ourWall > 0 ? 100.0 * ourCpu / ourWall : 0.0, lineCpuOurs, lineCpuReference,
                lineCpuReference > 0 ? ourCpu / lineCpuReference : 0.0);
    if (keep)
        std::printf("files kept in %s\n", dir.c_str());
    else
        fs::remove_all(dir);
    return 0;
}

int main(int argc, char** argv) {
    int pages = 0;
    int bps = 14400;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--keep")
            keep = true;
        else if (a == "--pages" && i + 1 < argc)
            pages = std::max(1, std::atoi(argv[++i]));
        else if (a == "--bps" && i + 1 < argc)
            bps = std::atoi(argv[++i]);
    }
    if (pages > 0)
        return runCall(pages, bps, keep);
    // The two calls the goals name.
    int rc = runCall(10, 14400, keep);
    return runCall(1, 9600, keep) != 0 ? 1 : rc;
}
