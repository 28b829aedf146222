// Output files: an existing file is replaced only by a complete new one, an output that
// is the input is refused whatever it is called, and failures say which file and why.
#include "faximage/apf_file.h"
#include "faximage/bmp_writer.h"
#include "faximage/dcx_writer.h"
#include "faximage/fax_converter.h"
#include "faximage/fax_unpacker.h"
#include "faximage/pcx_writer.h"
#include "faximage/pdf_export.h"
#include "faximage/staged_output.h"
#include "faximage/tiff_export.h"
#include "test_pages.h"
#include "unpack_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace faximage;
using namespace faximage::testing;
namespace fs = std::filesystem;

namespace {

const Bytes kOldContent = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

TVelkFaxConverter textConverter(const fs::path& in, const fs::path& out) {
    TVelkFaxConverter c;
    c.InputDocumentType = TFaxInputDocumentType::idText;
    c.SetDocumentFile(in.string());
    c.OutFileName = out.string();
    return c;
}

// The exception a call raises (code and text), or code 0.
struct Raised {
    int code = 0;
    std::string text;
};
Raised raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return {codeFromException(e), e.what()};
    }
    return {};
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A two-page fax whose second page is cut off in the middle of its data.
void writeFaxWithDamagedPage2(const fs::path& path) {
    const MonoBitmap page = makePage(PageKind::Text, 1728, 40);
    writeApf(path, {encodedPage(page, false), encodedPage(page, false)});
    Bytes bytes = readFile(path);
    bytes.resize(bytes.size() - 300);
    writeFile(path, bytes);
}

// Lowers the file-size limit of this process: writes past it fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved_;
        lower.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace

TEST(OutputFiles, AConversionNeverReplacesItsOwnInput) {
    TempDir dir;
    writeFile(dir / "L.txt", {'h', 'i', '\n'});
    fs::create_hard_link(dir / "L.txt", dir / "hard.apf");
    fs::create_symlink(dir / "L.txt", dir / "soft.apf");
    for (const char* out : {"L.txt", "./L.txt", "hard.apf", "soft.apf"}) {
        auto c = textConverter(dir / "L.txt", dir / out);
        const Raised r = raised([&] { c.ConvertToFile(); });
        EXPECT_EQ(r.code, ec::OutputIsInput) << out;
        EXPECT_NE(r.text.find(out), std::string::npos) << r.text;
        EXPECT_EQ(readFile(dir / "L.txt"), (Bytes{'h', 'i', '\n'})) << out;
    }

    // The same for the image inputs, and for exports of an APF file onto itself.
    writeApf(dir / "f.apf", {encodedPage(makePage(PageKind::Text, 1728, 30), false)});
    const Bytes fax = readFile(dir / "f.apf");
    TVelkFaxConverter bmp;
    bmp.InputDocumentType = TFaxInputDocumentType::idBmp;
    bmp.SetDocumentFile((dir / "f.apf").string());
    bmp.OutFileName = (dir / "f.apf").string();
    EXPECT_EQ(raised([&] { bmp.ConvertToFile(); }).code, ec::OutputIsInput);
    TVelkFaxUnpacker unpacker;
    unpacker.SetInFileName((dir / "f.apf").string());
    unpacker.OutFileName = (dir / "f.apf").string();
    EXPECT_EQ(raised([&] { unpacker.UnpackPageToPcx(1); }).code, ec::OutputIsInput);
    EXPECT_EQ(raised([&] { unpacker.UnpackPageToDcx(1); }).code, ec::OutputIsInput);
    EXPECT_EQ(raised([&] { unpacker.UnpackPageToBmp(1); }).code, ec::OutputIsInput);
    EXPECT_EQ(exportApfToTiff(dir / "f.apf", dir / "f.apf"), ec::OutputIsInput);
    EXPECT_EQ(exportApfToPdf(dir / "f.apf", dir / "f.apf"), ec::OutputIsInput);
    EXPECT_EQ(readFile(dir / "f.apf"), fax);
}

TEST(OutputFiles, AFailedRunLeavesTheOldFileAsItWas) {
    TempDir dir;
    writeFile(dir / "important.apf", kOldContent);
    auto typo = textConverter(dir / "typo.txt", dir / "important.apf");
    const Raised missing = raised([&] { typo.ConvertToFile(); });
    EXPECT_EQ(missing.code, -2);
    EXPECT_EQ(missing.text, "File not found: " + (dir / "typo.txt").string());
    EXPECT_EQ(readFile(dir / "important.apf"), kOldContent);

    // Unpacking a damaged page over existing exports: each keeps its old content, and
    // the error names the page.
    writeFaxWithDamagedPage2(dir / "damaged.apf");
    TVelkFaxUnpacker unpacker;
    unpacker.SetInFileName((dir / "damaged.apf").string());
    for (const char* name : {"page.pcx", "page.dcx", "page.bmp"}) {
        writeFile(dir / name, kOldContent);
        unpacker.OutFileName = (dir / name).string();
        const Raised r = raised([&] {
            if (fs::path(name).extension() == ".pcx")
                unpacker.UnpackPageToPcx(2);
            else if (fs::path(name).extension() == ".dcx")
                unpacker.UnpackPageToDcx(2);
            else
                unpacker.UnpackPageToBmp(2);
        });
        EXPECT_NE(r.code, 0) << name;
        EXPECT_NE(r.text.find("page 2 of"), std::string::npos) << r.text;
        EXPECT_EQ(readFile(dir / name), kOldContent) << name;
    }
    for (const char* name : {"all.tif", "all.pdf"}) {
        writeFile(dir / name, kOldContent);
        int failedPage = -1;
        const int rc = fs::path(name).extension() == ".tif"
                           ? exportApfToTiff(dir / "damaged.apf", dir / name, 0, 0, &failedPage)
                           : exportApfToPdf(dir / "damaged.apf", dir / name, 0, 0, &failedPage);
        EXPECT_NE(rc, 0) << name;
        EXPECT_EQ(failedPage, 2) << name;
        EXPECT_EQ(readFile(dir / name), kOldContent) << name;
    }
    // Nothing half-written is left beside them.
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"all.pdf", "all.tif", "damaged.apf",
                                                             "important.apf", "page.bmp",
                                                             "page.dcx", "page.pcx"}));
}

