// "About Parvane": the program's name and version.
#pragma once

#include <QDialog>

class QLabel;

namespace app {

class TSplashform : public QDialog {
    Q_OBJECT
public:
    explicit TSplashform(QWidget* parent = nullptr);
    QString versionText() const;

private:
    QLabel* VersionLabel = nullptr;
};

// Shows the About window modally, centred over `mainWindow`.
void showAbout(QWidget* mainWindow);

} // namespace app
