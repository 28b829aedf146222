// Fax image commands: convert a document to an APF file, show what an APF file holds.
#include "cli_args.h"
#include "rtf_convert.h"

#include "faximage/apf_file.h"
#include "faximage/fax_converter.h"
#include "faximage/dcx_writer.h"
#include "faximage/fax_unpacker.h"
#include "faximage/pdf_export.h"
#include "faximage/tiff_export.h"

#include "faximage/staged_output.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace cli {

namespace {

using faximage::TFaxInputDocumentType;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

const std::map<std::string, TFaxInputDocumentType> kTypes = {
    {"text", TFaxInputDocumentType::idText},   {"textex", TFaxInputDocumentType::idTextEx},
    {"tiff", TFaxInputDocumentType::idTiffDocument}, {"pcx", TFaxInputDocumentType::idPcx},
    {"dcx", TFaxInputDocumentType::idDcx},     {"bmp", TFaxInputDocumentType::idBmp},
    {"pdf", TFaxInputDocumentType::idPdf},
};

// The input type from --type, else from the file's extension.
std::optional<TFaxInputDocumentType> inputType(const CliArgs& args, const std::string& input) {
    std::string name = lower(args.value("--type").value_or(""));
    if (name.empty()) {
        const std::string ext = lower(std::filesystem::path(input).extension().string());
        static const std::map<std::string, std::string> byExt = {
            {".txt", "text"}, {".tif", "tiff"}, {".tiff", "tiff"}, {".pcx", "pcx"},
            {".dcx", "dcx"},  {".bmp", "bmp"},  {".pdf", "pdf"}};
        auto it = byExt.find(ext);
        if (it == byExt.end())
            return std::nullopt;
        name = it->second;
    }
    auto it = kTypes.find(name);
    if (it == kTypes.end())
        return std::nullopt;
    return it->second;
}

std::string flagsText(std::uint16_t flags) {
    std::string s = flags & faximage::kApfHighResolution ? "fine" : "standard";
    s += flags & faximage::kApfWide ? ", 2048 pixels" : ", 1728 pixels";
    s += flags & faximage::kApfLengthWords ? ", line records" : ", continuous";
    return s;
}

} // namespace

int runConvert(const CliArgs& args) {
    if (args.words.size() != 3) {
        std::fputs("usage: parvane-cli convert INPUT OUTPUT.apf [--fine] [--wide] "
                   "[--type text|textex|tiff|pcx|dcx|bmp|pdf|rtf]\n",
                   stderr);
        return 2;
    }
    const std::string& input = args.words[1];
    const std::string& output = args.words[2];
    if (isRichTextInput(args, input))
        return runRichTextConvert(args);
    const auto type = inputType(args, input);
    if (!type) {
        std::fprintf(stderr, "parvane-cli: cannot tell the type of '%s'; give --type\n",
                     input.c_str());
        return 2;
    }
    faximage::TVelkFaxConverter converter;
    converter.InputDocumentType = *type;
    converter.SetDocumentFile(input);
    converter.OutFileName = output;
    converter.Resolution =
        args.has("--fine") ? faximage::TFaxResolution::frHigh : faximage::TFaxResolution::frNormal;
    converter.Width = args.has("--wide") ? faximage::TFaxWidth::fwWide : faximage::TFaxWidth::fwNormal;
    converter.ConvertToFile(); // errors reach main as exceptions, naming the file
    // The name written, which has ".APF" added when the one given had no extension.
    const std::string written = converter.outputName(converter.inputName());
    faximage::ApfReader reader;
    if (reader.open(written) == 0)
        std::printf("%s: %d page%s\n", written.c_str(), reader.pageCount(),
                    reader.pageCount() == 1 ? "" : "s");
    return 0;
}

int runInfo(const CliArgs& args) {
    if (args.words.size() != 2) {
        std::fputs("usage: parvane-cli info FILE.apf\n", stderr);
        return 2;
    }
    const std::string& file = args.words[1];
    faximage::ApfReader reader;
    faximage::checkApd(reader.open(file), file);
    const auto& h = reader.header();
    std::printf("file:       %s\n", file.c_str());
    std::printf("pages:      %d\n", reader.pageCount());
    std::printf("station id: \"%s\"\n", h.stationId().c_str());
    if (h.dateTime == 0) {
        std::printf("date:       none\n");
    } else {
        const auto d = faximage::unpackDosDateTime(h.dateTime);
        std::printf("date:       %04d-%02d-%02d %02d:%02d:%02d\n", d.year, d.month, d.day, d.hour,
                    d.minute, d.second);
    }
    std::printf("size:       %lld bytes\n", static_cast<long long>(reader.fileSize()));
    for (int n = 1; n <= reader.pageCount(); ++n) {
        faximage::ApfPageInfo info;
        if (int rc = reader.locatePage(n, info); rc != 0) {
            std::printf("page %d:     unreadable (%s: page %d of %s)\n", n, faximage::errorText(rc).c_str(),
                        n, file.c_str());
            return 1;
        }
        std::printf("page %d:     %s, %u bytes at offset %llu\n", n, flagsText(info.header.flags).c_str(),
                    info.header.imageLength, static_cast<unsigned long long>(info.headerOffset));
    }
    return 0;
}

} // namespace cli

