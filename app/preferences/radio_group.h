// A titled group of radio buttons that reads and sets its choice as an item index, the
// way the settings store codes fax classes and tone or pulse dialling.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

namespace preferences {

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, Qt::Orientation orientation,
               QWidget* parent = nullptr);

    // -1 when nothing is chosen.
    int itemIndex() const;
    // An index outside the items clears the choice.
    void setItemIndex(int index);
    int count() const;
    QRadioButton* button(int index) const;

private:
    QButtonGroup* group_ = nullptr;
};

} // namespace preferences
