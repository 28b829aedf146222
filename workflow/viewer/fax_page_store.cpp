#include "workflow/viewer/fax_page_store.h"

#include "faximage/fax_errors.h"
#include "workflow/viewer/page_rotation.h"

#include <new>

namespace workflow::viewer {

namespace ec = faximage::ec;

FaxPageStore::FaxPageStore() {
    state_.setFlag(faximage::ufYield, true);
    state_.setFlag(faximage::ufDoubleHeight, true);
}

void FaxPageStore::close() {
    file_.clear();
    pages_.clear();
    rotation_ = 0;
    lastFlags_ = 0;
    firstError_ = 0;
}

int FaxPageStore::open(const std::filesystem::path& file) {
    close();
    if (file.empty())
        return 0;
    faximage::ApfFileHeader header;
    if (int rc = faximage::readFaxFileHeader(file, header); rc != 0)
        return rc;
    file_ = file;
    try {
        pages_.assign(header.pageCount, Page{});
    } catch (const std::bad_alloc&) {
        close();
        return ec::OutOfMemory;
    }
    for (int p = 1; p <= (loadWhole_ ? pageCount() : std::min(pageCount(), 1)); ++p)
        decode(p);
    return 0;
}

int FaxPageStore::decode(int page) {
    Page& slot = pages_[static_cast<std::size_t>(page - 1)];
    faximage::MonoBitmap bmp;
    int rc = faximage::unpackPageToBitmap(state_, file_, page, true, bmp);
    lastFlags_ = state_.page.header.flags;
    if (rc == 0 && rotation_ != 0) {
        faximage::MonoBitmap turned;
        rc = rotateBitmap(bmp, rotation_, turned);
        bmp = std::move(turned);
    }
    if (rc != 0) {
        bmp = faximage::MonoBitmap();
        if (firstError_ == 0)
            firstError_ = rc;
    }
    slot.bitmap = std::move(bmp);
    slot.error = rc;
    return rc;
}

int FaxPageStore::preparePage(int page) {
    if (page < 1 || page > pageCount())
        return ec::BadArgument;
    if (pages_[static_cast<std::size_t>(page - 1)].bitmap)
        return 0;
    if (!loadWhole_)
        for (auto& p : pages_)
            p.bitmap.reset();
    return decode(page);
}

int FaxPageStore::pageCopy(int page, faximage::MonoBitmap& out) {
    if (page < 1 || page > pageCount())
        return ec::BadArgument;
    if (const faximage::MonoBitmap* b = bitmap(page)) {
        out = *b;
        return pageError(page);
    }
    faximage::MonoBitmap bmp;
    if (int rc = faximage::unpackPageToBitmap(state_, file_, page, true, bmp); rc != 0)
        return rc;
    return rotateBitmap(bmp, rotation_, out);
}

int FaxPageStore::pageError(int page) const {
    if (page < 1 || page > pageCount())
        return 0;
    return pages_[static_cast<std::size_t>(page - 1)].error;
}

const faximage::MonoBitmap* FaxPageStore::bitmap(int page) const {
    if (page < 1 || page > pageCount())
        return nullptr;
    const auto& slot = pages_[static_cast<std::size_t>(page - 1)].bitmap;
    return slot ? &*slot : nullptr;
}

int FaxPageStore::decodedPages() const {
    int n = 0;
    for (const auto& p : pages_)
        n += p.bitmap ? 1 : 0;
    return n;
}

void FaxPageStore::setAutoScale(unsigned flags) {
    state_.setFlag(faximage::ufDoubleHeight, (flags & faximage::ufDoubleHeight) != 0);
    state_.setFlag(faximage::ufHalfWidth, (flags & faximage::ufHalfWidth) != 0);
}

unsigned FaxPageStore::autoScale() const {
    return state_.flags() & (faximage::ufDoubleHeight | faximage::ufHalfWidth);
}

int FaxPageStore::setWhitespace(int from, int to) { return state_.setWhitespace(from, to); }

void FaxPageStore::setYield(std::function<int()> yield) { state_.yield = std::move(yield); }

int FaxPageStore::setLoadWholeFax(bool on, int keepPage) {
    loadWhole_ = on;
    if (!hasFax())
        return 0;
    if (on) {
        for (int p = 1; p <= pageCount(); ++p)
            if (!bitmap(p))
                decode(p);
        return 0;
    }
    for (int p = 1; p <= pageCount(); ++p)
        if (p != keepPage)
            pages_[static_cast<std::size_t>(p - 1)].bitmap.reset();
    return 0;
}

int FaxPageStore::setRotation(int rotation) {
    rotation = ((rotation % 4) + 4) % 4;
    if (!hasFax() || rotation == rotation_)
        return 0;
    const int turns = rotation - rotation_;
    // Turn into copies first, so a failure leaves every page as it was.
    std::vector<std::pair<std::size_t, faximage::MonoBitmap>> turned;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (!pages_[i].bitmap || pages_[i].bitmap->empty())
            continue;
        faximage::MonoBitmap t;
        if (int rc = rotateBitmap(*pages_[i].bitmap, turns, t); rc != 0)
            return rc;
        turned.emplace_back(i, std::move(t));
    }
    for (auto& [i, t] : turned)
        pages_[i].bitmap = std::move(t);
    rotation_ = rotation;
    return 0;
}

} // namespace workflow::viewer
