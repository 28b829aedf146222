// The serial trace: a circular record of the bytes sent ('T') and received ('R') with a
// text dump for reading by people.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace faxengine {

class PortTrace {
public:
    static constexpr std::size_t kMaxEntries = 4'000'000;

    // Starts (or restarts, emptied) with room for entries; -1002 when 0 or above the limit.
    int Start(std::size_t entries);
    void Stop();
    void Clear();
    void Pause() { paused_ = true; }
    void Resume() { paused_ = false; }
    bool Started() const { return !buf_.empty(); }
    bool Recording() const { return Started() && !paused_; }
    std::size_t Size() const { return buf_.size(); }
    std::size_t Count() const { return wrapped_ ? buf_.size() : next_; }

    void Add(char direction, std::span<const std::uint8_t> bytes);

    // The dump text, oldest entry first.
    std::string Format(bool hex) const;
    // Writes the dump (overwriting or appending), then clears the trace. 0 or -errno;
    // -3008 when tracing is not on.
    int Dump(const std::filesystem::path& file, bool append, bool hex);

private:
    struct Entry {
        char direction;
        std::uint8_t byte;
    };
    std::vector<Entry> buf_;
    std::size_t next_ = 0;
    bool wrapped_ = false;
    bool paused_ = false;
};

// Appends text to a file, or replaces it; 0 or -errno.
int writeTextFile(const std::filesystem::path& file, const std::string& text, bool append);

} // namespace faxengine
