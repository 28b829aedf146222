// Receive mode through the virtual fax line, as a user runs it: the line's fax machines
// call our modem one after another while the program sits in receive mode. In order: a
// call that breaks off in page 2, a 3-page fax, a fax printed on arrival while an older
// file holds the next number, and a call during which the user closes the program.
#include "modal_helper.h"
#include "send_test_support.h"
#include "vline_fixture.h"

#include "faxlog/dbe_table.h"
#include "workflow/receive/receive_mode.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <cstdio>
#include <set>

using namespace send_test;
using faxengine::linetest::commandOutput;
using faxengine::linetest::decodeApf;
using faxengine::linetest::decodeTiff;
using faxengine::linetest::haveTool;
using faxengine::linetest::Page;
using faxengine::linetest::run;
using faxengine::linetest::slurp;
namespace fs = std::filesystem;

namespace {

std::uint32_t u32At(const std::string& f, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(f[at]) | static_cast<unsigned char>(f[at + 1]) << 8 |
                                      static_cast<unsigned char>(f[at + 2]) << 16 |
                                      static_cast<unsigned char>(f[at + 3]) << 24);
}

// Page `page` (from 1) of an APF file decoded by libtiff's fax2tiff from its raw MH data.
Page pageThroughFax2tiff(const fs::path& apf, int page, const fs::path& scratch) {
    const std::string f = slurp(apf);
    std::size_t at = 64;
    for (int p = 1; p < page && at + 16 <= f.size(); ++p)
        at += 16 + u32At(f, at);
    if (at + 16 > f.size())
        return {};
    const fs::path raw = scratch / ("page" + std::to_string(page) + ".raw");
    const fs::path tif = scratch / ("page" + std::to_string(page) + ".fax2tiff.tif");
    std::ofstream(raw, std::ios::binary) << f.substr(at + 16, u32At(f, at));
    if (run("fax2tiff -1 -L -o '" + tif.string() + "' '" + raw.string() + "' 2>/dev/null") != 0)
        return {};
    return decodeTiff(tif);
}

// Rows of `got` up to the height of `sent` that differ; extra rows must be white.
int differing(const Page& sent, Page got) {
    if (got.width != sent.width || got.rows.size() < sent.rows.size())
        return -1;
    for (std::size_t r = sent.rows.size(); r < got.rows.size(); ++r)
        if (got.rows[r].find_first_not_of('\0') != std::string::npos)
            return -2;
    got.rows.resize(sent.rows.size());
    int n = 0;
    for (std::size_t r = 0; r < sent.rows.size(); ++r)
        n += sent.rows[r] != got.rows[r];
    return n;
}

// A short WAVE file of silence.
void writeWave(const fs::path& p) {
    std::string w = "RIFF";
    auto put = [&w](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            w += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    const std::uint32_t samples = 800;
    put(36 + samples * 2, 4);
    w += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(8000, 4);
    put(16000, 4);
    put(2, 2);
    put(16, 2);
    w += "data";
    put(samples * 2, 4);
    w += std::string(samples * 2, '\0');
    std::ofstream(p, std::ios::binary) << w;
}

constexpr int kCallWaitMs = 180000;

} // namespace

class ReceiveCallTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void aCallBrokenOffInPageTwoLeavesNoRecordAndNoFile();
    void aThreePageFaxIsLoggedAsFax0001WithThePagesSent();
    void theNextFaxSkipsATakenNumberAndIsPrintedOnArrival();
    void closingDuringACallAsksThenStopsWithReadableTables();
    void cleanupTestCase();

private:
    int receivedCount() { return p_->window.receivedTable()->rowCount(); }
    // Samples the status line and the tray tip while waiting.
    bool waitSampling(const std::function<bool()>& done, int timeoutMs);

    std::unique_ptr<DataDir> dir_;
    std::unique_ptr<Program> p_;
    fs::path scratch_;
    fs::path three_, two_, one_;
    QStringList statusLines_;
    QStringList trayTips_;
    QList<workflow::receive::ReceivedCall> reported_;
    int failures_ = 0;
    QString arrivedFile_;
    bool printedOk_ = false;
    QString printMessage_;
};

