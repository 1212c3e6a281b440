// Makes the pictures that ship with the program, from the program's own code:
// the application icon as PNG files (for the desktop entry) and the login help's
// picture, the main window filled in for a local server. Runs offscreen.
#include "cli/headless.h"
#include "ui/appearance.h"
#include "shell/form1.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QCheckBox>
#include <QPainter>

#include <cstdio>

namespace {

struct NoDialogs : platform::Dialogs {
    platform::Answer show(const platform::Message&) override { return platform::Answer::Ok; }
};
struct NoClipboard : platform::Clipboard {
    bool clear() override { return true; }
    bool setText(const std::string&, int) override { return true; }
};
struct NoSources : platform::SourceConnectionFactory {
    std::unique_ptr<platform::SourceConnection> create() override { return nullptr; }
};

bool WriteLocalConnectionPicture(const QString& path)
{
    NoDialogs dialogs;
    cli::NoSettings settings;
    NoClipboard clipboard;
    cli::NoDesktop desktop;
    platform::NoEventLoop events;
    cli::OfflineServerFactory servers;
    NoSources sources;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sources,
                             {"/nonexistent", "/"}, [] { return 0.5; }, [] {}};
    shell::Form1 form(services, {});
    form.Form_Load();
    form.setFolder("/srv/paradox/sales");
    form.Text5->setText("localhost\\SQLEXPRESS");
    form.Text3->setText("sa");
    form.Text4->setText("password");
    form.Text8->setText("Sales");
    form.Check4->setChecked(true);
    const QPixmap shot = form.grab();
    return shot.save(path, "JPG", 92);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make-pictures FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder.path());
    bool ok = WriteLocalConnectionPicture(folder.filePath("local-connection-example.jpg"));
    for (int size : {48, 256})
        ok = ui::ApplicationIcon().pixmap(size, size).save(folder.filePath(QString("dovenmark-%1.png").arg(size)))
            && ok;
    if (!ok) {
        std::fprintf(stderr, "make-pictures: could not write the pictures\n");
        return 1;
    }
    return 0;
}
