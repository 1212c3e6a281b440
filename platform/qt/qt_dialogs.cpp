#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

std::string LineBreaksForDisplay(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

Answer QtDialogs::show(const Message& message)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(message.title));
    box.setText(QString::fromStdString(LineBreaksForDisplay(message.text)));
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