bool ReceiveCallTest::waitSampling(const std::function<bool()>& done, int timeoutMs) {
    return waitFor(
        [&] {
            const QString s = p_->window.statusText();
            if (!s.isEmpty() && (statusLines_.isEmpty() || statusLines_.back() != s))
                statusLines_ << s;
            if (auto* rx = p_->window.receiveWorkflow()) {
                const QString t = rx->trayToolTip();
                if (trayTips_.isEmpty() || trayTips_.back() != t)
                    trayTips_ << t;
            }
            return done();
        },
        timeoutMs);
}

void ReceiveCallTest::initTestCase() {
    QVERIFY2(haveTool("efix") && haveTool("fax2tiff") && haveTool("tiffcp") && haveTool("pdfinfo"),
             "efix, libtiff-tools and poppler-utils are needed (scripts/setup installs them)");
    dir_ = std::make_unique<DataDir>();
    scratch_ = dir_->path() / "scratch";
    fs::create_directories(scratch_);
    // Short pages at standard resolution keep the calls short.
    for (int i = 1; i <= 3; ++i) {
        std::ofstream(scratch_ / ("p" + std::to_string(i) + ".txt"))
            << "Page " << i << "\nParvane receive test, page " << i << " of the fax\n";
        QCOMPARE(run("cd '" + scratch_.string() + "' && efix -i text -o tiffg3 -r 204x98 -p 215x70mm -n p" +
                     std::to_string(i) + ".tif p" + std::to_string(i) + ".txt 2>/dev/null"),
                 0);
    }
    three_ = scratch_ / "three.tif";
    two_ = scratch_ / "two.tif";
    one_ = scratch_ / "p1.tif";
    QCOMPARE(run("cd '" + scratch_.string() + "' && tiffcp p1.tif p2.tif p3.tif three.tif && tiffcp p1.tif p2.tif two.tif"),
             0);

    settings::Settings s = lineSettings();
    s.receive.wav = (scratch_ / "arrived.wav").string();
    writeWave(s.receive.wav);
    dir_->writeSettings(s);

    // The line's fax machines call modem 100 in this order, each once the modem has been
    // quiet for the call delay (receive mode waiting for a call).
    auto farEnd = [](int number, const fs::path& file, const std::string& more) {
        return "[farend " + std::to_string(number) + "]\nmode = send\ndial = 100\necm = no\ncall-delay = 2s\n" +
               "ident = +1 555 0" + std::to_string(number) + "\nfile = " + file.string() + "\n" + more;
    };
    const std::string config = "[line]\nring-period = 2s\n[modem 100]\n[modem 101]\n" + farEnd(201, two_, "hangup-mid-page = 2\n") +
                               farEnd(202, three_, "") + farEnd(203, one_, "") + farEnd(204, three_, "");
    std::ofstream(scratch_ / "line.conf") << config;

    p_ = std::make_unique<Program>(dir_->path());
    vline::LaunchOptions launch;
    launch.executable = PARVANE_VLINE_EXE;
    launch.arguments = {"--config", (scratch_ / "line.conf").string(), "--log-dir", (scratch_ / "line-logs").string()};
    app::FaxLine line = app::FaxLine::forSettings(settings::current(), launch);
    QVERIFY2(line.isVirtual() && !line.devicePath().empty(), line.error().c_str());
    p_->window.setFaxLine(std::move(line));
    p_->window.receivedCallReport = [this](QWidget*, const workflow::receive::ReceivedCall& call) {
        reported_ << call;
    };
    p_->window.show();

    p_->window.ReceiveButtonClick();
    QVERIFY(p_->window.receiveMode());
    QCOMPARE(child<QPushButton>(&p_->window, "ReceiveButton")->text(), QStringLiteral("STOP"));
    auto* rx = p_->window.receiveWorkflow();
    connect(rx, &workflow::receive::ReceiveMode::receptionFailed, this, [this](int) { ++failures_; });
    connect(rx, &workflow::receive::ReceiveMode::faxReceived, this,
            [this](const QString& file) { arrivedFile_ = file; });
    connect(rx, &workflow::receive::ReceiveMode::printed, this, [this](bool ok, const QString& message) {
        printedOk_ = ok;
        printMessage_ = message;
    });
}

