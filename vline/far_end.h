// The built-in far-end fax machine: a T.30 terminal that receives to TIFF or sends a TIFF.
#pragma once

#include "call_log.h"
#include "config.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

struct fax_state_s;
struct t30_state_s;

namespace vline {

class FarEndFax {
public:
    // callId names the received file; log receives the T.30 frames as the far end sees them.
    FarEndFax(const NumberConfig& cfg, bool calling, int callId,
              const std::filesystem::path& receiveDir, CallLog& log);
    ~FarEndFax();
    FarEndFax(const FarEndFax&) = delete;
    FarEndFax& operator=(const FarEndFax&) = delete;

    void transmit(std::span<std::int16_t> out);
    void receive(std::span<const std::int16_t> in);

    // True once the fax session ended (phase E) or the far end dropped the line on
    // purpose (hang-up after pages or in the middle of a page).
    bool finished() const { return finished_; }
    bool droppedLine() const { return !dropReason_.empty(); }
    // The record of the call. Before phase E it says the session did not complete.
    ResultRecord result(int callId) const;
    // The call ended before the fax session did (the other side hung up).
    void callEnded();

private:
    static void onPhaseE(t30_state_s* s, void* user, int completion);
    static void onFrame(t30_state_s* s, void* user, int incoming, const std::uint8_t* msg, int len);
    static int onPhaseD(t30_state_s* s, void* user, int result);
    void fillStats();

    struct FaxDeleter {
        void operator()(fax_state_s* s) const;
    };

    const NumberConfig& cfg_;
    CallLog& log_;
    std::unique_ptr<fax_state_s, FaxDeleter> fax_;
    t30_state_s* t30_ = nullptr;
    std::filesystem::path file_;
    bool calling_;
    bool finished_ = false;
    int completion_ = -1;
    std::string dropReason_;
    // Pages are counted by the frames that start and confirm them: a page's image data
    // follows a CFR (first page) or an MCF (later pages), and an MCF confirms it.
    int pagesStarted_ = 0;
    int pagesConfirmed_ = 0;
    long long samples_ = 0;
    long long dropAt_ = -1; // sample count at which the line is dropped
    bool sessionStarted_ = false;
    int statsPages_ = 0;
    int statsBitRate_ = 0;
    bool statsEcm_ = false;
    std::string remoteId_;
};

} // namespace vline
