#include "faxengine/fax_status_display.h"

#include "faxengine/abstract_fax.h"

namespace faxengine {

TVelkAbstractFaxStatus::~TVelkAbstractFaxStatus() {
    if (fax_)
        fax_->unbindDisplay(this);
}

void TVelkAbstractFaxStatus::SetFax(TVelkCustomAbstractFax* fax) {
    if (fax_ == fax)
        return;
    TVelkCustomAbstractFax* old = fax_;
    fax_ = fax;
    if (old)
        old->unbindDisplay(this);
    if (fax && fax->StatusDisplay() != this)
        fax->SetStatusDisplay(this);
}

} // namespace faxengine