void ReceiveCallTest::aCallBrokenOffInPageTwoLeavesNoRecordAndNoFile() {
    // The error dialog as the window shows it, with its call report button.
    QString caption, text;
    bool reportButton = false;
    onWindowNamed(
        "TShowErrorForm",
        [&](QWidget* w) {
            caption = w->windowTitle();
            if (auto* memo = child<QPlainTextEdit>(w, "ErrorMemo"))
                text = memo->toPlainText();
            if (auto* b = child<QPushButton>(w, "CallReportButton")) {
                reportButton = b->isVisible();
                b->click();
            }
            child<QPushButton>(w, "OkButton")->click();
        },
        kCallWaitMs);
    QVERIFY(waitSampling([&] { return !caption.isEmpty(); }, kCallWaitMs));
    QCOMPARE(caption, QStringLiteral("Failed To Receive Incoming Fax"));
    QVERIFY2(text.startsWith(QStringLiteral("Parvane failed to receive an incoming fax.\n\nThe error message was:   ")),
             qPrintable(text));
    QVERIFY(!text.endsWith(QStringLiteral("Unknown error")));
    QVERIFY(reportButton);
    QCOMPARE(reported_.size(), 1);
    QVERIFY(!reported_[0].ok);
    QCOMPARE(reported_[0].remoteId, std::string("+1 555 0201"));
    QVERIFY(!reported_[0].steps.empty());
    QCOMPARE(failures_, 1);
    QCOMPARE(receivedCount(), 0);
    QVERIFY(!fs::exists(dir_->path() / "receive" / "FAX0001.APF"));
    QVERIFY(fs::is_empty(dir_->path() / "receive"));
    QVERIFY(p_->window.receiveMode());
    QVERIFY(!p_->window.receivingNow());
    QVERIFY(statusLines_.contains(QStringLiteral("Receiving fax from: +1 555 0201, page 2"), Qt::CaseSensitive) ||
            std::any_of(statusLines_.begin(), statusLines_.end(), [](const QString& l) {
                return l.startsWith(QStringLiteral("Receiving fax from: +1 555 0201, page 2"));
            }));
}

void ReceiveCallTest::aThreePageFaxIsLoggedAsFax0001WithThePagesSent() {
    statusLines_.clear();
    trayTips_.clear();
    arrivedFile_.clear();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    QVERIFY(waitSampling([&] { return receivedCount() == 1; }, kCallWaitMs));
    QVERIFY(waitFor([&] { return !arrivedFile_.isEmpty(); }, 5000));
    QCOMPARE(arrivedFile_, QString::fromStdString((dir_->path() / "receive" / "FAX0001.APF").string()));
    auto* t = p_->window.receivedTable();
    QCOMPARE(t->field(0, "FROM"), std::string("+1 555 0202"));
    QCOMPARE(t->field(0, "PAGES"), std::string("3"));
    QCOMPARE(t->field(0, "FAXFILE"), std::string("FAX0001.APF"));
    QCOMPARE(t->field(0, "DATEREC"), QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString());
    const QTime at = QTime::fromString(QString::fromStdString(t->field(0, "TIMEREC")), QStringLiteral("hh:mm"));
    QVERIFY(at.isValid());
    QVERIFY(QDateTime(QDate::currentDate(), at).secsTo(QDateTime::currentDateTime()) < 180 ||
            before.date() != QDate::currentDate());
    // The arrival sound was asked for (there is no audio device here: it stays silent).
    QVERIFY(waitFor([&] { return !p_->window.lastArrivalSound().isEmpty(); }, 5000));
    QCOMPARE(p_->window.lastArrivalSound(), QString::fromStdString(settings::current().receive.wav));

    const fs::path apf = dir_->path() / "receive" / "FAX0001.APF";
    for (int page = 1; page <= 3; ++page) {
        const Page sent = decodeTiff(three_, page - 1);
        QVERIFY(!sent.rows.empty());
        QCOMPARE(differing(sent, decodeApf(apf, page)), 0);
        QCOMPARE(differing(sent, pageThroughFax2tiff(apf, page, scratch_)), 0);
    }
    // What the status line and the tray said during the call.
    // (The receiver reports no byte count during a page, so the line shows none.)
    const bool pageData = std::any_of(statusLines_.begin(), statusLines_.end(), [](const QString& l) {
        return l.startsWith(QStringLiteral("Receiving fax from: +1 555 0202, page 3"));
    });
    QVERIFY2(pageData, qPrintable(statusLines_.join(QLatin1Char('|'))));
    QVERIFY2(trayTips_.contains(QStringLiteral("Parvane - waiting for faxes")), qPrintable(trayTips_.join('|')));
    QVERIFY2(std::any_of(trayTips_.begin(), trayTips_.end(),
                         [](const QString& l) { return l.startsWith(QStringLiteral("Parvane - Receiving fax from: +1 555 0202")); }),
             qPrintable(trayTips_.join('|')));
    qInfo("status line: %s", qPrintable(statusLines_.join(QStringLiteral(" | "))));
    qInfo("tray: %s", qPrintable(trayTips_.join(QStringLiteral(" | "))));
}

