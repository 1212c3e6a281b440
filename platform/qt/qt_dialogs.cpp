// Message boxes on QMessageBox.
#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

Answer QtDialogs::show(const Message& message)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(message.title));
    box.setText(QString::fromStdString(WithLineFeeds(message.text)));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(message.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
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
