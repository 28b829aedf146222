#include "workflow/diagnostics/problem_solver_topics.h"

#include "workflow/diagnostics/diagnostic_rules.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

static void initDiagnosticsResources() { Q_INIT_RESOURCE(diagnostics); }

namespace diagnostics {

namespace {

QHash<int, QString> readKeyed(const QString& resource) {
    initDiagnosticsResources();
    QHash<int, QString> out;
    QFile f(resource);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QString text = QString::fromUtf8(f.readAll());
    int key = -1;
    QString body;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("@@ "))) {
            if (key >= 0)
                out.insert(key, body);
            key = line.mid(3).trimmed().toInt();
            body.clear();
        } else if (key >= 0) {
            body += line + QLatin1Char('\n');
        }
    }
    if (key >= 0)
        out.insert(key, body);
    return out;
}

const QHash<int, QString>& solutions() {
    static const QHash<int, QString> s = readKeyed(QStringLiteral(":/diagnostics/solutions.html"));
    return s;
}

const QHash<int, QString>& generics() {
    static const QHash<int, QString> s = readKeyed(QStringLiteral(":/diagnostics/generic.html"));
    return s;
}

TopicNode leaf(const char* title, int topic) { return {QString::fromUtf8(title), topic, {}}; }
TopicNode group(const char* title, std::vector<TopicNode> children) {
    return {QString::fromUtf8(title), -1, std::move(children)};
}

QString escaped(const std::string& s) { return QString::fromStdString(s).toHtmlEscaped(); }

} // namespace

const std::vector<TopicNode>& topicTree() {
    static const std::vector<TopicNode> tree = {
        leaf("Analysis of Your Current Configuration", kTopicConfiguration),
        leaf("General Recommendations for Fax SENDING Problems", kTopicGeneralSending),
        leaf("General Recommendations for Fax RECEIVING Problems", kTopicGeneralReceiving),
        group("Error Messages",
              {leaf("Bad response from modem (when sending)", kTopicBadResponseSending),
               leaf("Bad response from modem (when receiving)", kTopicBadResponseReceiving),
               leaf("Fatal time out (when sending)", kTopicTimeoutSending),
               leaf("Fatal time out (when receiving)", kTopicTimeoutReceiving),
               leaf("Remote fax did not answer", kTopicNoAnswer),
               leaf("Failed to connect to remote fax", kTopicNoAnswer),
               leaf("No dial tone", kTopicNoDialTone),
               leaf("Port in use", kTopicPortInUse),
               leaf("All Other Error Messages", kTopicOtherErrors)}),
        group("Specific Problems related to Sending Faxes",
              {leaf("Faxes fail while the modems agree on a speed", 21),
               leaf("The other fax reports pages as unreadable", 22),
               leaf("The connection drops in the middle of a page", 23),
               leaf("The number is busy every time", 24)}),
        group("Specific Problems related to Receiving Faxes",
              {leaf("The program does not answer incoming calls", 41),
               leaf("Received pages are striped or garbled", 42),
               leaf("I may not open the modem's device (permission denied)", 43)}),
        group("How do I....??",
              {leaf("How do I find which port my modem is on?", 60), leaf("How do I use a USB modem?", 61),
               leaf("How do I try the program without a modem?", 62)}),
        group("Can the program do this....??",
              {leaf("Can the program send one fax to several recipients?", 70),
               leaf("Can the program fax documents from other applications?", 71)}),
        group("Upgrading, Installation Issues",
              {leaf("Moving the program's data to another computer", 80),
               leaf("Which packages does the program need?", 81)}),
        leaf("How do I get Technical Support?", kTopicTechSupport),
    };
    return tree;
}

QString storedSolution(int topic) { return solutions().value(topic); }
QString storedGeneric(int section) { return generics().value(section); }

QString techSupportText() {
    initDiagnosticsResources();
    QFile f(QStringLiteral(":/diagnostics/techsupport.html"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString configurationAnalysisHtml(const settings::Settings& s) {
    QString html = QStringLiteral("<h3>Analysis of Your Current Configuration</h3>");
    for (const auto& section : configurationAnalysis(s)) {
        html += QStringLiteral("<p><u><b>") + escaped(section.header) + QStringLiteral("</b></u></p><ul>");
        for (const auto& b : section.bullets)
            html += QStringLiteral("<li>") + escaped(b) + QStringLiteral("</li>");
        html += QStringLiteral("</ul>");
    }
    return html;
}

QString composeTopic(int topic, const QString& title, const settings::Settings& s) {
    if (topic == kTopicConfiguration)
        return configurationAnalysisHtml(s);
    if (topic == kTopicTechSupport)
        return techSupportText();
    QString text;
    int section = -1; // the generic section that follows, when the topic is composed
    switch (topic) {
    case kTopicBadResponseSending:
    case kTopicTimeoutSending:
    case 21:
    case kTopicGeneralSending:
        text = storedSolution(topic);
        section = 0;
        break;
    case kTopicNoAnswer:
        text = storedSolution(topic) +
               QStringLiteral("<p>First, ensure there is a faxmodem or fax machine at the other end</p><ul>"
                              "<li>Verify that the fax number you are calling is correct.</li>"
                              "<li>Make a voice call to the receiving fax to verify that you can hear an answering "
                              "fax tone.</li></ul>");
        section = 0;
        break;
    case kTopicBadResponseReceiving:
        text = storedSolution(kTopicBadResponseSending);
        section = 1;
        break;
    case kTopicTimeoutReceiving:
        text = storedSolution(kTopicTimeoutSending);
        section = 1;
        break;
    case 41:
    case kTopicGeneralReceiving:
        text = storedSolution(topic);
        section = 1;
        break;
    default: text = storedSolution(topic); break;
    }
    if (section >= 0)
        text += storedGeneric(section) + storedGeneric(2);
    text.replace(QStringLiteral("%TITLE%"), title.toHtmlEscaped());
    return text;
}

} // namespace diagnostics
