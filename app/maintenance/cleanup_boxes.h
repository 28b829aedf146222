// The message boxes the maintenance windows ask and tell with: information (OK) and a
// question with Yes as the default. Texts may carry "\r" line breaks as stored.
#pragma once

#include <QString>

class QWidget;

namespace maintenance {

void informationBox(QWidget* parent, const QString& text);
bool question(QWidget* parent, const QString& text, const QString& title);

} // namespace maintenance
