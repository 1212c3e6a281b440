// Dovenmark: the program starts with its main window; closing it ends the program.
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/qt_settings_store.h"
#include "shell/form1.h"

#include <QApplication>
#include <QTime>

#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Dovenmark");
    QApplication::setOrganizationName("Marrowby");

    platform::QtDialogs dialogs;
    platform::QtSettingsStore settings(platform::QtSettingsStore::defaultFolder());
    platform::QtClipboard clipboard;
    platform::QtDesktop desktop;
    auto events = platform::MakeQtEventLoop();

    // The generator is seeded from the clock: seconds since midnight.
    std::mt19937 generator(static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay() / 1000));
    shell::Services services{dialogs,
                             settings,
                             clipboard,
                             desktop,
                             *events,
                             {QApplication::applicationDirPath().toStdString(), "/"},
                             [&generator] { return std::uniform_real_distribution<double>(0, 1)(generator); },
                             [] {
                                 std::fflush(nullptr);
                                 std::_Exit(0);
                             }};

    shell::Form1 form(services);
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
