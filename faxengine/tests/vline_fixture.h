// What the real-time calls through the virtual line share: a scratch folder per test,
// the line itself, pages made by our converter and pages read back through libtiff's
// tools and our unpacker, and the far end's result lines.
#pragma once

#include "faximage/fax_converter.h"
#include "vline_launcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace faxengine::linetest {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p);
// Runs a shell command; its exit status (-1 when it did not exit normally).
int run(const std::string& cmd);
bool haveTool(const std::string& name);
// What a shell command prints on standard output, trailing blanks and newlines removed.
std::string commandOutput(const std::string& cmd);
// The files of `dir` with extension `ext` (".pdf"); none when `dir` does not exist.
std::set<fs::path> filesWithExtension(const fs::path& dir, const std::string& ext);

// Rows of packed bits, 1 = black.
struct Page {
    int width = 0;
    std::vector<std::string> rows;
};

// Page `index` (from 0) of a TIFF file, decoded by libtiff's tools.
Page decodeTiff(const fs::path& tiff, int index = 0);
// Page `page` (from 1) of an APF file at its full line width, one row per coded line.
Page decodeApf(const fs::path& apf, int page = 1);
int tiffPageCount(const fs::path& tiff);

// Rows of `got` from `firstRow` on that differ from `sent` (`sent` rows are padded with
// white to the width of `got`); rows missing on either side count as differing.
int differingRows(const Page& sent, const Page& got, std::size_t firstRow = 0);

// The key=value pairs of a result line of the virtual line ("" when missing).
std::string resultField(const std::string& line, const std::string& key);

class VlineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the line with the log folder set; more arguments follow.
    void startLine(std::vector<std::string> arguments);
    // Writes a config file into the scratch folder and starts the line with it.
    void startLineWithConfig(const std::string& config, std::vector<std::string> more = {});
    // Stops the line (its result lines are all written then).
    void stopLine();
    std::vector<std::string> results() const;
    std::string lastResult() const;

    // Converts text to an APF file in the scratch folder.
    fs::path makeTextApf(const std::string& name, const std::string& text,
                         faximage::TFaxResolution resolution = faximage::TFaxResolution::frNormal,
                         faximage::TFaxWidth width = faximage::TFaxWidth::fwNormal);

    fs::path dir_;
    std::optional<vline::VirtualLine> line_;
};

} // namespace faxengine::linetest
