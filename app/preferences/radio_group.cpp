#include "radio_group.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QRadioButton>

namespace preferences {

RadioGroup::RadioGroup(const QString& title, const QStringList& items, Qt::Orientation orientation,
                       QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)) {
    auto* layout = new QBoxLayout(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight
                                                                 : QBoxLayout::TopToBottom,
                                  this);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], this);
        radio->setObjectName(QStringLiteral("Item%1").arg(i));
        group_->addButton(radio, i);
        layout->addWidget(radio);
    }
    if (orientation == Qt::Horizontal)
        layout->addStretch();
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
    if (QAbstractButton* b = group_->button(index)) {
        b->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked unless told otherwise.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons())
        b->setChecked(false);
    group_->setExclusive(true);
}

int RadioGroup::count() const { return int(group_->buttons().size()); }

QRadioButton* RadioGroup::button(int index) const { return qobject_cast<QRadioButton*>(group_->button(index)); }

} // namespace preferences
