#include "print_inbox.h"

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace app {

namespace fs = std::filesystem;

namespace {

std::string userName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

// `dir/name`, or `dir/stem-2.ext`, `-3`, ... when that is taken.
fs::path freeName(const fs::path& dir, const fs::path& name) {
    fs::path candidate = dir / name;
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n)
        candidate = dir / (name.stem().string() + "-" + std::to_string(n) + name.extension().string());
    return candidate;
}

// Rename, or copy and remove when `to` is on another file system (spool and home apart).
bool moveFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec)
        return true;
    if (!fs::copy_file(from, to, fs::copy_options::none, ec) || ec) {
        fs::remove(to, ec);
        return false;
    }
    fs::remove(from, ec);
    return true;
}

// Plain files of `dir` (not links, not hidden), oldest first, the name breaking ties.
std::vector<fs::path> jobsIn(const fs::path& dir) {
    struct Entry {
        fs::file_time_type time;
        fs::path path;
    };
    std::vector<Entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.filename().string().starts_with('.'))
            continue;
        std::error_code statError;
        if (!fs::is_regular_file(fs::symlink_status(p, statError)))
            continue;
        entries.push_back({fs::last_write_time(p, statError), p});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.time != b.time ? a.time < b.time : a.path < b.path;
    });
    std::vector<fs::path> paths;
    for (Entry& e : entries)
        paths.push_back(std::move(e.path));
    return paths;
}

} // namespace

fs::path printInboxDirectory() {
    const char* root = std::getenv(kSpoolDirVariable);
    return fs::path(root && *root ? root : kDefaultSpoolRoot) / userName();
}

std::vector<fs::path> takePrintedJobs(const fs::path& inbox, const fs::path& into) {
    std::vector<fs::path> moved;
    std::error_code ec;
    fs::create_directories(into, ec);
    for (const fs::path& job : jobsIn(inbox)) {
        const fs::path target = freeName(into, job.filename());
        if (moveFile(job, target))
            moved.push_back(target);
    }
    return moved;
}

PrintInbox::PrintInbox(fs::path inbox, fs::path programDir, Opener opener, QObject* parent)
    : QObject(parent), inbox_(std::move(inbox)), printedDir_(std::move(programDir) / kPrintedDirName),
      opener_(std::move(opener)) {
    retry_.setInterval(kPrintedRetryInterval);
    connect(&retry_, &QTimer::timeout, this, &PrintInbox::openNext);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &PrintInbox::checkInbox);
}

void PrintInbox::start() {
    // An editor that never closed (the program ended first) leaves its job for now.
    for (fs::path& job : jobsIn(printedDir_))
        queue_.push_back({std::move(job), true});
    checkInbox();
}

void PrintInbox::watchInbox() {
    const QString inbox = QString::fromStdString(inbox_.string());
    if (watcher_.directories().contains(inbox))
        return;
    std::error_code ec;
    if (fs::is_directory(inbox_, ec)) {
        watcher_.addPath(inbox);
        return;
    }
    // The backend makes the inbox with the first job: until then watch the spool root.
    const QString root = QString::fromStdString(inbox_.parent_path().string());
    if (!watcher_.directories().contains(root) && fs::is_directory(inbox_.parent_path(), ec))
        watcher_.addPath(root);
}

void PrintInbox::checkInbox() {
    watchInbox();
    for (fs::path& job : takePrintedJobs(inbox_, printedDir_))
        queue_.push_back({std::move(job), true});
    openNext();
}

void PrintInbox::addFile(const fs::path& file) {
    std::error_code ec;
    queue_.push_back({fs::absolute(file, ec), false});
    openNext();
}

void PrintInbox::openNext() {
    // The editor is modal: while one is open its event loop may bring more jobs here.
    if (opening_)
        return;
    std::error_code ec;
    while (!queue_.empty() && !fs::exists(queue_.front().file, ec))
        queue_.pop_front();
    if (queue_.empty()) {
        retry_.stop();
        if (onWaiting)
            onWaiting(0);
        return;
    }
    if (canOpen && !canOpen()) {
        if (onWaiting)
            onWaiting(waiting());
        retry_.start();
        return;
    }
    retry_.stop();
    const Job job = queue_.front();
    queue_.pop_front();
    if (onWaiting)
        onWaiting(waiting());
    opening_ = true;
    const Outcome outcome = opener_(job.file);
    opening_ = false;
    finish(job, outcome);
    QTimer::singleShot(0, this, &PrintInbox::openNext);
}

void PrintInbox::finish(const Job& job, Outcome outcome) {
    if (!job.ours)
        return;
    std::error_code ec;
    switch (outcome) {
    case Outcome::Accepted:
        // The fax log holds the pages now.
        fs::remove(job.file, ec);
        break;
    case Outcome::Cancelled: {
        const fs::path cancelled = printedDir_ / kCancelledDirName;
        fs::create_directories(cancelled, ec);
        moveFile(job.file, freeName(cancelled, job.file.filename()));
        break;
    }
    }
}

} // namespace app
