// A fixed-size byte ring: head is where the next byte goes, tail where the next byte is
// read; the full flag tells a full ring from an empty one. Not thread-safe: the owner
// holds the lock that guards it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace faxengine {

class ByteRing {
public:
    explicit ByteRing(std::size_t capacity) : buf_(capacity) {}

    std::size_t Capacity() const { return buf_.size(); }
    std::size_t Used() const {
        if (full_)
            return buf_.size();
        return head_ >= tail_ ? head_ - tail_ : buf_.size() - tail_ + head_;
    }
    std::size_t Free() const { return buf_.size() - Used(); }
    bool Empty() const { return !full_ && head_ == tail_; }

    // Copies the whole block in, or nothing when it does not fit.
    bool Put(std::span<const std::uint8_t> block) {
        if (block.size() > Free())
            return false;
        for (std::size_t done = 0; done < block.size();) {
            auto room = WritableSpan();
            std::size_t n = std::min(room.size(), block.size() - done);
            std::copy_n(block.data() + done, n, room.data());
            Commit(n);
            done += n;
        }
        return true;
    }

    // The contiguous free space after head (up to the end of the buffer), for reading
    // straight from a device; Commit() then adds what was filled.
    std::span<std::uint8_t> WritableSpan() {
        if (full_)
            return {};
        std::size_t end = head_ >= tail_ ? buf_.size() : tail_;
        return {buf_.data() + head_, end - head_};
    }
    void Commit(std::size_t n) {
        head_ = (head_ + n) % buf_.size();
        if (n > 0 && head_ == tail_)
            full_ = true;
    }

    // The contiguous queued bytes from tail (up to the end of the buffer).
    std::span<const std::uint8_t> ReadableSpan() const {
        if (Empty())
            return {};
        std::size_t end = head_ > tail_ ? head_ : buf_.size();
        return {buf_.data() + tail_, end - tail_};
    }

    std::uint8_t Peek(std::size_t offset) const { return buf_[(tail_ + offset) % buf_.size()]; }
    std::size_t PeekInto(std::size_t offset, std::span<std::uint8_t> out) const {
        std::size_t used = Used();
        if (offset >= used)
            return 0;
        std::size_t n = std::min(out.size(), used - offset);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = Peek(offset + i);
        return n;
    }
    void Consume(std::size_t n) {
        n = std::min(n, Used());
        if (n == 0)
            return;
        tail_ = (tail_ + n) % buf_.size();
        full_ = false;
    }
    void Clear() { head_ = tail_ = 0, full_ = false; }

private:
    std::vector<std::uint8_t> buf_;
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
    bool full_ = false;
};

} // namespace faxengine
