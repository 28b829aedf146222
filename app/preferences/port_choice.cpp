#include "port_choice.h"

#include <QComboBox>
#include <QMessageBox>

#include <algorithm>

namespace preferences {

namespace {
constexpr int kStandardPorts = 6;
}

void fillPortList(QComboBox* list, const settings::Settings& s) {
    int ports = std::max(kStandardPorts, s.modem.comPort + 1);
    if (!s.portDevices.empty())
        ports = std::max(ports, s.portDevices.rbegin()->first);
    list->clear();
    for (int n = 1; n <= ports; ++n) {
        // Where the port leads matters more on this system than its number.
        const auto device = s.namedDeviceForPort(n);
        const QString where = device ? QString::fromStdString(*device) : QStringLiteral("virtual fax line");
        list->addItem(QStringLiteral("Com%1   (%2)").arg(n).arg(where), n - 1);
    }
}

void selectStoredPort(QComboBox* list, int comPort) {
    list->setCurrentIndex(comPort >= 0 && comPort < list->count() ? comPort : 0);
}

bool findModemPort(QWidget* parent, QComboBox* list, const DiagnosticsHooks& hooks,
                   const settings::Settings& shown) {
    if (!hooks.findModem)
        return false;
    const int found = hooks.findModem(parent, shown);
    const int selected = list->currentIndex() + 1;
    if (found <= 0 || found == selected || found > list->count())
        return false;
    if (!askYesNo(parent, QStringLiteral("Set Com Port to Com %1").arg(found), QStringLiteral("Com Port")))
        return false;
    list->setCurrentIndex(found - 1);
    return true;
}

bool askYesNo(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

} // namespace preferences
