// Receive mode left on for many calls: the virtual line's fax machine calls modem 100
// again and again with a one-page fax while the main window sits in receive mode. Prints
// resident memory and open descriptors at call 10 and at the last call, and the process's
// CPU share while it waits between calls. Real time: about 15 s a call.
//   receive_soak_bench [calls=100]
#include "faxlog_table.h"
#include "main_screen.h"
#include "settings/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

long rssKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

int openFds() {
    int n = 0;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `ms` without spinning.
void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int calls = argc > 1 ? std::atoi(argv[1]) : 100;
    QTemporaryDir temp;
    const fs::path dir = temp.path().toStdString();
    const fs::path tif = dir / "page.tif";
    std::ofstream(dir / "page.txt") << "Parvane soak page\nThe quick brown fox jumps over the lazy dog.\n";
    if (std::system(("cd '" + dir.string() + "' && efix -i text -o tiffg3 -r 204x98 -p 215x70mm -n page.tif page.txt "
                     "2>/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "efix is needed\n");
        return 2;
    }
    settings::Settings s;
    s.modem.comPort = 0;
    s.user.fax = "555 0100";
    settings::saveSettings(s, dir);
    // A quiet time of 5 s before each call leaves a stretch of pure waiting to measure.
    std::ofstream(dir / "line.conf") << "[line]\nring-period = 2s\n[modem 100]\n[farend 201]\nmode = send\ndial = 100\n"
                                        "ecm = no\ncall-delay = 5s\ncalls = "
                                     << calls << "\nfile = " << tif.string() << "\n";

    app::LogDatabase db(dir);
    app::TMainScreen window(dir, [&db](app::LogKind k, const fs::path&) { return db.open(k); }, {});
    vline::LaunchOptions launch;
    launch.executable = PARVANE_VLINE_EXE;
    launch.arguments = {"--config", (dir / "line.conf").string(), "--log-dir", (dir / "logs").string()};
    window.setFaxLine(app::FaxLine::forSettings(settings::current(), launch));
    window.ReceiveButtonClick();
    if (!window.receiveMode()) {
        std::fprintf(stderr, "receive mode did not start\n");
        return 1;
    }
    std::printf("call  seconds  rss_KiB  fds  idle_cpu_%%\n");
    QElapsedTimer total;
    total.start();
    double idleCpu = 0, idleWall = 0;
    for (int call = 1; call <= calls; ++call) {
        QElapsedTimer t;
        t.start();
        while (window.receivedTable()->rowCount() < call && t.elapsed() < 120000)
            spin(100);
        if (window.receivedTable()->rowCount() < call) {
            std::fprintf(stderr, "call %d did not arrive\n", call);
            return 1;
        }
        // Between calls: 1 s after the record, for 2.5 s, the program only waits.
        spin(1000);
        const double c0 = cpuSeconds();
        QElapsedTimer idle;
        idle.start();
        spin(2500);
        const double share = 100.0 * (cpuSeconds() - c0) / (double(idle.elapsed()) / 1000.0);
        idleCpu += cpuSeconds() - c0;
        idleWall += double(idle.elapsed()) / 1000.0;
        if (call == 1 || call == 10 || call % 10 == 0 || call == calls)
            std::printf("%4d  %7.1f  %7ld  %3d  %6.2f\n", call, double(total.elapsed()) / 1000.0, rssKiB(), openFds(),
                        share);
        std::fflush(stdout);
    }
    std::printf("idle CPU over all calls: %.2f%% of one core\n", 100.0 * idleCpu / idleWall);
    window.ReceiveButtonClick();
    return 0;
}
