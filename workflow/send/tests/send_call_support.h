// Send attempts through the virtual fax line, driven from inside the send dialog as a
// user would: edit the number, press Send Fax Now, maybe do something while the call
// runs, and wait for the finish handler.
#pragma once

#include "send_test_support.h"
#include "vline_fixture.h"

#include "workflow/send/fax_status_window.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QToolButton>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace send_test {

struct Attempt {
    bool finished = false;
    QString result;         // the dialog's result text afterwards
    QStringList information;
    QStringList errorTexts;
    QList<int> errorCodes;
    std::vector<std::string> steps; // the steps list of the call
    bool stepsShownInDialog = false;
    qint64 ms = 0;
};

// A user's action while the call runs; gets the dialog.
using During = std::function<void(workflow::send::TSendFaxForm&)>;

inline Attempt runAttempt(workflow::send::TSendFaxForm& d, SeenMessages& seen, const QString& number,
                          const During& during = {}, int timeoutMs = 240000) {
    Attempt a;
    QTest::qWait(500); // a person takes a moment before the next try
    child<QLineEdit>(&d, "sfPhoneNumber")->setText(number);
    seen.clear();
    bool finished = false;
    auto c = QObject::connect(&d, &workflow::send::TSendFaxForm::attemptFinished, [&finished] { finished = true; });
    QElapsedTimer t;
    t.start();
    d.SendFaxButtonClick();
    if (during)
        during(d);
    a.finished = waitFor([&finished] { return finished; }, timeoutMs);
    QObject::disconnect(c);
    a.ms = t.elapsed();
    a.result = d.resultText();
    a.information = seen.information;
    a.errorTexts = seen.errorTexts;
    a.errorCodes = seen.errorCodes;
    a.steps = d.journal().lines();
    auto* list = child<QPlainTextEdit>(&d, "StepsList");
    a.stepsShownInDialog = list && !a.steps.empty() &&
                           list->toPlainText().contains(QString::fromStdString(a.steps.back()));
    return a;
}

inline QString joined(const std::vector<std::string>& lines) {
    QStringList l;
    for (const auto& s : lines)
        l << QString::fromStdString(s);
    return l.join(QLatin1Char('\n'));
}

// The status window's Cancel button, once it is there.
inline QPushButton* statusCancel(workflow::send::TSendFaxForm& d) {
    auto* display = d.statusComponent().Display();
    return display ? child<QPushButton>(display, "fsCancel") : nullptr;
}

// Waits until the sender reports `status` (and, when given, more).
inline bool waitForStatus(workflow::send::TSendFaxForm& d, faxengine::FaxStatus status, int timeoutMs,
                          const std::function<bool()>& more = {}) {
    return waitFor(
        [&] { return d.sender().FaxProgress() == static_cast<int>(status) && (!more || more()); }, timeoutMs);
}

// With PARVANE_SHOT_DIR set (a run under Xvfb), a picture of the screen as it is now,
// with both steps lists opened.
inline void screenshot(workflow::send::TSendFaxForm& d, const char* name) {
    const char* dir = std::getenv("PARVANE_SHOT_DIR");
    if (!dir || !*dir)
        return;
    if (auto* b = child<QToolButton>(&d, "StepsButton"); b && b->isEnabled())
        b->setChecked(true);
    if (auto* display = d.statusComponent().Display())
        if (auto* b = child<QToolButton>(display, "DetailsButton"))
            b->setChecked(true);
    QTest::qWait(500);
    const std::string cmd = "import -window root '" + std::string(dir) + "/" + name + ".png'";
    if (std::system(cmd.c_str()) != 0)
        qWarning("screenshot failed: %s", cmd.c_str());
}

// The call records of the virtual line.
inline std::vector<std::string> lineResults(const std::filesystem::path& logDir) {
    std::ifstream in(logDir / "results.txt");
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        if (!l.empty())
            lines.push_back(l);
    return lines;
}

// A data directory on the virtual line (started here, logs in the directory).
struct LineProgram {
    LineProgram(const settings::Settings& s, const faxlog::SentFaxContent& fax) {
        dir.writeSettings(s);
        dir.addSentFax(fax);
        logDir = dir.path() / "line-logs";
        program = std::make_unique<Program>(dir.path());
        vline::LaunchOptions launch;
        launch.executable = PARVANE_VLINE_EXE;
        launch.arguments = {"--log-dir", logDir.string()};
        app::FaxLine line = app::FaxLine::forSettings(settings::current(), launch);
        ok = line.isVirtual() && !line.devicePath().empty();
        program->window.setFaxLine(std::move(line));
    }
    DataDir dir;
    std::filesystem::path logDir;
    std::unique_ptr<Program> program;
    bool ok = false;
};

} // namespace send_test
