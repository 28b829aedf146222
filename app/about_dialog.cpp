#include "about_dialog.h"

#include "centring.h"
#include "settings/settings.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace app {

TSplashform::TSplashform(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TSplashform"));
    setWindowTitle(tr("About Parvane"));

    auto* name = new QLabel(QStringLiteral("Parvane"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);

    auto* line = new QLabel(tr("Send and receive faxes with a fax modem."), this);
    line->setAlignment(Qt::AlignCenter);

    VersionLabel = new QLabel(
        QStringLiteral("Version ") + QString::fromLatin1(settings::kVersionString), this);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    VersionLabel->setAlignment(Qt::AlignCenter);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 16);
    layout->setSpacing(10);
    layout->addWidget(name);
    layout->addWidget(line);
    layout->addWidget(VersionLabel);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

QString TSplashform::versionText() const { return VersionLabel->text(); }

void showAbout(QWidget* mainWindow) {
    TSplashform about(mainWindow);
    centreWindow(&about, mainWindow);
    about.exec();
}

} // namespace app
