#include "config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace vline {

std::string_view to_string(Condition c) {
    switch (c) {
    case Condition::Normal:
        return "normal";
    case Condition::Busy:
        return "busy";
    case Condition::NoAnswer:
        return "no-answer";
    case Condition::NoDialtone:
        return "no-dialtone";
    case Condition::Voice:
        return "voice";
    }
    return "?";
}

std::optional<Condition> conditionFromString(std::string_view s) {
    for (Condition c : {Condition::Normal, Condition::Busy, Condition::NoAnswer,
                        Condition::NoDialtone, Condition::Voice})
        if (to_string(c) == s)
            return c;
    if (s == "ok")
        return Condition::Normal;
    return std::nullopt;
}

std::string_view to_string(NumberKind k) {
    switch (k) {
    case NumberKind::Modem:
        return "modem";
    case NumberKind::FarEnd:
        return "farend";
    case NumberKind::Line:
        return "number";
    }
    return "?";
}

std::string_view to_string(FarEndMode m) {
    switch (m) {
    case FarEndMode::Receive:
        return "receive";
    case FarEndMode::Send:
        return "send";
    }
    return "?";
}

bool DamagePlan::covers(int pageNumber, int copy) const {
    return any() && (page == kEvery || page == pageNumber) && (copies == kEvery || copy <= copies);
}

Condition NumberConfig::conditionOfCall(int callIndex) const {
    if (sequence.empty())
        return condition;
    std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(std::max(callIndex, 0)),
                                          sequence.size() - 1);
    return sequence[i];
}

const NumberConfig* Config::find(std::string_view number) const {
    const std::string n = normaliseNumber(number);
    for (const auto& c : numbers)
        if (c.number == n)
            return &c;
    return nullptr;
}

std::vector<const NumberConfig*> Config::modems() const {
    std::vector<const NumberConfig*> out;
    for (const auto& c : numbers)
        if (c.kind == NumberKind::Modem)
            out.push_back(&c);
    return out;
}

