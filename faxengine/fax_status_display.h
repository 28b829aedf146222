// TVelkAbstractFaxStatus: the base of a fax progress display. A fax component calls
// UpdateDisplay on its owner's thread for every status notice; a concrete display (the
// program's status window) shows the component's progress values.
#pragma once

#include <cstdint>
#include <string>

namespace faxengine {

class TVelkCustomAbstractFax;

// Where the display's window is placed.
enum class TFormPosition : std::uint8_t {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter,
};

inline constexpr const char* kDefaultFaxStatusCaption = "Fax Status";

class TVelkAbstractFaxStatus {
public:
    TVelkAbstractFaxStatus() = default;
    virtual ~TVelkAbstractFaxStatus();
    TVelkAbstractFaxStatus(const TVelkAbstractFaxStatus&) = delete;
    TVelkAbstractFaxStatus& operator=(const TVelkAbstractFaxStatus&) = delete;

    TFormPosition Position() const { return position_; }
    void SetPosition(TFormPosition p) { position_ = p; }
    bool Ctl3D() const { return ctl3d_; }
    void SetCtl3D(bool on) { ctl3d_ = on; }
    bool Visible() const { return visible_; }
    void SetVisible(bool on) { visible_ = on; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string c) { caption_ = std::move(c); }
    TVelkCustomAbstractFax* Fax() const { return fax_; }
    // Binds the display to a fax component (and the component to this display).
    void SetFax(TVelkCustomAbstractFax* fax);

    // first: the session's first status; last: its final one.
    virtual void UpdateDisplay(bool first, bool last) = 0;

private:
    friend class TVelkCustomAbstractFax;
    TFormPosition position_ = TFormPosition::poScreenCenter;
    bool ctl3d_ = true;
    bool visible_ = false;
    std::string caption_ = kDefaultFaxStatusCaption;
    TVelkCustomAbstractFax* fax_ = nullptr;
};

} // namespace faxengine
