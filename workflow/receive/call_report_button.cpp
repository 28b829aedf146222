#include "workflow/receive/call_report_button.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

namespace workflow::receive {

namespace {

QBoxLayout* rowOf(QDialog& dialog, QWidget* button) {
    for (QBoxLayout* row : dialog.findChildren<QBoxLayout*>())
        if (row->indexOf(button) >= 0)
            return row;
    return nullptr;
}

} // namespace

QPushButton* addCallReportButton(QDialog& dialog, const std::function<void(QWidget* parent)>& report) {
    auto* button = new QPushButton(QStringLiteral("Call report..."), &dialog);
    button->setObjectName(QStringLiteral("CallReportButton"));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, report] {
        if (report)
            report(&dialog);
    });
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("OkButton"));
    if (QBoxLayout* row = ok ? rowOf(dialog, ok) : nullptr) {
        // After the last button, before a closing stretch.
        int at = row->count();
        while (at > 0 && row->itemAt(at - 1)->spacerItem())
            --at;
        row->insertWidget(at, button);
    } else if (auto* box = qobject_cast<QBoxLayout*>(dialog.layout())) {
        box->addWidget(button);
    }
    return button;
}

} // namespace workflow::receive