namespace {

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string unquote(std::string s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

bool parseBool(std::string_view v, const std::string& where) {
    if (v == "1" || v == "yes" || v == "on" || v == "true")
        return true;
    if (v == "0" || v == "no" || v == "off" || v == "false")
        return false;
    throw ConfigError(where + ": expected yes or no, got \"" + std::string(v) + "\"");
}

int parseInt(std::string_view v, const std::string& where, int lo, int hi) {
    int out = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
    if (ec != std::errc() || p != v.data() + v.size() || out < lo || out > hi)
        throw ConfigError(where + ": expected a number from " + std::to_string(lo) + " to " +
                          std::to_string(hi) + ", got \"" + std::string(v) + "\"");
    return out;
}

// A page or copy count of the damage settings: a number, or "all".
int parseCountOrAll(std::string_view v, const std::string& where) {
    if (v == "all")
        return DamagePlan::kEvery;
    return parseInt(v, where, 0, 1000);
}

double parseDouble(std::string_view v, const std::string& where) {
    std::string s(v);
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(d))
        throw ConfigError(where + ": expected a number, got \"" + s + "\"");
    return d;
}

Condition parseCondition(std::string_view v, const std::string& where) {
    if (auto c = conditionFromString(v))
        return *c;
    throw ConfigError(where + ": unknown condition \"" + std::string(v) +
                      "\" (normal, busy, no-answer, no-dialtone, voice)");
}

// "START+LENGTH" in seconds, e.g. "3+2.5".
void parseDrop(std::string_view v, Impairments& imp, const std::string& where) {
    auto plus = v.find('+');
    if (plus == std::string_view::npos)
        throw ConfigError(where + ": drop is START+LENGTH, e.g. 3+2");
    try {
        imp.dropStart = parseDuration(trim(v.substr(0, plus)));
        imp.dropLength = parseDuration(trim(v.substr(plus + 1)));
    } catch (const ConfigError& e) {
        throw ConfigError(where + ": " + e.what());
    }
}

// Keys a number of any kind understands. Returns false for an unknown key.
bool applyNumberKey(NumberConfig& n, const std::string& key, const std::string& value,
                    const std::string& where) {
    if (key == "condition") {
        n.condition = parseCondition(value, where);
    } else if (key == "sequence") {
        n.sequence.clear();
        std::stringstream ss(value);
        std::string item;
        while (std::getline(ss, item, ','))
            n.sequence.push_back(parseCondition(trim(item), where));
    } else if (key == "noise") {
        n.impairments.noiseDbm0 = parseDouble(value, where);
    } else if (key == "drop") {
        parseDrop(value, n.impairments, where);
    } else if (key == "damage-page") {
        n.damage.page = parseCountOrAll(value, where);
    } else if (key == "damage-copies") {
        n.damage.copies = parseCountOrAll(value, where);
    } else if (key == "no-answer-after") {
        n.noAnswerAfter = parseDuration(value);
    } else if (key == "rings") {
        n.answerAfterRings = parseInt(value, where, 1, 20);
    } else if (key == "link" && n.kind == NumberKind::Modem) {
        n.link = value;
    } else if (key == "classes" && n.kind == NumberKind::Modem) {
        try {
            n.classes = parseClassList(value);
        } catch (const ConfigError& e) {
            throw ConfigError(where + ": " + e.what());
        }
    } else if (key == "bad-pages" && n.kind == NumberKind::Modem) {
        n.badPages = parseInt(value, where, 0, 100);
    } else if (n.kind != NumberKind::FarEnd) {
        return false;
    } else if (key == "mode") {
        if (value == "receive")
            n.mode = FarEndMode::Receive;
        else if (value == "send")
            n.mode = FarEndMode::Send;
        else
            throw ConfigError(where + ": mode is receive or send");
    } else if (key == "ident") {
        if (value.size() > 20)
            throw ConfigError(where + ": a station identifier has at most 20 characters");
        n.ident = value;
    } else if (key == "ecm") {
        n.ecm = parseBool(value, where);
    } else if (key == "coding") {
        if (value != "1d" && value != "2d")
            throw ConfigError(where + ": coding is 1d or 2d");
        n.twoDimensional = value == "2d";
    } else if (key == "file") {
        n.file = value;
    } else if (key == "dial") {
        n.dial = normaliseNumber(value);
    } else if (key == "call-delay") {
        n.callDelay = parseDuration(value);
    } else if (key == "calls") {
        n.calls = parseInt(value, where, 1, 1000);
    } else if (key == "hangup-after-pages") {
        n.hangupAfterPages = parseInt(value, where, 0, 1000);
    } else if (key == "hangup-mid-page") {
        n.hangupMidPage = parseInt(value, where, 0, 1000);
    } else if (key == "mid-page-delay") {
        n.midPageDelay = parseDuration(value);
    } else {
        return false;
    }
    return true;
}

bool applyLineKey(Config& cfg, const std::string& key, const std::string& value,
                  const std::string& where) {
    if (key == "log-dir")
        cfg.logDir = value;
    else if (key == "ports-file")
        cfg.portsFile = value;
    else if (key == "update-ini")
        cfg.updateIni = value;
    else if (key == "link-dir")
        cfg.linkDir = value;
    else if (key == "first-com")
        cfg.firstCom = parseInt(value, where, 1, 99);
    else if (key == "record")
        cfg.record = parseBool(value, where);
    else if (key == "ring-period")
        cfg.ringPeriod = parseDuration(value);
    else if (key == "dial-time")
        cfg.dialTime = parseDuration(value);
    else if (key == "disconnect-delay")
        cfg.disconnectDelay = parseDuration(value);
    else if (key == "line-delay")
        cfg.lineDelay = parseDuration(value);
    else if (key == "no-answer-after")
        cfg.defaultNoAnswer = parseDuration(value);
    else
        return false;
    return true;
}

NumberConfig& addNumber(Config& cfg, NumberKind kind, const std::string& number,
                        const std::string& where) {
    std::string n = normaliseNumber(number);
    if (n.empty())
        throw ConfigError(where + ": a section needs a number, e.g. [modem 100]");
    if (cfg.find(n))
        throw ConfigError(where + ": number " + n + " is given twice");
    NumberConfig c;
    c.number = n;
    c.kind = kind;
    cfg.numbers.push_back(c);
    return cfg.numbers.back();
}

void checkNumbers(const Config& cfg) {
    for (const auto& n : cfg.numbers) {
        if (n.kind != NumberKind::FarEnd || n.mode != FarEndMode::Send)
            continue;
        if (n.file.empty())
            throw ConfigError("far end " + n.number + " sends but has no file");
        if (n.dial.empty())
            throw ConfigError("far end " + n.number + " sends but has no number to dial");
    }
}

} // namespace

Millis parseDuration(std::string_view text) {
    std::string s = trim(text);
    double scale = 1000.0;
    if (s.size() > 2 && s.ends_with("ms")) {
        scale = 1.0;
        s.resize(s.size() - 2);
    } else if (s.size() > 1 && s.back() == 's') {
        s.pop_back();
    }
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v) || v < 0 || v > 86400e3)
        throw ConfigError("not a duration: \"" + std::string(text) + "\"");
    return Millis(static_cast<long long>(std::llround(v * scale)));
}

