// A program directory for the send window tests: PVN.INI written from a settings record,
// a sent fax made through the log table API, and the main window over it.
#pragma once

#include "faxlog/dbe_table.h"
#include "faxlog/log_records.h"
#include "faxlog_table.h"
#include "main_screen.h"
#include "settings/settings.h"
#include "workflow/send/send_fax_form.h"
#include "workflow/send/send_job.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace send_test {

inline const char* kCoverRtf =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs28 Fax cover sheet\\par\\par To: Anna Berg\\par "
    "Subject: Quarterly report\\par Pages: 2\\par}";
inline const char* kBodyRtf =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 The quarterly report follows.\\par\\par Sales rose "
    "in every region; the figures are in the attached table.\\par}";

// Settings for runs on the virtual line: one dial attempt, Class 1, 14400 bit/s.
inline settings::Settings lineSettings() {
    settings::Settings s;
    s.modem.comPort = 0;
    s.modem.faxClass = 1;
    s.modem.maximumBps = 14400;
    s.dialing.dialAttempts = 1;
    s.dialing.retryWait = 60;
    s.user.name = "Parvane Test";
    s.user.fax = "555 0100";
    return s;
}

struct DataDir {
    QTemporaryDir temp;
    std::filesystem::path path() const { return temp.path().toStdString(); }

    void writeSettings(const settings::Settings& s, const std::map<int, std::string>& ports = {}) {
        settings::saveSettings(s, path());
        if (ports.empty())
            return;
        std::ofstream ini(path() / settings::kSettingsFileName, std::ios::app);
        ini << "\r\n[Ports]\r\n";
        for (const auto& [n, dev] : ports)
            ini << "COM" << n << "=" << dev << "\r\n";
    }

    // A sent fax made as the fax editor would make it.
    void addSentFax(const faxlog::SentFaxContent& c) {
        app::LogDatabase db(path());
        auto table = db.open(app::LogKind::Sent);
        if (!table || !table->engineTable())
            throw std::runtime_error("the sent table does not open");
        faxlog::appendSentFax(*table->engineTable(), c);
    }

    // Files of the program directory whose names start with `prefix`.
    int filesStartingWith(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(path()))
            n += e.path().filename().string().rfind(prefix, 0) == 0;
        return n;
    }
};

inline faxlog::SentFaxContent twoPageFax(const std::string& phone) {
    return {"Anna Berg", "Quarterly report", phone, kCoverRtf, kBodyRtf};
}

// The main window over a data directory.
struct Program {
    explicit Program(const std::filesystem::path& dir)
        : db(dir), window(dir, [this](app::LogKind k, const std::filesystem::path&) { return db.open(k); }, {}) {}
    app::LogDatabase db;
    app::TMainScreen window;

    // The current sent record's field as stored (blanks removed).
    std::string sentField(const char* name) {
        faxlog::TDbeTable* t = window.sentTable()->engineTable();
        std::string v = t ? t->getTrimString(name) : std::string();
        v.erase(0, v.find_first_not_of(' ')); // numbers stand right-aligned
        return v;
    }
};

// Runs the event loop until `done` or the time is up.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

template <typename T>
T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QString::fromLatin1(name));
}

// Calls `act` with the first visible top-level window named `name` that shows up within
// `timeoutMs` (the send dialog itself is modal too, so the active modal widget will not do).
inline void onWindowNamed(const char* name, std::function<void(QWidget*)> act, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto left = std::make_shared<int>(timeoutMs / 10);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, left, name] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String(name) && w->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(w);
                return;
            }
        if (--*left <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// What the dialog would have shown in its boxes.
struct SeenMessages {
    QStringList information;
    QStringList errorCaptions;
    QStringList errorTexts;
    QList<int> errorCodes;
    int beeps = 0;
    void clear() { *this = SeenMessages(); }
};

// Replaces the dialog's boxes with records of what they said.
inline void recordMessages(workflow::send::SendServices& s, SeenMessages& seen) {
    s.information = [&seen](QWidget*, const QString& text) { seen.information << text; };
    s.showError = [&seen](QWidget*, const QString& caption, const QString& text, int code, bool) {
        seen.errorCaptions << caption;
        seen.errorTexts << text;
        seen.errorCodes << code;
        return false;
    };
    s.beep = [&seen] { ++seen.beeps; };
}

} // namespace send_test
