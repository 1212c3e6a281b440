// The clipboard, the desktop and the event loop on Qt.
#include "platform/qt/qt_services.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>

namespace platform {

bool QtClipboard::clear()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    return true;
}

bool QtClipboard::setText(const std::string& text, int /*format: only plain text exists here*/)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const QString value = QString::fromStdString(text);
    clipboard->setText(value);
    return clipboard->text() == value;
}

bool QtDesktop::open(const std::string& urlOrPath)
{
    const QString text = QString::fromStdString(urlOrPath);
    const QUrl url = text.startsWith('/') ? QUrl::fromLocalFile(text) : QUrl(text);
    return QDesktopServices::openUrl(url);
}

std::string QtDesktop::pickFolder(const std::string& prompt, const std::string& initialFolder)
{
    // Without a start folder the chooser opens at the user's home, not wherever the program was started.
    const QString start = initialFolder.empty() ? QDir::homePath() : QString::fromStdString(initialFolder);
    const QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                             QString::fromStdString(prompt), start);
    return chosen.toStdString();
}

std::unique_ptr<TimeSlicedEventLoop> MakeQtEventLoop()
{
    return std::make_unique<TimeSlicedEventLoop>([] { QCoreApplication::processEvents(); });
}

}  // namespace platform
