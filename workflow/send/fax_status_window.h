// The fax status window: what the fax component's status notices say about the running
// session (remote station, speed, page, bytes, elapsed time, redial countdown, progress
// text, page meter) and a Cancel button that aborts the call. Below the values, a
// collapsible list of the call's steps in plain words.
#pragma once

#include "faxengine/fax_status_display.h"

#include <QDialog>

#include <chrono>
#include <optional>
#include <string>

class QGridLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace faxengine {
class TVelkCustomAbstractFax;
}

namespace workflow::send {

class CallJournal;
class TVelkMeter;

// "m:ss" right-aligned in 6 characters: the elapsed time and the redial countdown.
std::string faxTimeText(long long seconds);
// A file name without its folder, cut to 20 characters and "..." when longer.
std::string shortFileName(const std::string& path);

class TStandardFaxDisplay : public QDialog {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit TStandardFaxDisplay(QWidget* parent = nullptr);

    void setFax(faxengine::TVelkCustomAbstractFax* fax) { fax_ = fax; }
    // The call's steps shown in the list (may be null).
    void setJournal(const CallJournal* journal) { journal_ = journal; }
    // Reads every value from the fax component.
    void updateValues(Clock::time_point now = Clock::now());
    // Shows the journal's lines again.
    void refreshJournal();

    TVelkMeter* meter() const { return meter_; }
    QString value(const char* labelName) const;

private:
    void addRow(QGridLayout* grid, int row, const char* caption, const char* name, QLabel*& label,
                bool hidden = false);

    faxengine::TVelkCustomAbstractFax* fax_ = nullptr;
    const CallJournal* journal_ = nullptr;
    std::optional<Clock::time_point> connectedAt_;
    std::optional<Clock::time_point> redialFrom_;
    int redialSeconds_ = 0;

    QLabel* fsPhoneNumber = nullptr;
    QLabel* fsFaxFileName = nullptr;
    QLabel* fsCoverFileName = nullptr;
    QLabel* fsTotalPages = nullptr;
    QLabel* fsDialAttempt = nullptr;
    QLabel* fsRemoteID = nullptr;
    QLabel* fsConnectBPS = nullptr;
    QLabel* fsResolution = nullptr;
    QLabel* fsWidth = nullptr;
    QLabel* fsErrorControl = nullptr;
    QLabel* fsCurrentPage = nullptr;
    QLabel* fsPageLength = nullptr;
    QLabel* fsBytesTransferred = nullptr;
    QLabel* fsElapsedTime = nullptr;
    QLabel* fsStatusMsg = nullptr;
    QLabel* fsLabel19 = nullptr;
    TVelkMeter* meter_ = nullptr;
    QPushButton* fsCancel = nullptr;
    QToolButton* DetailsButton = nullptr;
    QPlainTextEdit* StepsList = nullptr;
};

// The status component of the send dialog: creates the window on a session's first
// notice, keeps it up to date, hides it on the last.
class TVelkFaxStatus : public faxengine::TVelkAbstractFaxStatus {
public:
    explicit TVelkFaxStatus(QWidget* owner) : owner_(owner) {}
    ~TVelkFaxStatus() override;

    void UpdateDisplay(bool first, bool last) override;
    void setJournal(const CallJournal* journal);
    // The journal changed (an error or the finish was added).
    void JournalChanged();

    TStandardFaxDisplay* Display() const { return display_; }

private:
    QWidget* owner_;
    const CallJournal* journal_ = nullptr;
    TStandardFaxDisplay* display_ = nullptr;
};

} // namespace workflow::send
