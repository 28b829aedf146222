// APF files from anywhere through the unpacker: every page decoded to a bitmap with the
// options picked from the input, then coded as PCX and BMP; and the raw bytes straight
// through the MH decoder in uneven pieces.
#include "faximage/bmp_writer.h"
#include "faximage/mh_decoder.h"
#include "faximage/pcx_writer.h"
#include "faximage/unpack_engine.h"
#include "fuzz_common.h"

namespace {
struct NullSink final : faximage::MhLineSink {
    bool onLine(std::span<const std::uint8_t>) override { return true; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faximage;
    if (size == 0)
        return 0;
    const std::uint8_t pick = data[size - 1];

    MhDecoder decoder;
    NullSink sink;
    for (std::size_t at = 0, step = 1 + pick % 13; at < size; at += step)
        decoder.feed({data + at, std::min(step, size - at)}, sink);
    decoder.finish(sink);

    const auto path = fuzz::writeInput(data, size, ".apf");
    ApfFileHeader header;
    if (readFaxFileHeader(path, header) != 0)
        return 0;
    for (int page = 1; page <= header.pageCount && page <= 8; ++page) {
        UnpackState s;
        s.setFlag(pick & 1 ? ufDoubleHeight : ufHalfWidth, (pick & 2) != 0);
        s.setWhitespace(pick & 4 ? 3 : 0, pick & 4 ? 1 : 0);
        if (pick & 8)
            s.setScaling(1 + pick % 3, 1 + (pick >> 4) % 3, 1 + (pick >> 2) % 3, 1 + (pick >> 5) % 3);
        MonoBitmap bmp;
        if (unpackPageToBitmap(s, path, page, (pick & 16) != 0, bmp) == 0 && !bmp.empty()) {
            encodePcx(bmp);
            encodeBmp(bmp);
        }
    }
    return 0;
}
