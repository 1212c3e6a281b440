// Message boxes on QMessageBox.
#include "platform/qt/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace platform {

namespace {
// The box's text, plain. A line that holds a "/" (a path, a log file) is
// never broken: the label is made as wide as the widest such line (up to most
// of the screen), and the box makes room for it; other lines wrap as ever.
void SetBoxText(QMessageBox& box, const std::string& text)
{
    const QString plain = QString::fromStdString(WithLineFeeds(text));
    box.setTextFormat(Qt::PlainText);
    box.setText(plain);
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    int widest = 0;
    for (const QString& line : plain.split('\n')) {
        if (line.contains('/'))
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() * 4 / 5 : 800;
    if (widest > 0)
        label->setMinimumWidth(std::min(widest + 4, room));
}

// One look for every box: a failure has the warning icon, a question the
// question mark and a message the information sign; no button has an icon of
// its own (the style gives some, Yes and No, and not the others).
QMessageBox::Icon BoxIcon(const Message& message)
{
    if (message.icon == Icon::Warning)
        return QMessageBox::Warning;
    return message.buttons == Buttons::Ok ? QMessageBox::Information : QMessageBox::Question;
}
}  // namespace

Answer QtDialogs::show(const Message& message)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(message.title));
    SetBoxText(box, message.text);
    box.setIcon(BoxIcon(message));
    switch (message.buttons) {
    case Buttons::YesNoToAll:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
    QAbstractButton* continueButton = nullptr;
    if (message.offerContinue)
        continueButton = box.addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
    QCheckBox* dontShowAgain = nullptr;
    if (!message.dontShowAgain.empty()) {
        dontShowAgain = new QCheckBox(QString::fromStdString(message.dontShowAgain));
        box.setCheckBox(dontShowAgain);  // the box owns it
    }
    const int result = box.exec();
    if (continueButton && box.clickedButton() == continueButton)
        return Answer::Continue;
    switch (result) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::YesToAll: return Answer::YesToAll;
    case QMessageBox::NoToAll: return Answer::NoToAll;
    case QMessageBox::No: return Answer::No;
    default: break;
    }
    // Closed without a button: OK for a message, No for a question.
    if (message.buttons != Buttons::Ok)
        return Answer::No;
    return dontShowAgain && dontShowAgain->isChecked() ? Answer::OkDontShowAgain : Answer::Ok;
}

}  // namespace platform
