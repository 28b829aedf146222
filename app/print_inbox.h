// Faxes printed from other programs. The fax queue's backend drops each job as a PDF into
// the user's spool inbox; the running program watches it, moves every job into its own
// data directory at once (so the spool empties and the job survives a crash) and opens a
// new fax on each, one after another, when the window is free to show an editor.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>

namespace app {

// Overrides the spool root the backend writes to (tests; the backend honours it too).
inline constexpr char kSpoolDirVariable[] = "PARVANE_SPOOL_DIR";
inline constexpr char kDefaultSpoolRoot[] = "/var/spool/parvane";
// Under the program directory: jobs taken from the spool that no editor has closed on yet,
// and, below that, the ones whose editor was cancelled (kept, never offered again).
inline constexpr char kPrintedDirName[] = "printed";
inline constexpr char kCancelledDirName[] = "cancelled";
inline constexpr std::chrono::milliseconds kPrintedRetryInterval{1000};

// The spool root's directory for the user running the program.
std::filesystem::path printInboxDirectory();

// Moves the jobs of `inbox` (plain files only, no links, no hidden temporaries) into
// `into`, oldest first, under free names. Returns the moved files in that order.
std::vector<std::filesystem::path> takePrintedJobs(const std::filesystem::path& inbox,
                                                   const std::filesystem::path& into);

class PrintInbox : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Accepted, Cancelled };
    // Opens a new fax with the file's pages as its document.
    using Opener = std::function<Outcome(const std::filesystem::path& file)>;

    PrintInbox(std::filesystem::path inbox, std::filesystem::path programDir, Opener opener,
               QObject* parent = nullptr);

    // False while a printed fax must wait (receive mode, another modal window).
    std::function<bool()> canOpen;
    // Told how many printed faxes wait (0: none any more).
    std::function<void(int waiting)> onWaiting;

    // Offers what an earlier run left, takes the inbox and watches it.
    void start();
    // Takes whatever the inbox holds now (another copy was started with --fax-inbox).
    void checkInbox();
    // A file named on the command line: opened like a printed job, but left where it is.
    void addFile(const std::filesystem::path& file);

    int waiting() const { return int(queue_.size()); }
    std::filesystem::path printedDirectory() const { return printedDir_; }

private:
    struct Job {
        std::filesystem::path file;
        bool ours = false; // in printedDir_: removed once its editor closes
    };
    void watchInbox();
    void openNext();
    void finish(const Job& job, Outcome outcome);

    std::filesystem::path inbox_;
    std::filesystem::path printedDir_;
    Opener opener_;
    std::deque<Job> queue_;
    bool opening_ = false;
    QFileSystemWatcher watcher_;
    QTimer retry_;
};

} // namespace app
