// TConfigurationInfo: the configuration report in a window, to copy or save for support.
#pragma once

#include <QDialog>
#include <QStringList>

#include <filesystem>

class QPlainTextEdit;

namespace diagnostics {

class TConfigurationInfo : public QDialog {
    Q_OBJECT
public:
    TConfigurationInfo(QStringList lines, std::filesystem::path saveDir, QWidget* parent = nullptr);

    QString reportText() const;
    void copyToClipboard();
    // Writes the report; false when it could not be written.
    bool saveTo(const QString& file) const;
    void saveAs();

private:
    QStringList lines_;
    std::filesystem::path saveDir_;
    QPlainTextEdit* Memo1 = nullptr;
};

} // namespace diagnostics
