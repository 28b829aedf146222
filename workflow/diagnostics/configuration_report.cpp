#include "workflow/diagnostics/configuration_report.h"

#include "faxengine/tick_clock.h"
#include "workflow/diagnostics/port_scan.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QSysInfo>

#include <grp.h>
#include <gnu/libc-version.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <tiffvers.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace diagnostics {

namespace {

constexpr std::int32_t kAnswerWaitTicks = 36;

std::string fileValue(const char* path, const std::string& key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) {
            std::string v = line.substr(key.size());
            const auto a = v.find_first_not_of(" \t:=\"");
            const auto b = v.find_last_not_of(" \t\"");
            return a == std::string::npos ? "" : v.substr(a, b - a + 1);
        }
    return {};
}

QString thousands(long long n) { return QLocale(QLocale::English).toString(n); }

// kB in /proc/meminfo → bytes.
long long memBytes(const char* key) {
    const std::string v = fileValue("/proc/meminfo", key);
    return v.empty() ? -1 : std::stoll(v) * 1024;
}

QString memLine(const char* label, long long total, long long avail) {
    QString line = QString::fromLatin1(label) + QStringLiteral("\tTotal: ");
    if (total >= 0)
        line += thousands(total);
    line += QStringLiteral(";    Available: ");
    if (avail >= 0)
        line += thousands(avail);
    return line;
}

std::string modeText(mode_t m) {
    std::string s = S_ISCHR(m) ? "c" : "-";
    const char* rwx = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        s += (m & (0400 >> i)) ? rwx[i] : '-';
    return s;
}

} // namespace

const std::vector<std::string>& modemIdentityCommands() {
    static const std::vector<std::string> commands = {"ATI", "ATI3", "AT+FMI?", "AT+FMM?", "AT+FMR?", "AT+FCLASS=?"};
    return commands;
}

ModemIdentity queryModemIdentity(faxengine::TVelkComPort& port) {
    ModemIdentity id;
    id.device = port.DevicePath();
    try {
        auto& d = port.Dispatcher();
        const bool was = d.SetDispatchingNow(true);
        for (const auto& cmd : modemIdentityCommands()) {
            d.FlushInBuffer();
            std::string answer;
            if (d.PutString(cmd + "\r") == 0) {
                const auto end = std::chrono::steady_clock::now() + faxengine::kTickLength * kAnswerWaitTicks;
                std::string line;
                bool done = false;
                while (!done && std::chrono::steady_clock::now() < end && d.IsOpen()) {
                    if (!d.WaitForInput(1, std::chrono::milliseconds(50)))
                        continue;
                    std::uint8_t c = 0;
                    while (!done && d.GetChar(c) == 0) {
                        if (c != '\r' && c != '\n') {
                            line.push_back(static_cast<char>(c));
                            continue;
                        }
                        if (line == "OK" || line == "ERROR") {
                            if (line == "ERROR")
                                answer += answer.empty() ? "ERROR" : " / ERROR";
                            done = true;
                        } else if (!line.empty() && line != cmd) { // not the echo
                            answer += (answer.empty() ? "" : " / ") + line;
                        }
                        line.clear();
                    }
                }
            }
            id.answers.emplace_back(cmd, answer);
        }
        d.SetDispatchingNow(was);
    } catch (const std::exception& e) {
        id.problem = e.what();
    }
    return id;
}

std::vector<std::string> serialDeviceLines(const std::vector<std::string>& devices) {
    std::vector<std::string> out;
    for (const auto& dev : devices) {
        struct stat st{};
        if (::stat(dev.c_str(), &st) != 0) {
            out.push_back(dev + "  (missing)");
            continue;
        }
        const passwd* pw = getpwuid(st.st_uid);
        const group* gr = getgrgid(st.st_gid);
        const std::string groupName = gr ? gr->gr_name : std::to_string(st.st_gid);
        std::string line = dev + "  " + modeText(st.st_mode) + "  " + (pw ? pw->pw_name : std::to_string(st.st_uid)) +
                           ":" + groupName;
        if (::access(dev.c_str(), R_OK | W_OK) == 0)
            line += "  (you may open it)";
        else
            line += "  (you may not open it: your user is not in group " + groupName + ")";
        out.push_back(line);
    }
    return out;
}

