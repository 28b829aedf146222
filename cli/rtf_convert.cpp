#include "rtf_convert.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#ifdef PARVANE_RICH_TEXT
#include "workflow/render/apf_join.h"
#include "workflow/render/document_renderer.h"
#include "workflow/richtext/rtf_reader.h"

#include "faximage/apf_file.h"
#include "faximage/fax_errors.h"
#include "offscreen_app.h"
#include "faximage/staged_output.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>
#endif

namespace cli {

bool isRichTextInput(const CliArgs& args, const std::string& input) {
    if (const auto type = args.value("--type"))
        return *type == "rtf";
    std::string ext = std::filesystem::path(input).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".rtf";
}

#ifdef PARVANE_RICH_TEXT

namespace {

// Page files are made in a directory of their own beside the output, then joined.
struct WorkDir {
    std::filesystem::path path;
    explicit WorkDir(const std::filesystem::path& near) {
        std::string pattern = (near / ".parvane-rtf-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path = pattern;
    }
    ~WorkDir() {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
};

} // namespace

int runRichTextConvert(const CliArgs& args) {
    const std::filesystem::path input = args.words[1];
    const std::filesystem::path output = args.words[2];
    // Refused before anything is read or written: the RTF must never be replaced by its fax.
    if (const int rc = faximage::checkOutputTarget(output, {input}); rc != 0)
        faximage::raiseVelkError(rc, output.string());
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "parvane-cli: cannot read '%s'\n", input.c_str());
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    ensureGuiApplication();
    QTextDocument document;
    const auto read = workflow::richtext::readRtf(bytes.str(), document);
    if (read.status == workflow::richtext::RtfReadStatus::Empty) {
        std::fprintf(stderr, "parvane-cli: '%s' is empty\n", input.c_str());
        return 1;
    }
    if (read.status != workflow::richtext::RtfReadStatus::Ok)
        std::fprintf(stderr, "parvane-cli: %s\n", read.message().toLocal8Bit().constData());

    const std::filesystem::path outDir = output.has_parent_path() ? output.parent_path() : ".";
    WorkDir work(outDir);
    if (work.path.empty()) {
        std::fprintf(stderr, "parvane-cli: cannot make a work directory in '%s'\n", outDir.c_str());
        return 1;
    }
    std::vector<std::filesystem::path> pages;
    workflow::render::renderDocument(document, work.path, pages); // errors reach main as exceptions
    const std::filesystem::path joined = workflow::render::joinPageFiles(pages);
    // The work directory is beside the output, so the finished file replaces it in one step.
    std::error_code ec;
    std::filesystem::rename(joined, output, ec);
    if (ec) {
        std::fprintf(stderr, "parvane-cli: cannot write '%s': %s\n", output.c_str(), ec.message().c_str());
        return 1;
    }
    faximage::ApfReader reader;
    if (reader.open(output) == 0)
        std::printf("%s: %d page%s\n", output.c_str(), reader.pageCount(), reader.pageCount() == 1 ? "" : "s");
    return 0;
}

#else

int runRichTextConvert(const CliArgs&) {
    std::fputs("parvane-cli: this build has no rich-text engine (configure with PARVANE_GUI=ON)\n", stderr);
    return 1;
}

#endif

} // namespace cli