void ReceiveCallTest::theNextFaxSkipsATakenNumberAndIsPrintedOnArrival() {
    const fs::path out = commandOutput("'" + std::string(PARVANE_SOURCE_DIR) + "/scripts/cups-test-printer'");
    QVERIFY2(!out.empty() && fs::is_directory(out), "the CUPS PDF queue is not set up");
    const auto before = faxengine::linetest::filesWithExtension(out, ".pdf");
    fs::copy_file(dir_->path() / "receive" / "FAX0001.APF", dir_->path() / "receive" / "FAX0002.APF");
    settings::current().receive.printOnReceipt = true;
    settings::current().receive.printOnReceiptPrinter =
        commandOutput("'" + std::string(PARVANE_SOURCE_DIR) + "/scripts/cups-test-printer' --queue");
    printMessage_ = QStringLiteral("(not printed)");
    QVERIFY(waitSampling([&] { return receivedCount() == 2; }, kCallWaitMs));
    auto* t = p_->window.receivedTable();
    std::set<std::string> files{t->field(0, "FAXFILE"), t->field(1, "FAXFILE")};
    QVERIFY(files.count("FAX0003.APF"));
    QVERIFY(waitFor([&] { return printMessage_ != QStringLiteral("(not printed)"); }, 60000));
    QVERIFY2(printedOk_, qPrintable(printMessage_));
    fs::path pdf;
    QVERIFY(waitFor(
        [&] {
            for (const auto& f : faxengine::linetest::filesWithExtension(out, ".pdf"))
                if (!before.count(f) && fs::file_size(f) > 0)
                    pdf = f;
            return !pdf.empty();
        },
        60000));
    QTest::qWait(1000); // cups-pdf may still be writing
    QCOMPARE(QString::fromStdString(commandOutput("pdfinfo '" + pdf.string() + "' | sed -n 's/^Pages: *//p'")),
             QStringLiteral("1"));
    settings::current().receive.printOnReceipt = false;
}

void ReceiveCallTest::closingDuringACallAsksThenStopsWithReadableTables() {
    QVERIFY(waitSampling([&] { return p_->window.receivingNow() && p_->window.statusText().startsWith("Receiving fax"); },
                         kCallWaitMs));
    // No: the call goes on.
    auto box = testing_support::answerNextBox(QMessageBox::No);
    p_->window.close();
    QVERIFY(box->seen);
    QCOMPARE(box->title, QStringLiteral("Exit"));
    QCOMPARE(box->text, QStringLiteral("You are receiving a fax. Exit the program?"));
    QVERIFY(p_->window.isVisible());
    QVERIFY(p_->window.receiveMode());
    QTest::qWait(1500);
    QVERIFY(p_->window.receivingNow());

    // Yes: the receiver stops first; the half-received fax leaves neither record nor file.
    box = testing_support::answerNextBox(QMessageBox::Yes);
    const int failuresBefore = failures_;
    p_->window.close();
    QVERIFY(box->seen);
    QVERIFY(!p_->window.isVisible());
    QVERIFY(!p_->window.receiveMode());
    QCOMPARE(failures_, failuresBefore + 1);
    QVERIFY(!fs::exists(dir_->path() / "receive" / "FAX0004.APF"));
    QVERIFY(QApplication::activeModalWidget() == nullptr); // no failure dialog on the way out

    const std::string read = commandOutput(
        "cd '" + dir_->path().string() +
        "' && /usr/bin/python3 -c \"import dbfread; t = dbfread.DBF('PVNREC.DBF'); "
        "print(' '.join(sorted(r['FAXFILE'].strip() + ':' + str(int(r['PAGES'])) for r in t)))\" 2>&1");
    QCOMPARE(QString::fromStdString(read), QStringLiteral("FAX0001.APF:3 FAX0003.APF:1"));
}

void ReceiveCallTest::cleanupTestCase() { p_.reset(); }

QTEST_MAIN(ReceiveCallTest)
#include "receive_call_test.moc"