// unpack FILE.apf [--page N] --to OUT.{bmp,pcx,dcx,tif,pdf}
namespace cli {

namespace {

// Decodes the pages into one export file, or (BMP and PCX, which hold one image) into
// OUT-N.ext per page when no single page is asked for.
// Returns 0 or a code, with `failedPage` naming the page a failure concerns (0: none).
int unpackTo(const std::string& input, int first, int last, const std::filesystem::path& out,
             const std::string& ext, int& failedPage) {
    using namespace faximage;
    failedPage = 0;
    if (ext == "tif" || ext == "tiff")
        return exportApfToTiff(input, out, first, last, &failedPage);
    if (ext == "pdf")
        return exportApfToPdf(input, out, first, last, &failedPage);
    TVelkFaxUnpacker unpacker;
    unpacker.SetInFileName(input);
    if (ext == "dcx") {
        if (first == last) {
            unpacker.OutFileName = out.string();
            unpacker.UnpackPageToDcx(first);
            return 0;
        }
        if (int rc = checkOutputTarget(out, {input}); rc != 0)
            return rc;
        DcxWriter dcx;
        if (int rc = dcx.open(out); rc != 0)
            return rc;
        for (int n = first; n <= last; ++n) {
            failedPage = n;
            UnpackState s;
            s.setFlag(ufDoubleHeight, true);
            MonoBitmap rows;
            if (int rc = unpackPageToBitmap(s, input, n, false, rows); rc != 0)
                return rc;
            if (int rc = dcx.addPage(rows); rc != 0)
                return rc;
        }
        failedPage = 0;
        return dcx.close();
    }
    for (int n = first; n <= last; ++n) {
        std::filesystem::path name = out;
        if (first != last)
            name.replace_filename(out.stem().string() + "-" + std::to_string(n) +
                                  out.extension().string());
        unpacker.OutFileName = name.string();
        if (ext == "bmp")
            unpacker.UnpackPageToBmp(n);
        else
            unpacker.UnpackPageToPcx(n);
        std::printf("%s\n", name.c_str());
    }
    return 0;
}

} // namespace

int runUnpack(const CliArgs& args) {
    const auto to = args.value("--to");
    if (args.words.size() != 2 || !to) {
        std::fprintf(stderr, "usage: parvane-cli unpack FILE.apf [--page N] --to OUT.{bmp,pcx,dcx,tif,pdf}\n");
        return 2;
    }
    const std::string input = args.words[1];
    const std::string ext = lower(std::filesystem::path(*to).extension().string().substr(
        std::min<std::size_t>(1, std::filesystem::path(*to).extension().string().size())));
    if (ext != "bmp" && ext != "pcx" && ext != "dcx" && ext != "tif" && ext != "tiff" &&
        ext != "pdf") {
        std::fprintf(stderr, "parvane-cli: unpack writes .bmp, .pcx, .dcx, .tif or .pdf\n");
        return 2;
    }
    faximage::ApfFileHeader header;
    faximage::checkApd(faximage::readFaxFileHeader(input, header), input);
    int first = 1, last = header.pageCount;
    if (args.has("--page") && !args.value("--page")) {
        std::fprintf(stderr, "parvane-cli: --page needs a value\n");
        return 2;
    }
    if (const auto page = args.value("--page")) {
        int n = 0;
        const auto [end, ec] = std::from_chars(page->data(), page->data() + page->size(), n);
        if (ec != std::errc() || end != page->data() + page->size() || n < 1 || n > header.pageCount) {
            std::fprintf(stderr, "parvane-cli: --page '%s' is not a page of %s, which has %d page%s\n",
                         page->c_str(), input.c_str(), header.pageCount, header.pageCount == 1 ? "" : "s");
            return 2;
        }
        first = last = n;
    }
    if (header.pageCount == 0) {
        std::fprintf(stderr, "parvane-cli: %s has no pages\n", input.c_str());
        return 1;
    }
    int failedPage = 0;
    const int rc = unpackTo(input, first, last, *to, ext, failedPage);
    faximage::checkApd(rc, failedPage > 0 ? "page " + std::to_string(failedPage) + " of " + input + " to " + *to
                                          : *to);
    std::printf("%s: page(s) %d-%d written\n", to->c_str(), first, last);
    return 0;
}

} // namespace cli
