// The three message-box shapes every window uses. Texts may carry "\r" or "\r\n" line
// breaks as they are stored; they are shown as line breaks.
#pragma once

#include <QString>

class QWidget;

namespace app {

inline constexpr const char* kInformationTitle = "Information";

// "\r\n" and lone "\r" become "\n".
QString displayText(const QString& text);

// OK button and information icon.
void informationBox(QWidget* parent, const QString& text,
                    const QString& title = QString::fromLatin1(kInformationTitle));
// Yes and No, Yes is the default; true when the user answered Yes.
bool question(QWidget* parent, const QString& text, const QString& title);
// As question(), with No as the default button.
bool questionDefaultNo(QWidget* parent, const QString& text, const QString& title);

// The system's default beep, for commands that need a record when the list is empty.
void beep();

} // namespace app
