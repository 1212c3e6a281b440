// Message boxes on QMessageBox.
#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

Answer QtDialogs::show(const Message& message)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(message.title));
    box.setText(QString::fromStdString(WithLineFeeds(message.text)));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(message.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    if (message.buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (message.buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

}  // namespace platform
