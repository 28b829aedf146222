#include "faximage/fax_converter.h"

#include "faximage/staged_output.h"

#include <algorithm>
#include <cstring>

namespace faximage {

namespace {

// idUser: lines come from the component's events.
class UserReader final : public FaxInputReader {
public:
    explicit UserReader(TVelkFaxConverter& owner) : owner_(owner) {}

    // Caller lines are coded as given: no doubling, halving or centring.
    int open(const std::filesystem::path& name, ConvertState&) override {
        if (owner_.OnOpenUserFile)
            owner_.OnOpenUserFile(owner_, name.string());
        return 0;
    }

    int getLine(ConvertState&, std::span<std::uint8_t> raster, bool& endOfPage,
                bool& morePages) override {
        if (!owner_.OnReadUserLine) {
            endOfPage = true;
            morePages = false;
            return 0;
        }
        int len = 0;
        endOfPage = false;
        morePages = false;
        owner_.OnReadUserLine(owner_, raster, len, endOfPage, morePages);
        return 0;
    }

    void close() override {
        if (owner_.OnCloseUserFile)
            owner_.OnCloseUserFile(owner_);
    }

private:
    TVelkFaxConverter& owner_;
};

bool hasExtension(const std::string& name) {
    return std::filesystem::path(name).has_extension();
}

} // namespace

std::string defaultExtension(TFaxInputDocumentType type, const std::string& userExtension) {
    switch (type) {
    case TFaxInputDocumentType::idText:
    case TFaxInputDocumentType::idTextEx:
        return "TXT";
    case TFaxInputDocumentType::idTiff:
    case TFaxInputDocumentType::idTiffDocument:
        return "TIF";
    case TFaxInputDocumentType::idPcx:
        return "PCX";
    case TFaxInputDocumentType::idDcx:
        return "DCX";
    case TFaxInputDocumentType::idBmp:
        return "BMP";
    case TFaxInputDocumentType::idPdf:
        return "PDF";
    case TFaxInputDocumentType::idUser:
        return userExtension;
    case TFaxInputDocumentType::idNone:
    case TFaxInputDocumentType::idBitmap:
        return {};
    }
    return {};
}

void TVelkCustomFaxConverter::SetOptions(unsigned options) {
    if (options & coYieldOften)
        options |= coYield;
    options_ = options;
}

void TVelkCustomFaxConverter::SetDocumentFile(const std::string& name) {
    if (name == documentFile_)
        return;
    documentFile_ = name;
    if (!name.empty())
        OutFileName = std::filesystem::path(name).replace_extension(".APF").string();
}

std::string TVelkCustomFaxConverter::inputName() const {
    std::string name = documentFile_;
    const std::string ext = defaultExtension(InputDocumentType, DefUserExtension);
    if (!name.empty() && !hasExtension(name) && !ext.empty())
        name += "." + ext;
    return name;
}

std::string TVelkCustomFaxConverter::outputName(const std::string& input) const {
    if (OutFileName.empty())
        return std::filesystem::path(input).replace_extension(".APF").string();
    if (!hasExtension(OutFileName))
        return OutFileName + ".APF";
    return OutFileName;
}

void TVelkCustomFaxConverter::ConvertToFile() {
    auto& self = static_cast<TVelkFaxConverter&>(*this);
    std::unique_ptr<FaxInputReader> reader;
    switch (InputDocumentType) {
    case TFaxInputDocumentType::idNone:
    case TFaxInputDocumentType::idBitmap:
        raiseVelkError(ec::BadArgument);
    case TFaxInputDocumentType::idText:
    case TFaxInputDocumentType::idTextEx:
        reader = makeTextReader();
        break;
    case TFaxInputDocumentType::idTiff:
        reader = makeTiffReader();
        break;
    case TFaxInputDocumentType::idPcx:
        reader = makePcxReader();
        break;
    case TFaxInputDocumentType::idDcx:
        reader = makeDcxReader();
        break;
    case TFaxInputDocumentType::idBmp:
        reader = makeBmpReader();
        break;
    case TFaxInputDocumentType::idUser:
        reader = std::make_unique<UserReader>(self);
        break;
    case TFaxInputDocumentType::idTiffDocument:
        reader = makeTiffDocumentReader();
        break;
    case TFaxInputDocumentType::idPdf:
        reader = makePdfReader();
        break;
    }

    ConvertState state;
    state.highRes = Resolution == TFaxResolution::frHigh;
    state.flags = options_;
    state.width = Width == TFaxWidth::fwWide ? 2048 : 1728;
    state.leftMargin = std::clamp(LeftMargin, 0, state.width);
    state.topMargin = std::max(TopMargin, 0);
    state.linesPerPage = std::max(LinesPerPage, 0);
    state.tabWidth = TabStop > 0 ? TabStop : 4;
    state.stationId = StationID.substr(0, 20);
    if (InputDocumentType == TFaxInputDocumentType::idText)
        checkApd(loadFaxFont(state, FontType, state.highRes));
    if (InputDocumentType == TFaxInputDocumentType::idTextEx)
        checkApd(setEnhancedFont(state, EnhFont, state.highRes));
    if (OnStatus) {
        state.status = [this, &self](const ConvertStatus& st) {
            bool abort = false;
            OnStatus(self, st.starting, st.ending, st.pagesConverted, st.linesConverted,
                     static_cast<std::int32_t>(st.bytesConverted),
                     static_cast<std::int32_t>(st.bytesToConvert), abort);
            return abort;
        };
    }
    if (OnYield)
        state.yield = [this] { return OnYield() ? 0 : ec::GotQuitMsg; };

    const std::string input = inputName();
    // A directory or device given as the output would otherwise become "name.APF".
    if (!OutFileName.empty())
        if (int rc = checkOutputTarget(OutFileName); rc == ec::OutputNotAFile)
            raiseVelkError(rc, OutFileName);
    const std::string output = outputName(input);
    if (int rc = convertFile(state, *reader, input, output); rc != 0)
        raiseVelkError(rc, state.failedFile.empty() ? std::string() : state.failedFile.string());
}

} // namespace faximage
