// Help: bundled HTML pages, one per context number, shown in one help window.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace app {

// Context numbers the program opens.
namespace help {
inline constexpr int kContents = 1009;
inline constexpr int kFaq = 911;
inline constexpr int kTechnicalSupport = 1025;
inline constexpr int kFaxEditor = 1015;
inline constexpr int kSendFax = 1016;
inline constexpr int kCoverBrowser = 1017;
inline constexpr int kCoverEditor = 1018;
inline constexpr int kPhoneBook = 1019;
inline constexpr int kPhoneBookEditor = 1020;
inline constexpr int kFaxViewer = 1021;
inline constexpr int kWizardIntro = 1022;
inline constexpr int kWizardModem = 3501;
inline constexpr int kWizardSending = 3502;
inline constexpr int kWizardReceiving = 3503;
inline constexpr int kLogCleanup = 21071;
} // namespace help

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the page of `context`; an unknown number shows the contents page.
    void showContext(int context);
    int currentContext() const { return context_; }
    QString currentTitle() const;

    // The resource path of a context's page, empty when there is none.
    static QString pageFor(int context);

private:
    QTextBrowser* Browser = nullptr;
    int context_ = 0;
};

// Opens (or brings forward) the program's help window at `context`.
HelpWindow* showHelp(int context);

} // namespace app
