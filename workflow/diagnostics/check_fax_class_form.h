// TCheckFaxClassForm: shows the class check as it runs and its verdict.
#pragma once

#include "workflow/diagnostics/class_check.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace diagnostics {

class TCheckFaxClassForm : public QDialog {
    Q_OBJECT
public:
    // The port must already point at its device; the form opens and closes it.
    TCheckFaxClassForm(faxengine::TVelkComPort& port, faxengine::TVelkSendFax& sender, int portNumber,
                       std::string resetString, QWidget* parent = nullptr);

    const ClassCheckResult& result() const { return result_; }
    bool finished() const { return finished_; }
    QString labelText(int i) const;
    QString statusText() const;
    bool class2_0Bold() const;

signals:
    void checkFinished();

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;

private:
    void runCheck();

    faxengine::TVelkComPort& port_;
    faxengine::TVelkSendFax& sender_;
    int portNumber_;
    std::string resetString_;
    ClassCheckResult result_;
    bool started_ = false;
    bool finished_ = false;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Status = nullptr;
    QPushButton* OkButton = nullptr;
};

} // namespace diagnostics
