#include "faxengine/apd_receive_fax.h"

#include "faxengine/apd_fax_files.h"

namespace faxengine {

TApdCustomReceiveFax::TApdCustomReceiveFax(FaxMachine machine)
    : TApdCustomAbstractFax(FaxRole::Receive, std::move(machine)) {}

void TApdCustomReceiveFax::SetDestinationDir(std::string dir) {
    Session().destinationDir = withTrailingSeparator(std::move(dir));
}

void TApdCustomReceiveFax::StartReceiving() {
    CheckPort();
    StartSession();
}

void TApdCustomReceiveFax::FaxNextOrAcceptNotice(FaxNoticeAnswer& answer) {
    answer.accept = true;
    if (OnFaxAccept)
        OnFaxAccept(*this, answer.accept);
}

void TApdCustomReceiveFax::FaxNameNotice(FaxNoticeAnswer& answer) {
    if (OnFaxName)
        OnFaxName(*this, answer.fileName);
    else
        answer.fileName = receivedFaxName(faxNamingMode_, DestinationDir(), FaxFileExt());
    faxFile_ = answer.fileName;
}

} // namespace faxengine
