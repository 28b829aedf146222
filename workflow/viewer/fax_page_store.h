// The pages of the fax a viewer shows: the file, one entry per page, and the page
// bitmaps decoded on demand (1 = white, the window-system convention). Plain C++: the
// viewer widget draws what this holds.
//
// Operations return 0 or a negative code: -2 "File not found", -8001 "File is not an
// APF file", -1002 for a bad page number or whitespace values, -8 when rotation runs out
// of memory, and whatever decoding a page returns.
#pragma once

#include "faximage/mono_bitmap.h"
#include "faximage/unpack_engine.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace workflow::viewer {

class FaxPageStore {
public:
    FaxPageStore();

    // Opens `file` and decodes page 1 (every page with load whole fax). An empty name
    // only drops the fax. A file that cannot be read as a fax leaves the store without
    // one; a page that does not decode keeps the fax open, shows as a blank page and
    // keeps its code (pageError), so the good pages stay in view.
    int open(const std::filesystem::path& file);
    void close();

    bool hasFax() const { return !file_.empty(); }
    const std::filesystem::path& file() const { return file_; }
    int pageCount() const { return static_cast<int>(pages_.size()); }

    // The bitmap of a page (1-based), decoding it when missing; without load whole fax
    // every other page's bitmap is freed first, so one page at most stays in memory.
    // New bitmaps are turned by the current rotation. -1002 outside 1..pageCount; the
    // code of a decoding error when this call decoded the page and it failed.
    int preparePage(int page);
    // The code the page's last decoding failed with, 0 when it did not.
    int pageError(int page) const;
    // The first page error met by open() or setLoadWholeFax(), 0 when none.
    int firstError() const { return firstError_; }
    // A copy of a page's bitmap, decoded (and turned) for the copy alone when it is not
    // in memory, so the pages kept stay as they are.
    int pageCopy(int page, faximage::MonoBitmap& out);
    // The decoded bitmap of a page, or null.
    const faximage::MonoBitmap* bitmap(int page) const;
    int decodedPages() const;

    // Decoding flags of the unpack state: faximage::ufDoubleHeight, ufHalfWidth or 0.
    void setAutoScale(unsigned flags);
    unsigned autoScale() const;
    // Blank-line squeezing for later decodes (-1002 for refused values).
    int setWhitespace(int from, int to);
    // Called while a page is decoded, about every 16 lines: 0 to go on, -1003 to quit.
    void setYield(std::function<int()> yield);

    bool loadWholeFax() const { return loadWhole_; }
    // Switching on decodes every missing page; switching off frees every bitmap but
    // `keepPage`'s.
    int setLoadWholeFax(bool on, int keepPage);

    // Turns the decoded bitmaps to `rotation` (0-3 quarter turns clockwise from the page
    // as stored).
    int setRotation(int rotation);
    int rotation() const { return rotation_; }

    // ImageFlags of the page header last read.
    std::uint16_t lastPageFlags() const { return lastFlags_; }

private:
    struct Page {
        std::optional<faximage::MonoBitmap> bitmap; // empty bitmap after a failure
        int error = 0;
    };
    int decode(int page);

    faximage::UnpackState state_;
    std::filesystem::path file_;
    std::vector<Page> pages_;
    int firstError_ = 0;
    bool loadWhole_ = false;
    int rotation_ = 0;
    std::uint16_t lastFlags_ = 0;
};

} // namespace workflow::viewer