std::string normaliseNumber(std::string_view dial) {
    std::string out;
    for (char c : dial)
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '*' || c == '#' || c == '+')
            out += c;
    return out;
}

void loadConfigText(std::string_view text, const std::string& origin, Config& cfg) {
    std::istringstream in{std::string(text)};
    std::string raw;
    int lineNo = 0;
    NumberConfig* current = nullptr;
    bool inLine = false;
    // Numbers are kept by index: adding one may move the others.
    std::size_t currentIndex = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string where = origin + ":" + std::to_string(lineNo);
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                throw ConfigError(where + ": section header without ]");
            std::string inner = trim(line.substr(1, line.size() - 2));
            std::string kind = inner.substr(0, inner.find(' '));
            std::string number = inner.size() > kind.size() ? trim(inner.substr(kind.size())) : "";
            current = nullptr;
            inLine = false;
            if (kind == "line" && number.empty()) {
                inLine = true;
            } else if (kind == "modem") {
                addNumber(cfg, NumberKind::Modem, number, where);
            } else if (kind == "farend") {
                addNumber(cfg, NumberKind::FarEnd, number, where);
            } else if (kind == "number") {
                addNumber(cfg, NumberKind::Line, number, where);
            } else {
                throw ConfigError(where + ": unknown section [" + inner +
                                  "] (line, modem N, farend N, number N)");
            }
            if (!inLine) {
                currentIndex = cfg.numbers.size() - 1;
                current = &cfg.numbers[currentIndex];
            }
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos)
            throw ConfigError(where + ": expected key = value");
        std::string key = trim(line.substr(0, eq));
        std::string value = unquote(trim(line.substr(eq + 1)));
        bool known = false;
        try {
            if (inLine)
                known = applyLineKey(cfg, key, value, where);
            else if (current)
                known = applyNumberKey(cfg.numbers[currentIndex], key, value, where);
            else
                throw ConfigError(where + ": key outside a section");
        } catch (const ConfigError& e) {
            std::string msg = e.what();
            throw ConfigError(msg.starts_with(origin) ? msg : where + ": " + msg);
        }
        if (!known)
            throw ConfigError(where + ": unknown key \"" + key + "\"");
    }
    checkNumbers(cfg);
}

void loadConfigFile(const std::filesystem::path& file, Config& cfg) {
    std::ifstream in(file);
    if (!in)
        throw ConfigError("cannot read config file " + file.string());
    std::stringstream ss;
    ss << in.rdbuf();
    loadConfigText(ss.str(), file.string(), cfg);
}

void addDefaultPlan(Config& cfg, int modems) {
    for (int i = 0; i < modems; ++i) {
        NumberConfig m;
        m.kind = NumberKind::Modem;
        m.number = std::to_string(100 + i);
        cfg.numbers.push_back(m);
    }
    NumberConfig rx;
    rx.kind = NumberKind::FarEnd;
    rx.number = "200";
    cfg.numbers.push_back(rx);

    auto line = [&](const char* number, Condition c) {
        NumberConfig n;
        n.number = number;
        n.kind = NumberKind::Line;
        n.condition = c;
        n.noAnswerAfter = Millis(20000);
        cfg.numbers.push_back(n);
    };
    line("300", Condition::Busy);
    line("301", Condition::NoAnswer);
    line("302", Condition::NoDialtone);
    line("303", Condition::Voice);

    NumberConfig cut = rx;
    cut.number = "304";
    cut.hangupMidPage = 1;
    cfg.numbers.push_back(cut);
    NumberConfig noisy = rx;
    noisy.number = "305";
    noisy.impairments.noiseDbm0 = -25.0;
    cfg.numbers.push_back(noisy);
}

