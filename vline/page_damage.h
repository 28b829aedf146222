// A fault of the line for tests of page resending: chosen copies of non-ECM pages get a
// bit flipped in every coded row on their way from a modem to the line, so that the
// receiver's copy check fails and it answers RTN. Pages and their copies are counted from the
// receiver's answers, so a page sent again after RTN is its next copy.
#pragma once

#include "config.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vline {

// "copy 1 of page 2", "copies 1 to 3 of every page", "every copy of page 1".
std::string describe(const DamagePlan& plan);

class PageDamage {
public:
    explicit PageDamage(DamagePlan plan) : plan_(plan) {}

    // A +FTM transmission starts (the training check or a page): what follows is its data.
    void startData();
    // Data of that transmission as the program sends it (DLE-stuffed, DLE ETX at its end);
    // returns what the modem gets. Bytes after DLE ETX pass untouched.
    std::vector<std::uint8_t> pass(std::span<const std::uint8_t> stuffed);
    // What the sender's DCS chose: pages with error correction are left alone.
    void setErrorCorrection(bool on) { errorCorrection_ = on; }
    // The receiver's answer to the page just sent (X bit either way). MCF, RTP and PIP
    // move on to the next page; RTN and PIN ask for the same page again.
    void answered(std::uint8_t fcf);

    // After a transmission that carried coded rows: which copy of which page it was and
    // how many of its rows were damaged, once.
    std::optional<std::string> takeNote();

    int page() const { return page_; }
    int copy() const { return copy_; }

private:
    std::uint8_t passByte(std::uint8_t b);
    void passBit(int& bit);
    void endOfData();
    void emit(std::vector<std::uint8_t>& out, std::uint8_t b);

    DamagePlan plan_;
    int page_ = 1;
    int copy_ = 1;
    bool copySent_ = false; // rows went out since the last answer
    bool errorCorrection_ = false;

    // The transmission in progress.
    bool inData_ = false;
    bool dle_ = false;
    int zeros_ = 0;          // zero bits in a row, an EOL's 11 or more among them
    bool afterEol_ = false;  // an EOL was seen: coded rows follow
    bool rowHasOne_ = false; // the row's first 1 bit went by
    bool rowFlipped_ = false;
    int rows_ = 0;
    int damagedRows_ = 0;
    std::optional<std::string> note_;
};

} // namespace vline
