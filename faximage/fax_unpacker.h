// TVelkFaxUnpacker: decodes the pages of an APF file into page bitmaps (1 = white, the
// window-system convention) or writes a page as a PCX, DCX or BMP file. Every error is
// raised as an EVelkException subclass carrying the code; damaged lines are dropped.
#pragma once

#include "faximage/mono_bitmap.h"
#include "faximage/unpack_engine.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace faximage {

enum class TAutoScaleMode {
    asNone,
    asDoubleHeight, // every line of a standard-resolution page twice
    asHalfWidth,    // every line of a standard-resolution page halved in width
};
std::string_view to_string(TAutoScaleMode mode);

// TUnpackerOptionsSet bit values.
using TUnpackerOptionsSet = unsigned;
inline constexpr unsigned uoYield = 1; // run the caller's events while decoding
inline constexpr unsigned uoAbort = 2; // stop the running decode

class TVelkCustomFaxUnpacker;

using TUnpackOutputLineEvent =
    std::function<void(TVelkCustomFaxUnpacker& sender, bool starting, bool ending,
                       std::span<const std::uint8_t> data, int len, int pageNum)>;
using TUnpackStatusEvent =
    std::function<void(TVelkCustomFaxUnpacker& sender, const std::string& fname, int pageNum,
                       std::int32_t bytesUnpacked, std::int32_t bytesToUnpack)>;

class TVelkCustomFaxUnpacker {
public:
    TVelkCustomFaxUnpacker() = default;
    virtual ~TVelkCustomFaxUnpacker() = default;
    TVelkCustomFaxUnpacker(const TVelkCustomFaxUnpacker&) = delete;
    TVelkCustomFaxUnpacker& operator=(const TVelkCustomFaxUnpacker&) = delete;

    bool WhitespaceCompression = false;
    int WhitespaceFrom = 0;
    int WhitespaceTo = 0;
    bool Scaling = false;
    TAutoScaleMode AutoScaleMode = TAutoScaleMode::asDoubleHeight;
    std::string OutFileName;

    // The default line consumer, raised by UnpackPage.
    TUnpackOutputLineEvent OnOutputLine;
    TUnpackStatusEvent OnStatus;
    // Runs pending events of the caller's loop (with uoYield); returns false to stop
    // with -1003 "Got quit message".
    std::function<bool()> OnYield;

    TUnpackerOptionsSet Options() const { return options_; }
    // While an operation runs (from an event handled while yielding) this also reaches
    // the running decode: uoYield on or off, uoAbort stops it without an error.
    void SetOptions(TUnpackerOptionsSet options);

    int HorizMult() const { return horizMult_; }
    int HorizDiv() const { return horizDiv_; }
    int VertMult() const { return vertMult_; }
    int VertDiv() const { return vertDiv_; }
    // 0 (or less) is ignored.
    void SetHorizMult(int v) { setFactor(horizMult_, v); }
    void SetHorizDiv(int v) { setFactor(horizDiv_, v); }
    void SetVertMult(int v) { setFactor(vertMult_, v); }
    void SetVertDiv(int v) { setFactor(vertDiv_, v); }

    const std::string& InFileName() const { return inFileName_; }
    // A name that differs (ignoring case) also sets OutFileName to it without its
    // extension.
    void SetInFileName(const std::string& name);

    // PageCount of InFileName; 0 when the file cannot be read or is no APF file.
    int NumPages() const;
    // Whether page 1 is high resolution / wide.
    bool FaxResolution() const;
    bool FaxWidth() const;

    // Page numbers are 1-based (0 is read as 1).
    MonoBitmap UnpackPageToBitmap(int page);
    void UnpackPageToPcx(int page);
    void UnpackPageToDcx(int page);
    void UnpackPageToBmp(int page);
    // Decodes the page into OnOutputLine.
    void UnpackPage(int page);

    // The export file for an extension such as "PCX": OutFileName when it has an
    // extension, else OutFileName + "." + ext; InFileName with its extension replaced
    // when OutFileName is empty.
    std::string ExportFileName(std::string_view ext) const;

private:
    static void setFactor(int& f, int v) {
        if (v > 0)
            f = v;
    }
    // A fresh unpack state from the properties (raises -1002 for bad whitespace values).
    void prepare(UnpackState& s);
    ApfPageHeader firstPage() const;
    // ExportFileName, refusing an OutFileName that is a directory or a device.
    std::string exportTarget(std::string_view ext) const;
    // Names the page and files an error concerns: "page 3 of fax.apf to fax.pcx".
    std::string pageDetail(int page, const std::string& out) const;

    TUnpackerOptionsSet options_ = uoYield;
    int horizMult_ = 1, horizDiv_ = 1, vertMult_ = 1, vertDiv_ = 1;
    std::string inFileName_;
    UnpackState* running_ = nullptr;
};

class TVelkFaxUnpacker : public TVelkCustomFaxUnpacker {};

} // namespace faximage