namespace {
struct Option {
    const char* name;
    bool takesValue;
};
constexpr Option kOptions[] = {
    {"--config", true},     {"--modems", true},    {"--log-dir", true},    {"--ports-file", true},
    {"--update-ini", true}, {"--link-dir", true},  {"--first-com", true},  {"--ident", true},
    {"--ecm", true},        {"--send", true},      {"--send-to", true},    {"--noise", true},
    {"--record", false},    {"--once", false},     {"--child", false},     {"--verbose", false},
    {"--help", false},      {"--version", false},  {"--classes", true},
};
} // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine out;
    std::vector<std::pair<std::string, std::string>> opts;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h")
            a = "--help";
        if (a == "-c")
            a = "--config";
        std::string value;
        bool hasValue = false;
        if (auto eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            hasValue = true;
        }
        const Option* opt = nullptr;
        for (const auto& o : kOptions)
            if (a == o.name)
                opt = &o;
        if (!opt)
            throw ConfigError("unknown option " + a + " (see --help)");
        if (opt->takesValue && !hasValue) {
            if (i + 1 >= argc)
                throw ConfigError(a + " needs a value");
            value = argv[++i];
        } else if (!opt->takesValue && hasValue) {
            throw ConfigError(a + " takes no value");
        }
        opts.emplace_back(a, value);
    }

    Config& cfg = out.config;
    for (const auto& [name, value] : opts)
        if (name == "--config")
            loadConfigFile(value, cfg);

    int modems = -1;
    std::optional<std::string> ident, ecm, send, sendTo, noise, classes;
    for (const auto& [name, value] : opts) {
        if (name == "--help")
            out.help = true;
        else if (name == "--version")
            out.version = true;
        else if (name == "--modems")
            modems = parseInt(value, name, 1, 64);
        else if (name == "--log-dir")
            cfg.logDir = value;
        else if (name == "--ports-file")
            cfg.portsFile = value;
        else if (name == "--update-ini")
            cfg.updateIni = value;
        else if (name == "--link-dir")
            cfg.linkDir = value;
        else if (name == "--first-com")
            cfg.firstCom = parseInt(value, name, 1, 99);
        else if (name == "--record")
            cfg.record = true;
        else if (name == "--once")
            cfg.once = true;
        else if (name == "--child")
            cfg.child = true;
        else if (name == "--verbose")
            cfg.verbose = true;
        else if (name == "--ident")
            ident = value;
        else if (name == "--classes")
            classes = parseClassList(value);
        else if (name == "--ecm")
            ecm = value;
        else if (name == "--send")
            send = value;
        else if (name == "--send-to")
            sendTo = value;
        else if (name == "--noise")
            noise = value;
    }
    if (out.help || out.version)
        return out;

    if (cfg.numbers.empty()) {
        addDefaultPlan(cfg, modems < 0 ? 2 : modems);
    } else if (modems >= 0) {
        std::erase_if(cfg.numbers, [](const NumberConfig& n) { return n.kind == NumberKind::Modem; });
        for (int i = 0; i < modems; ++i) {
            NumberConfig m;
            m.kind = NumberKind::Modem;
            m.number = std::to_string(100 + i);
            if (cfg.find(m.number))
                throw ConfigError("--modems: number " + m.number + " is taken in the config file");
            cfg.numbers.push_back(m);
        }
    }
    if (send) {
        NumberConfig tx;
        tx.kind = NumberKind::FarEnd;
        tx.mode = FarEndMode::Send;
        tx.number = "201";
        tx.file = *send;
        tx.dial = normaliseNumber(sendTo.value_or("100"));
        if (cfg.find(tx.number))
            throw ConfigError("--send: number 201 is taken in the config file");
        cfg.numbers.push_back(tx);
    }
    for (auto& n : cfg.numbers) {
        if (n.kind != NumberKind::FarEnd)
            continue;
        if (ident) {
            if (ident->size() > 20)
                throw ConfigError("--ident: a station identifier has at most 20 characters");
            n.ident = *ident;
        }
        if (ecm)
            n.ecm = parseBool(*ecm, "--ecm");
    }
    if (classes)
        for (auto& n : cfg.numbers)
            if (n.kind == NumberKind::Modem)
                n.classes = *classes;
    if (noise) {
        double level = parseDouble(*noise, "--noise");
        for (auto& n : cfg.numbers)
            n.impairments.noiseDbm0 = level;
    }
    if (cfg.modems().empty())
        throw ConfigError("the line has no modem");
    checkNumbers(cfg);
    return out;
}

std::string parseClassList(std::string_view text) {
    std::string out;
    bool zero = false, one = false;
    std::string item;
    std::stringstream ss{std::string(text)};
    while (std::getline(ss, item, ',')) {
        item = trim(item);
        if (item != "0" && item != "1" && item != "2" && item != "2.0")
            throw ConfigError("fax classes: \"" + item + "\" is not one of 0, 1, 2, 2.0");
        zero = zero || item == "0";
        one = one || item == "1";
        if (("," + out + ",").find("," + item + ",") == std::string::npos)
            out += (out.empty() ? "" : ",") + item;
    }
    // The T.31 modem is always there underneath.
    if (!zero || !one)
        throw ConfigError("fax classes: \"" + std::string(text) + "\" must include 0 and 1");
    return out;
}