TEST(OutputFiles, AFullDiskIsReportedAsSuchAndKeepsTheOldFile) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "A line of text that makes the fax file grow beyond the limit.\n";
    writeFile(dir / "long.txt", Bytes(text.begin(), text.end()));
    writeApf(dir / "f.apf", {encodedPage(makePage(PageKind::Noise, 1728, 1100), false)});
    for (const char* name : {"out.apf", "out.tif", "out.pdf", "out.pcx", "out.dcx", "out.bmp"})
        writeFile(dir / name, kOldContent);

    FileSizeLimit limit(20000);
    auto c = textConverter(dir / "long.txt", dir / "out.apf");
    EXPECT_EQ(raised([&] { c.ConvertToFile(); }).code, -101); // "Disk is full"
    EXPECT_EQ(exportApfToTiff(dir / "f.apf", dir / "out.tif"), -101);
    EXPECT_EQ(exportApfToPdf(dir / "f.apf", dir / "out.pdf"), -101);
    const MonoBitmap page = makePage(PageKind::Noise, 1728, 1100);
    EXPECT_EQ(writePcxFile(dir / "out.pcx", page), -101);
    EXPECT_EQ(writeDcxFile(dir / "out.dcx", page), -101);
    EXPECT_EQ(writeBmpFile(dir / "out.bmp", page), -101);
    for (const char* name : {"out.apf", "out.tif", "out.pdf", "out.pcx", "out.dcx", "out.bmp"})
        EXPECT_EQ(readFile(dir / name), kOldContent) << name;
    EXPECT_EQ(namesIn(dir.path()).size(), 8u);
}

TEST(OutputFiles, AKilledConversionLeavesTheOldFileAndNoStrayFile) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + "\n";
    writeFile(dir / "in.txt", Bytes(text.begin(), text.end()));
    writeFile(dir / "out.apf", kOldContent);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto c = textConverter(dir / "in.txt", dir / "out.apf");
        c.OnStatus = [](TVelkFaxConverter&, bool, bool, int pages, int, std::int32_t,
                        std::int32_t, bool&) {
            if (pages == 3)
                ::kill(::getpid(), SIGKILL);
        };
        c.ConvertToFile();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(dir / "out.apf"), kOldContent);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"in.txt", "out.apf"}));
}

TEST(OutputFiles, ASuccessfulRunReplacesTheFileAndKeepsItsPermissions) {
    TempDir dir;
    writeFile(dir / "in.txt", {'x', '\n'});
    writeFile(dir / "out.apf", kOldContent);
    ASSERT_EQ(::chmod((dir / "out.apf").c_str(), 0640), 0);
    fs::create_symlink("out.apf", dir / "link.apf");
    auto c = textConverter(dir / "in.txt", dir / "link.apf");
    c.ConvertToFile();
    EXPECT_TRUE(fs::is_symlink(dir / "link.apf")); // the link still points at the file
    EXPECT_TRUE(isApfFile(dir / "out.apf"));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out.apf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A write-protected file is not replaced behind its protection.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod((dir / "out.apf").c_str(), 0440), 0);
        const Bytes before = readFile(dir / "out.apf");
        EXPECT_EQ(raised([&] { c.ConvertToFile(); }).code, -5);
        EXPECT_EQ(readFile(dir / "out.apf"), before);
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"in.txt", "link.apf", "out.apf"}));
}

TEST(OutputFiles, DirectoriesAndDevicesAreRefusedAndTheNameUsedIsKnown) {
    TempDir dir;
    writeFile(dir / "in.txt", {'x', '\n'});
    fs::create_directory(dir / "outdir");
    for (const fs::path& out : {dir / "outdir", fs::path("/dev/null"), dir / "newdir/"}) {
        auto c = textConverter(dir / "in.txt", out);
        const Raised r = raised([&] { c.ConvertToFile(); });
        EXPECT_EQ(r.code, ec::OutputNotAFile) << out;
        EXPECT_NE(r.text.find(out.string()), std::string::npos) << r.text;
    }
    EXPECT_FALSE(fs::exists(dir / "outdir.APF"));
    EXPECT_FALSE(fs::exists("/dev/null.APF"));
    EXPECT_EQ(checkOutputTarget("/dev/null"), ec::OutputNotAFile);
    EXPECT_EQ(writePcxFile(dir / "outdir", makePage(PageKind::Text, 64, 8)), ec::OutputNotAFile);
    writeApf(dir / "f.apf", {encodedPage(makePage(PageKind::Text, 1728, 30), false)});
    TVelkFaxUnpacker unpacker;
    unpacker.SetInFileName((dir / "f.apf").string());
    unpacker.OutFileName = (dir / "outdir").string();
    EXPECT_EQ(raised([&] { unpacker.UnpackPageToPcx(1); }).code, ec::OutputNotAFile);
    EXPECT_FALSE(fs::exists(dir / "outdir.PCX"));

    // A name without an extension gets ".APF"; the converter says which name it wrote.
    auto c = textConverter(dir / "in.txt", dir / "letter");
    EXPECT_EQ(c.outputName(c.inputName()), (dir / "letter.APF").string());
    c.ConvertToFile();
    EXPECT_TRUE(isApfFile(dir / "letter.APF"));
}
