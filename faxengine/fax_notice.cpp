#include "faxengine/fax_notice.h"

namespace faxengine {

std::string_view to_string(FaxNoticeKind k) {
    switch (k) {
    case FaxNoticeKind::Status:
        return "status";
    case FaxNoticeKind::Log:
        return "log";
    case FaxNoticeKind::Error:
        return "error";
    case FaxNoticeKind::Finish:
        return "finish";
    case FaxNoticeKind::Accept:
        return "accept";
    case FaxNoticeKind::FileName:
        return "file name";
    case FaxNoticeKind::NextFax:
        return "next fax";
    }
    return "";
}

// One queued notice. A synchronous sender waits on `done`; once it gave up, the owner
// skips the entry (taken stays false) so that a late answer cannot be mistaken for one.
struct FaxNoticeQueue::Entry {
    FaxNotice notice;
    FaxNoticeAnswer answer;
    bool synchronous = false;
    bool abandoned = false; // sender timed out before the owner took it
    bool done = false;
    std::condition_variable doneCv;
};

FaxNoticeQueue::FaxNoticeQueue(Handler handler)
    : handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

FaxNoticeQueue::~FaxNoticeQueue() = default;

void FaxNoticeQueue::SetWakeup(std::function<void()> wakeup) {
    std::lock_guard lock(mutex_);
    wakeup_ = std::move(wakeup);
}

void FaxNoticeQueue::BindToCurrentThread() {
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
}

void FaxNoticeQueue::enqueue(std::shared_ptr<Entry> e) {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(e));
        wake = wakeup_;
    }
    arrived_.notify_all();
    if (wake)
        wake();
}

void FaxNoticeQueue::post(const FaxNotice& n) {
    auto e = std::make_shared<Entry>();
    e->notice = n;
    enqueue(std::move(e));
}

bool FaxNoticeQueue::send(const FaxNotice& n, FaxNoticeAnswer& answer,
                          std::chrono::milliseconds timeout) {
    if (OnOwnerThread()) {
        // Earlier notices first, so the owner sees them in the order they were raised.
        pump();
        handler_(n, answer);
        return true;
    }
    auto e = std::make_shared<Entry>();
    e->notice = n;
    e->answer = answer;
    e->synchronous = true;
    enqueue(e);
    std::unique_lock lock(mutex_);
    bool ok = e->doneCv.wait_for(lock, timeout, [&] { return e->done || e->abandoned; });
    if (!ok || !e->done) {
        e->abandoned = true;
        return false;
    }
    answer = e->answer;
    return true;
}

std::size_t FaxNoticeQueue::pump() {
    std::size_t ran = 0;
    for (;;) {
        std::shared_ptr<Entry> e;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                break;
            e = std::move(queue_.front());
            queue_.pop_front();
            if (e->abandoned)
                continue;
        }
        FaxNoticeAnswer answer = e->answer;
        handler_(e->notice, answer);
        ++ran;
        std::lock_guard lock(mutex_);
        if (e->synchronous && !e->abandoned) {
            e->answer = std::move(answer);
            e->done = true;
            e->doneCv.notify_all();
        }
    }
    return ran;
}

std::size_t FaxNoticeQueue::waitAndPump(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
    }
    return pump();
}

std::size_t FaxNoticeQueue::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

} // namespace faxengine
