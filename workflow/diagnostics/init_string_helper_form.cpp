#include "workflow/diagnostics/init_string_helper_form.h"

#include "workflow/diagnostics/diagnostic_rules.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace diagnostics {

namespace {
// A label that toggles its check box when clicked.
class ToggleLabel : public QLabel {
public:
    ToggleLabel(const QString& text, QCheckBox* box, QWidget* parent) : QLabel(text, parent), box_(box) {
        setWordWrap(true);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            box_->toggle();
        QLabel::mouseReleaseEvent(e);
    }

private:
    QCheckBox* box_;
};
} // namespace

TModemInitStringHelperForm::TModemInitStringHelperForm(const std::string& current, bool sending, QWidget* parent)
    : QDialog(parent), current_(current), sending_(sending) {
    setObjectName(QStringLiteral("TModemInitStringHelperForm"));
    setWindowTitle(tr("Modem Initialization String Helper"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("I have a:"), this);
    auto* boxLayout = new QVBoxLayout(box);
    ModemType = new QButtonGroup(this);
    for (int i = 0; i < kModemTypeCount; ++i) {
        auto* radio = new QRadioButton(QString::fromUtf8(modemTypeText(i).data(), static_cast<int>(modemTypeText(i).size())), box);
        ModemType->addButton(radio, i);
        boxLayout->addWidget(radio);
    }
    layout->addWidget(box);

    auto* row = new QHBoxLayout;
    CheckAT7 = new QCheckBox(this);
    CheckAT7->setObjectName(QStringLiteral("CheckAT7"));
    CheckAT7Label = new ToggleLabel(tr("The Faxmodem frequently hangs up before the faxmodem/fax machine on the other "
                                       "end answers and/or I have problems with international calls"),
                                    CheckAT7, this);
    CheckAT7Label->setObjectName(QStringLiteral("CheckAT7Label"));
    row->addWidget(CheckAT7, 0, Qt::AlignTop);
    row->addWidget(CheckAT7Label, 1);
    layout->addLayout(row);
    CheckAT7->setVisible(sending);
    CheckAT7Label->setVisible(sending);
    CheckAT7->setChecked(presetLongWait(current));
    setModemType(presetModemType(current));

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(tr("Ok"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    auto* blank = new QPushButton(tr("Leave it Blank"), this);
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(blank);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(blank, &QPushButton::clicked, this, [this] { done(kBlankResult); });
    setMinimumWidth(fontMetrics().averageCharWidth() * 70);
}

int TModemInitStringHelperForm::modemType() const { return ModemType->checkedId(); }

void TModemInitStringHelperForm::setModemType(int item) {
    if (auto* b = ModemType->button(item))
        b->setChecked(true);
}

std::string TModemInitStringHelperForm::resultFor(int dialogResult) const {
    if (dialogResult == kBlankResult)
        return {};
    if (dialogResult != QDialog::Accepted)
        return current_;
    return composeInitString(modemType(), sending_, sending_ && CheckAT7->isChecked());
}

} // namespace diagnostics
