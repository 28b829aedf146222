// Fax image commands: convert a document to an APF file, show what an APF file holds.
#include "cli_args.h"

#include "faximage/apf_file.h"
#include "faximage/fax_converter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
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
                   "[--type text|textex|tiff|pcx|dcx|bmp|pdf]\n",
                   stderr);
        return 2;
    }
    const std::string& input = args.words[1];
    const std::string& output = args.words[2];
    const auto type = inputType(args, input);
    if (!type) {
        std::fprintf(stderr, "parvane-cli: cannot tell the type of '%s'; give --type\n",
                     input.c_str());
        return 2;
    }
    faximage::TApdFaxConverter converter;
    converter.InputDocumentType = *type;
    converter.SetDocumentFile(input);
    converter.OutFileName = output;
    converter.Resolution =
        args.has("--fine") ? faximage::TFaxResolution::frHigh : faximage::TFaxResolution::frNormal;
    converter.Width = args.has("--wide") ? faximage::TFaxWidth::fwWide : faximage::TFaxWidth::fwNormal;
    converter.ConvertToFile(); // errors reach main as exceptions
    faximage::ApfReader reader;
    if (reader.open(output) == 0)
        std::printf("%s: %d page%s\n", output.c_str(), reader.pageCount(),
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
    faximage::checkApd(reader.open(file));
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
            std::printf("page %d:     unreadable (%s)\n", n, faximage::errorText(rc).c_str());
            return 1;
        }
        std::printf("page %d:     %s, %u bytes at offset %llu\n", n, flagsText(info.header.flags).c_str(),
                    info.header.imageLength, static_cast<unsigned long long>(info.headerOffset));
    }
    return 0;
}

} // namespace cli
