// Notices from a fax session to its owning component. The session runs on the port's
// dispatch thread; the component's events must run on the owner's thread. Notices are
// queued here and the owner runs them by calling pump() (or waitAndPump() in a loop of
// its own); a wake-up callback lets an event loop schedule that call.
//
// Synchronous notices (everything but finish) block the engine until the owner has
// answered or the timeout passed; a notice the owner did not reach in time is dropped
// and the engine gets the safe answer (no next fax, call refused, name unchanged).
// A notice raised on the owner's own thread runs at once, so an owner that drives the
// engine from its own thread (start-up exchanges) cannot wait for itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace faxengine {

enum class FaxNoticeKind : std::uint8_t { Status, Log, Error, Finish, Accept, FileName, NextFax };
std::string_view to_string(FaxNoticeKind k);

inline constexpr std::chrono::milliseconds kFaxNoticeTimeout{1000};

// The session's progress as it stood when a notice was raised. The owner reads these
// values instead of the live session, which the engine thread keeps changing.
struct FaxProgress {
    int faxStatus = 0;
    int lastError = 0;
    std::string remoteId;
    int currentPage = 0;
    int pageCount = 0;
    int coverCount = 0;
    long long pageBytes = 0;
    long long pageLength = 0;
    int hangupCode = 0;
    int bps = 0;
    bool fine = false;
    bool wide = false;
    bool ecm = false;
    int dialAttempt = 0;
    int supportedClasses = 0; // the last class query's answer
    std::string faxFile;      // the session's current fax file
};

struct FaxNotice {
    FaxNoticeKind kind = FaxNoticeKind::Status;
    int param = 0; // status: 1 first, 2 last, 0 neither; log code; error or finish code
    FaxProgress progress;
};

// What the owner answers to Accept, FileName and NextFax.
struct FaxNoticeAnswer {
    bool accept = false;
    std::string fileName;
    bool haveFax = false;
    std::string phoneNumber;
    std::string faxFile;
    std::string coverFile;
};

class FaxNoticeQueue {
public:
    using Handler = std::function<void(const FaxNotice&, FaxNoticeAnswer&)>;

    // The owner's thread is the one that creates the queue; handler runs the notices.
    // The session must be stopped before the queue goes (senders wait on its lock).
    explicit FaxNoticeQueue(Handler handler);
    ~FaxNoticeQueue();
    FaxNoticeQueue(const FaxNoticeQueue&) = delete;
    FaxNoticeQueue& operator=(const FaxNoticeQueue&) = delete;

    // Called (from the engine's thread) whenever a notice is queued; an event loop uses
    // it to schedule pump() on the owner's thread.
    void SetWakeup(std::function<void()> wakeup);
    // Makes the calling thread the owner (for owners created on another thread).
    void BindToCurrentThread();
    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

    // Engine side. post() queues and returns; send() waits for the answer. send()
    // returns false (answer left as the caller's default) when the owner did not take
    // the notice within the timeout.
    void post(const FaxNotice& n);
    bool send(const FaxNotice& n, FaxNoticeAnswer& answer,
              std::chrono::milliseconds timeout = kFaxNoticeTimeout);

    // Owner side: runs every queued notice; returns how many ran.
    std::size_t pump();
    // Waits up to `timeout` for a notice, then pumps; returns how many ran.
    std::size_t waitAndPump(std::chrono::milliseconds timeout);
    std::size_t pending() const;

private:
    struct Entry;
    void enqueue(std::shared_ptr<Entry> e);

    Handler handler_;
    std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::shared_ptr<Entry>> queue_;
    std::function<void()> wakeup_;
};

} // namespace faxengine