std::string helpText() {
    return R"(Usage: parvane-vline [OPTION]...
The virtual fax line: a simulated telephone network with fax modems (Class 1,
and Class 2 and 2.0 where --classes or the config file asks for them).

Each modem is a pseudo-terminal that a fax program opens like a serial port
(Parvane, efax, ...). Dialling another modem's number rings it; other numbers
reach the built-in far-end fax machine or give a chosen call condition. Audio
runs in real time, 8000 samples/s.

Options:
  -c, --config FILE     read numbers and settings from FILE (format below)
      --modems N        N modems, numbers 100, 101, ... (default 2)
      --log-dir DIR     per-call logs, results, received faxes and recordings
                        (default ~/.local/state/parvane-vline)
      --record          record each call's audio as a WAVE file in the log dir
      --ports-file FILE write the modems' ports to FILE as [Ports] lines
      --update-ini FILE set the [Ports] lines of a PVN.INI file (other lines stay)
      --first-com N     COM number of the first modem in [Ports] lines (default 1)
      --link-dir DIR    make symbolic links DIR/ttyV0, DIR/ttyV1, ... to the ptys
      --ident TEXT      station identifier of every far end (at most 20 characters)
      --ecm on|off      error correction mode of every far end (default on)
      --send FILE       far end 201 calls a modem and sends the TIFF file FILE
      --send-to NUMBER  the number that far end calls (default 100)
      --noise DBM0      add white noise at this level (dBm0) to every call
      --classes LIST    fax classes of every modem, as AT+FCLASS=? lists them:
                        0,1 (the default), 0,1,2,2.0, 0,1,2.0 or 0,1,2
      --once            exit after the first call ends (status 0 when the far end
                        reported success or no far end took part)
      --child           run as a child process: exit when standard input closes
      --verbose         also write call events to standard error
  -h, --help            show this help
      --version         show the version

Built-in numbers (used when the config file names none):
  100, 101 ...  the modems
  200           far end that receives (TIFF files in LOGDIR/received)
  300 busy      301 no answer      302 no dial tone      303 voice
  304           far end that hangs up in the middle of the first page
  305           far end on a noisy line (-25 dBm0)

Output: one line per modem, "port COMn NUMBER PATH", then "ready". Stop with
Ctrl-C (or SIGTERM); calls in progress are hung up and their logs closed.

Config file: sections with key = value lines; # or ; start a comment.
  [line]          log-dir, ports-file, update-ini, link-dir, first-com, record,
                  ring-period (6s), dial-time (1.5s), disconnect-delay (1.5s),
                  no-answer-after (60s), line-delay (50ms, one way)
  [modem NUMBER]  link = PATH  (a symbolic link to the modem's pty),
                  classes = 0,1,2,2.0  (the classes it offers; 0 and 1 always,
                  2 and 2.0 when named; default 0,1),
                  bad-pages = N  (Class 2/2.0: the first N pages it receives in
                  a call fail its copy check: +FPTS:2 and RTN)
  [farend NUMBER] mode = receive|send, ident = TEXT, ecm = yes|no,
                  coding = 2d|1d (1d: MH only), file = TIFF (send), dial =
                  NUMBER (send: a modem, or a receiving far end), call-delay = 2s
                  (quiet time on the called port before calling), calls = N,
                  hangup-after-pages = N, hangup-mid-page = N, mid-page-delay = 1s
  [number NUMBER] a number with nothing on it but a condition
  Any number also takes: condition = normal|busy|no-answer|no-dialtone|voice,
  sequence = busy, normal, ... (the conditions of successive calls),
  noise = DBM0, drop = START+LENGTH (seconds of silence after the answer),
  no-answer-after = 30s, rings = N (rings before a far end answers),
  damage-page = N|all (a bit of every coded row of page N, or of every page,
  is flipped on its way from the calling modem, so that the receiver answers
  RTN; non-ECM pages), damage-copies = N|all (how many copies of that page are
  damaged: 1, the default, lets the page through when it is sent again)
Durations are seconds ("2.5") or carry a unit ("2500ms", "2.5s").

Results: LOGDIR/results.txt gets one line per call with the far end's
completion code, pages, bit rate and remote station identifier; LOGDIR holds a
readable log per call (call-NNNN.log) with the modem commands and T.30 frames.
)";
}

} // namespace vline
