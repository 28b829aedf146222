#include "page_damage.h"

#include "base/t30_codes.h"

namespace vline {

namespace {
constexpr std::uint8_t kSub = 0x1A; // DLE SUB: two DLE data bytes
// An EOL is at least eleven 0 bits and a 1 (fill may lengthen the zeros).
constexpr int kEolZeros = 11;
} // namespace

std::string describe(const DamagePlan& plan) {
    const std::string copies = plan.copies == DamagePlan::kEvery ? "every copy"
                               : plan.copies == 1                ? "copy 1"
                                                 : "copies 1 to " + std::to_string(plan.copies);
    const std::string pages = plan.page == DamagePlan::kEvery ? "every page" : "page " + std::to_string(plan.page);
    return copies + " of " + pages;
}

void PageDamage::startData() {
    // Frames of an error-corrected page are checked and sent again frame by frame: no RTN.
    inData_ = !errorCorrection_;
    dle_ = false;
    zeros_ = 0;
    afterEol_ = rowHasOne_ = rowFlipped_ = false;
    rows_ = damagedRows_ = 0;
}

std::vector<std::uint8_t> PageDamage::pass(std::span<const std::uint8_t> stuffed) {
    std::vector<std::uint8_t> out;
    out.reserve(stuffed.size() + 8);
    for (std::uint8_t b : stuffed) {
        if (!inData_) {
            out.push_back(b);
        } else if (dle_) {
            dle_ = false;
            if (b == t30::kDLE) {
                emit(out, passByte(t30::kDLE));
            } else if (b == kSub) {
                emit(out, passByte(t30::kDLE));
                emit(out, passByte(t30::kDLE));
            } else {
                out.push_back(t30::kDLE);
                out.push_back(b);
                if (b == t30::kETX)
                    endOfData();
            }
        } else if (b == t30::kDLE) {
            dle_ = true;
        } else {
            emit(out, passByte(b));
        }
    }
    return out;
}

void PageDamage::emit(std::vector<std::uint8_t>& out, std::uint8_t b) {
    if (b == t30::kDLE)
        out.push_back(t30::kDLE);
    out.push_back(b);
}

// Page data goes out first bit in bit 0.
std::uint8_t PageDamage::passByte(std::uint8_t b) {
    std::uint8_t out = 0;
    for (int i = 0; i < 8; ++i) {
        int bit = (b >> i) & 1;
        passBit(bit);
        out = static_cast<std::uint8_t>(out | bit << i);
    }
    return out;
}

// The structure is read from the program's bits. In a row to be damaged the first 0 after
// the row's first 1 becomes a 1: that lies inside the row's first code or two, so the
// EOLs stay whole (a 0 turned 1 never makes one either) and the rows stay apart, while the
// row no longer decodes to the page's width. The training check (all zeros) has no rows.
void PageDamage::passBit(int& bit) {
    if (bit == 0) {
        ++zeros_;
        if (rowHasOne_ && !rowFlipped_ && plan_.covers(page_, copy_)) {
            bit = 1;
            rowFlipped_ = true;
            ++damagedRows_;
        }
        return;
    }
    if (zeros_ >= kEolZeros) {
        afterEol_ = true;
        rowHasOne_ = rowFlipped_ = false;
    } else if (afterEol_ && !rowHasOne_) {
        rowHasOne_ = true;
        ++rows_;
    }
    zeros_ = 0;
}

void PageDamage::endOfData() {
    inData_ = false;
    if (rows_ == 0)
        return;
    copySent_ = true;
    note_ = "copy " + std::to_string(copy_) + " of page " + std::to_string(page_) + ": " +
            std::to_string(rows_) + " rows, " + std::to_string(damagedRows_) + " damaged";
}

void PageDamage::answered(std::uint8_t fcf) {
    if (!copySent_)
        return;
    namespace f = t30::fcf;
    if (f::is(fcf, f::MCF) || f::is(fcf, f::RTP) || f::is(fcf, f::PIP)) {
        ++page_;
        copy_ = 1;
    } else if (f::is(fcf, f::RTN) || f::is(fcf, f::PIN)) {
        ++copy_;
    } else {
        return;
    }
    copySent_ = false;
}

std::optional<std::string> PageDamage::takeNote() {
    auto n = std::move(note_);
    note_.reset();
    return n;
}

} // namespace vline
