#include "date_selector.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace maintenance {

TDateSelector::TDateSelector(QWidget* parent) : QDialog(parent) {
    setObjectName("TDateSelector");
    setWindowTitle(tr("Delete all before..."));
    auto* layout = new QVBoxLayout(this);

    Calendar = new QCalendarWidget(this);
    Calendar->setObjectName("Calendar");
    Calendar->setSelectedDate(QDate::currentDate());
    Calendar->setGridVisible(true);
    layout->addWidget(Calendar);

    auto* steps = new QHBoxLayout;
    const auto stepButton = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        steps->addWidget(b);
        return b;
    };
    YearBack = stepButton("YearBack", tr("Year-"));
    MonthBack = stepButton("MonthBack", tr("Month-"));
    TodayButton = stepButton("TodayButton", tr("Today"));
    MonthForward = stepButton("MonthForward", tr("Month +"));
    YearForward = stepButton("YearForward", tr("Year+"));
    layout->addLayout(steps);

    Panel = new QLabel(this);
    Panel->setObjectName("Panel");
    Panel->setAlignment(Qt::AlignCenter);
    Panel->setFrameShape(QFrame::Panel);
    Panel->setFrameShadow(QFrame::Sunken);
    Panel->setMinimumHeight(Panel->fontMetrics().height() * 2);
    layout->addWidget(Panel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OkButton = new QPushButton(tr("Ok"), this);
    OkButton->setObjectName("OkButton");
    OkButton->setDefault(true);
    CancelButton = new QPushButton(tr("Cancel"), this);
    CancelButton->setObjectName("CancelButton");
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);

    const auto move = [this](int years, int months) { setDate(date().addYears(years).addMonths(months)); };
    connect(YearBack, &QPushButton::clicked, this, [move] { move(-1, 0); });
    connect(MonthBack, &QPushButton::clicked, this, [move] { move(0, -1); });
    connect(MonthForward, &QPushButton::clicked, this, [move] { move(0, 1); });
    connect(YearForward, &QPushButton::clicked, this, [move] { move(1, 0); });
    connect(TodayButton, &QPushButton::clicked, this, [this] { setDate(QDate::currentDate()); });
    connect(Calendar, &QCalendarWidget::selectionChanged, this, &TDateSelector::showChosen);
    // A double-click on a day (or Enter in the calendar) chooses it.
    connect(Calendar, &QCalendarWidget::activated, this, &QDialog::accept);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    showChosen();
}

QDate TDateSelector::date() const { return Calendar->selectedDate(); }

void TDateSelector::setDate(const QDate& date) {
    Calendar->setSelectedDate(date);
    Calendar->setCurrentPage(date.year(), date.month());
    showChosen();
}

QString TDateSelector::panelText() const { return Panel->text(); }

void TDateSelector::showChosen() {
    Panel->setText(QLocale().toString(date(), QStringLiteral("dddd, MMMM d, yyyy")));
}

} // namespace maintenance
