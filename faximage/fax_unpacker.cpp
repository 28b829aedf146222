#include "faximage/fax_unpacker.h"

#include "faximage/fax_errors.h"
#include "faximage/staged_output.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace faximage {

std::string_view to_string(TAutoScaleMode mode) {
    switch (mode) {
    case TAutoScaleMode::asNone:
        return "asNone";
    case TAutoScaleMode::asDoubleHeight:
        return "asDoubleHeight";
    case TAutoScaleMode::asHalfWidth:
        return "asHalfWidth";
    }
    return "?";
}

namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Puts the running state back to none whatever happens.
class Running {
public:
    Running(UnpackState*& slot, UnpackState& s) : slot_(slot) { slot_ = &s; }
    ~Running() { slot_ = nullptr; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    UnpackState*& slot_;
};

} // namespace

void TVelkCustomFaxUnpacker::SetOptions(TUnpackerOptionsSet options) {
    options_ = options;
    if (running_) {
        running_->setFlag(ufYield, (options & uoYield) != 0);
        if (options & uoAbort)
            running_->setFlag(ufAbort, true);
    }
}

void TVelkCustomFaxUnpacker::SetInFileName(const std::string& name) {
    if (equalNoCase(name, inFileName_))
        return;
    inFileName_ = name;
    OutFileName = std::filesystem::path(name).replace_extension().string();
}

void TVelkCustomFaxUnpacker::prepare(UnpackState& s) {
    s.setFlag(ufYield, (options_ & uoYield) != 0);
    if (AutoScaleMode == TAutoScaleMode::asDoubleHeight)
        s.setFlag(ufDoubleHeight, true);
    else if (AutoScaleMode == TAutoScaleMode::asHalfWidth)
        s.setFlag(ufHalfWidth, true);
    if (WhitespaceCompression)
        checkApd(s.setWhitespace(WhitespaceFrom, WhitespaceTo));
    if (Scaling)
        s.setScaling(horizMult_, horizDiv_, vertMult_, vertDiv_);
    s.yield = [this]() { return OnYield && !OnYield() ? ec::GotQuitMsg : 0; };
    s.status = [this](const UnpackStatus& st) {
        if (OnStatus)
            OnStatus(*this, inFileName_, st.page, static_cast<std::int32_t>(st.bytesRead),
                     static_cast<std::int32_t>(st.imageLength));
    };
    s.consumer = [this](unsigned flags, std::span<const std::uint8_t> line, int page) {
        if (OnOutputLine)
            OnOutputLine(*this, (flags & ulPageStart) != 0, (flags & ulPageEnd) != 0, line,
                         static_cast<int>(line.size()), page);
        return 0;
    };
}

int TVelkCustomFaxUnpacker::NumPages() const {
    ApfFileHeader h;
    return readFaxFileHeader(inFileName_, h) == 0 ? h.pageCount : 0;
}

ApfPageHeader TVelkCustomFaxUnpacker::firstPage() const {
    ApfReader reader;
    checkApd(reader.open(inFileName_));
    ApfPageInfo info;
    checkApd(reader.locatePage(1, info));
    return info.header;
}

bool TVelkCustomFaxUnpacker::FaxResolution() const { return firstPage().highResolution(); }

bool TVelkCustomFaxUnpacker::FaxWidth() const { return firstPage().wide(); }

MonoBitmap TVelkCustomFaxUnpacker::UnpackPageToBitmap(int page) {
    UnpackState s;
    prepare(s);
    Running running(running_, s);
    MonoBitmap bitmap;
    checkApd(unpackPageToBitmap(s, inFileName_, page, true, bitmap), pageDetail(page, {}));
    return bitmap;
}

void TVelkCustomFaxUnpacker::UnpackPageToPcx(int page) {
    UnpackState s;
    prepare(s);
    Running running(running_, s);
    const std::string out = exportTarget("PCX");
    checkApd(unpackPageToPcx(s, inFileName_, page, out), pageDetail(page, out));
}

void TVelkCustomFaxUnpacker::UnpackPageToDcx(int page) {
    UnpackState s;
    prepare(s);
    Running running(running_, s);
    const std::string out = exportTarget("DCX");
    checkApd(unpackPageToDcx(s, inFileName_, page, out), pageDetail(page, out));
}

void TVelkCustomFaxUnpacker::UnpackPageToBmp(int page) {
    UnpackState s;
    prepare(s);
    Running running(running_, s);
    const std::string out = exportTarget("BMP");
    checkApd(unpackPageToBmp(s, inFileName_, page, out), pageDetail(page, out));
}

void TVelkCustomFaxUnpacker::UnpackPage(int page) {
    UnpackState s;
    prepare(s);
    Running running(running_, s);
    checkApd(unpackPage(s, inFileName_, page), pageDetail(page, {}));
}

std::string TVelkCustomFaxUnpacker::exportTarget(std::string_view ext) const {
    // A directory or device given as the name would otherwise become "name.PCX".
    if (!OutFileName.empty())
        if (int rc = checkOutputTarget(OutFileName); rc == ec::OutputNotAFile)
            raiseVelkError(rc, OutFileName);
    return ExportFileName(ext);
}

std::string TVelkCustomFaxUnpacker::pageDetail(int page, const std::string& out) const {
    std::string d = "page " + std::to_string(std::max(page, 1)) + " of " + inFileName_;
    if (!out.empty())
        d += " to " + out;
    return d;
}

std::string TVelkCustomFaxUnpacker::ExportFileName(std::string_view ext) const {
    if (OutFileName.empty())
        return std::filesystem::path(inFileName_).replace_extension(std::string(ext)).string();
    if (std::filesystem::path(OutFileName).has_extension())
        return OutFileName;
    return OutFileName + "." + std::string(ext);
}

} // namespace faximage