QStringList configurationReportLines(const settings::Settings& s, const ModemIdentity& modem) {
    QStringList lines;
    std::string distro = fileValue("/etc/os-release", "PRETTY_NAME");
    lines << QStringLiteral("Distribution:\t") + QString::fromStdString(distro);
    utsname u{};
    if (uname(&u) == 0)
        lines << QStringLiteral("Kernel:      \t%1 %2 %3").arg(QString::fromLatin1(u.sysname), QString::fromLatin1(u.release),
                                                                QString::fromLatin1(u.machine));
    else
        lines << QStringLiteral("Kernel:      \t");
    lines << QStringLiteral("CPU:         \tProcessor:  ") + QString::fromStdString(fileValue("/proc/cpuinfo", "model name")) +
                 QStringLiteral(" (%1 cores)").arg(sysconf(_SC_NPROCESSORS_ONLN));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const int depth = screen->depth();
        // In device pixels: with scaling on, Qt's own figures are divided by the ratio.
        const qreal ratio = screen->devicePixelRatio();
        const QString colours = depth >= 1 && depth <= 24 ? thousands(1LL << depth) : QString::number(depth) + QStringLiteral(" bits");
        lines << QStringLiteral("Video:       \t%1 x %2 x %3 colors")
                     .arg(qRound(screen->geometry().width() * ratio))
                     .arg(qRound(screen->geometry().height() * ratio))
                     .arg(colours);
        const int dpi = qRound(screen->logicalDotsPerInch() * ratio);
        lines << QStringLiteral("Font:        \t") +
                     (dpi == 96 ? QStringLiteral("Small Fonts in use")
                                : dpi == 120 ? QStringLiteral("Large Fonts in use")
                                             : QStringLiteral("Custom font size in use (%1 dpi)").arg(dpi));
    } else {
        lines << QStringLiteral("Video:       \t") << QStringLiteral("Font:        \t");
    }
    const long long total = memBytes("MemTotal"), avail = memBytes("MemAvailable");
    if (total > 0 && avail >= 0)
        lines << QStringLiteral("Memory Load: \t%1").arg(100 - avail * 100 / total);
    else
        lines << QStringLiteral("Memory Load: \t");
    lines << memLine("Phys Memory: ", total, avail);
    lines << memLine("Swap:        ", memBytes("SwapTotal"), memBytes("SwapFree"));
    const QLocale loc = QLocale::system();
    lines << QStringLiteral("Language:    \tUser: %1;    System: %2")
                 .arg(QLocale().name(), QString::fromLocal8Bit(qgetenv("LANG")));
    lines << QStringLiteral("Country:     \t") + QLocale::territoryToString(loc.territory());
    lines << QStringLiteral("Date Format: \tShort: %1;    Long: %2")
                 .arg(loc.dateFormat(QLocale::ShortFormat), loc.dateFormat(QLocale::LongFormat));
    lines << QStringLiteral("Time Format: \tShort: %1;    Long: %2")
                 .arg(loc.timeFormat(QLocale::ShortFormat), loc.timeFormat(QLocale::LongFormat));
    lines << QStringLiteral("Program:     \tParvane %1").arg(QString::fromLatin1(settings::kVersionString));
    lines << QStringLiteral("Libraries:   \tQt %1 (built with %2); %3; glibc %4")
                 .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
                      QString::fromLatin1(TIFFLIB_VERSION_STR).section(QLatin1Char('\n'), 0, 0),
                      QString::fromLatin1(gnu_get_libc_version()));

    lines << QString() << QStringLiteral("[Ports]");
    if (s.portDevices.empty())
        lines << QStringLiteral("(none: Com n means /dev/ttyS(n-1), or the virtual fax line)");
    for (const auto& [n, dev] : s.portDevices)
        lines << QStringLiteral("COM%1=%2").arg(n).arg(QString::fromStdString(dev));
    lines << QStringLiteral("Port in use: \tCom %1 (%2)")
                 .arg(s.configuredPortNumber())
                 .arg(QString::fromStdString(modem.device));

    lines << QString() << QStringLiteral("[Serial devices]");
    std::vector<std::string> devices = serialDevicesPresent();
    if (!modem.device.empty() && std::find(devices.begin(), devices.end(), modem.device) == devices.end())
        devices.push_back(modem.device);
    for (const auto& line : serialDeviceLines(devices))
        lines << QString::fromStdString(line);
    if (const passwd* pw = getpwuid(geteuid())) {
        QStringList groups;
        gid_t list[64];
        int n = 64;
        if (getgrouplist(pw->pw_name, pw->pw_gid, list, &n) >= 0)
            for (int i = 0; i < n; ++i)
                if (const group* g = getgrgid(list[i]))
                    groups << QString::fromLatin1(g->gr_name);
        lines << QStringLiteral("User:        \t%1 (groups: %2)").arg(QString::fromLatin1(pw->pw_name), groups.join(QLatin1Char(' ')));
    }

    lines << QString() << QStringLiteral("[Modem]");
    if (!modem.problem.empty())
        lines << QStringLiteral("Not asked:   \t") + QString::fromStdString(modem.problem);
    for (const auto& [cmd, answer] : modem.answers)
        lines << QString::fromStdString(cmd).leftJustified(12) + QLatin1Char('\t') +
                     (answer.empty() ? QStringLiteral("(no answer)") : QString::fromStdString(answer));
    return lines;
}

} // namespace diagnostics
