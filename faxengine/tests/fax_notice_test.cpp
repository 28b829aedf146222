#include "faxengine/fax_notice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace faxengine;
using namespace std::chrono_literals;

namespace {

struct Recorder {
    std::vector<FaxNotice> seen;
    FaxNoticeQueue queue{[this](const FaxNotice& n, FaxNoticeAnswer& a) {
        seen.push_back(n);
        if (n.kind == FaxNoticeKind::Accept)
            a.accept = n.param == 1;
        if (n.kind == FaxNoticeKind::FileName)
            a.fileName += ".APF";
    }};
};

// Pumps on this (the owner's) thread until `done` is set.
void pumpUntil(FaxNoticeQueue& q, const std::atomic<bool>& done) {
    auto end = std::chrono::steady_clock::now() + 5s;
    while (!done && std::chrono::steady_clock::now() < end)
        q.waitAndPump(10ms);
    q.pump();
}

} // namespace

TEST(FaxNoticeQueue, EngineThreadGetsTheOwnersAnswerInOrderWithPostedNotices) {
    Recorder r;
    std::atomic<bool> done{false};
    bool accepted = false, sentOk = false;
    std::string name;
    std::thread engine([&] {
        r.queue.post({FaxNoticeKind::Status, 1, {}});
        FaxNoticeAnswer a;
        sentOk = r.queue.send({FaxNoticeKind::Accept, 1, {}}, a);
        accepted = a.accept;
        FaxNoticeAnswer b;
        b.fileName = "FAX0001";
        r.queue.send({FaxNoticeKind::FileName, 0, {}}, b);
        name = b.fileName;
        r.queue.post({FaxNoticeKind::Finish, -8064, {}});
        done = true;
    });
    pumpUntil(r.queue, done);
    engine.join();
    r.queue.pump();
    EXPECT_TRUE(sentOk);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(name, "FAX0001.APF");
    ASSERT_EQ(r.seen.size(), 4u);
    EXPECT_EQ(r.seen[0].kind, FaxNoticeKind::Status);
    EXPECT_EQ(r.seen[1].kind, FaxNoticeKind::Accept);
    EXPECT_EQ(r.seen[2].kind, FaxNoticeKind::FileName);
    EXPECT_EQ(r.seen[3].kind, FaxNoticeKind::Finish);
    EXPECT_EQ(r.seen[3].param, -8064);
}

TEST(FaxNoticeQueue, UnansweredNoticeTimesOutWithTheCallersDefaultAndIsDropped) {
    Recorder r;
    FaxNoticeAnswer a;
    a.accept = false;
    bool ok = true;
    auto start = std::chrono::steady_clock::now();
    std::thread engine([&] { ok = r.queue.send({FaxNoticeKind::Accept, 1, {}}, a, 100ms); });
    engine.join(); // the owner never pumps meanwhile
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(ok);
    EXPECT_FALSE(a.accept);
    EXPECT_GE(waited, 100ms);
    // The owner comes back later: the stale request must not run any more.
    EXPECT_EQ(r.queue.pump(), 0u);
    EXPECT_TRUE(r.seen.empty());
}

TEST(FaxNoticeQueue, NoticeRaisedOnTheOwnersThreadRunsAtOnceAfterEarlierOnes) {
    Recorder r;
    std::thread([&] { r.queue.post({FaxNoticeKind::Error, -8061, {}}); }).join();
    FaxNoticeAnswer a;
    EXPECT_TRUE(r.queue.send({FaxNoticeKind::Accept, 1, {}}, a, 10ms));
    EXPECT_TRUE(a.accept);
    ASSERT_EQ(r.seen.size(), 2u);
    EXPECT_EQ(r.seen[0].kind, FaxNoticeKind::Error);
    EXPECT_EQ(r.seen[1].kind, FaxNoticeKind::Accept);
    EXPECT_EQ(r.queue.pending(), 0u);
}

TEST(FaxNoticeQueue, WakeupAnnouncesEachQueuedNotice) {
    Recorder r;
    std::atomic<int> wakes{0};
    r.queue.SetWakeup([&] { ++wakes; });
    std::thread([&] {
        r.queue.post({FaxNoticeKind::Status, 0, {}});
        r.queue.post({FaxNoticeKind::Status, 2, {}});
    }).join();
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(r.queue.pump(), 2u);
}
