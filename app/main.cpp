// Dovenmark: the program starts with its main window; closing it ends the program.
#include "core/app_title.h"
#include "core/settings_keys.h"
#include "platform/keyring_settings_store.h"
#include "platform/odbc/driver_registry.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_keyring.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/qt_settings_store.h"
#include "preview/preview_windows.h"
#include "shell/form1.h"
#include "sources/program_paths.h"

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string_view>

namespace {

const char* const kUsage =
    "Usage: dovenmark [--help | --version]\n\n"
    "Opens the main window of Dovenmark, which copies every Paradox table of a folder\n"
    "into one Microsoft SQL Server database. The folder, the login and the SQL\n"
    "Preview choices are kept from the last start. Qt's own options (such as\n"
    "-platform offscreen) are taken as Qt takes them.\n\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n\n"
    "Without a window, for scripts: dovenmark-cli --help\n";

// --help and --version are answered before any window (or display) is needed;
// -1 when neither was asked.
int AnswerCommandLine(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("dovenmark %s\n", DOVENMARK_VERSION);
            return 0;
        }
    }
    return -1;
}

// The first argument that is neither ours nor one of Qt's own options, or
// null. It is refused before QApplication is made, which aborts where there is
// no display to open.
const char* UnknownArgument(int argc, char* argv[])
{
    // Qt's options that take a value (as the next argument or after "="), and those that do not.
    static const std::set<std::string_view> withValue = {
        "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-geometry",
        "-qwindowtitle", "-title", "-qwindowicon", "-icon", "-session", "-display", "-name", "-style",
        "-stylesheet", "-qmljsdebugger", "-visual", "-ncols"};
    static const std::set<std::string_view> flags = {"-reverse", "-widgetcount", "-testability", "-nograb",
                                                      "-dograb", "-sync", "-cmap"};
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.rfind("--", 0) == 0)
            arg.remove_prefix(1);  // Qt takes "--platform" as "-platform"
        const std::size_t equals = arg.find('=');
        if (withValue.count(arg.substr(0, equals))) {
            if (equals == std::string_view::npos)
                ++i;
            continue;
        }
        if (!flags.count(arg))
            return argv[i];
    }
    return nullptr;
}

// What the driver name "SQL Server" stands for here: SQLite's driver (the demo,
// or a start without a server), FreeTDS in its place, or a driver of that name.
shell::Form1::ServerDriver ServerDriverHere()
{
    const platform::odbc::SystemDriverRegistry registry;
    std::string registered = registry.registeredLibrary(std::string(platform::odbc::kSqlServerDriver));
    std::transform(registered.begin(), registered.end(), registered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (registered.find("sqlite") != std::string::npos)
        return shell::Form1::ServerDriver::Sqlite;
    if (registered.empty() ? !registry.freeTdsLibrary().empty() : platform::odbc::IsFreeTdsLibrary(registered))
        return shell::Form1::ServerDriver::FreeTds;
    return shell::Form1::ServerDriver::Registered;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (const int status = AnswerCommandLine(argc, argv); status >= 0)
        return status;
    if (const char* unknown = UnknownArgument(argc, argv)) {
        std::fprintf(stderr, "dovenmark: unknown argument '%s'\n\n%s", unknown, kUsage);
        return 2;
    }
    QApplication app(argc, argv);
    // Qt has taken its own options (-platform, -style...); anything left is none of ours.
    if (argc > 1) {
        std::fprintf(stderr, "dovenmark: unknown argument '%s'\n\n%s", argv[1], kUsage);
        return 2;
    }
    QApplication::setApplicationName("Dovenmark");
    QApplication::setOrganizationName("Marrowby");

    platform::QtDialogs dialogs;
    // The password lives in the desktop's keyring where one answers, else in the settings file.
    // Once the main window is there, what the keyring has to say waits until the password is typed.
    shell::Form1* window = nullptr;
    const QString settingsFolder = platform::QtSettingsStore::defaultFolder();
    platform::QtSettingsStore settingsFile(settingsFolder);
    platform::QtKeyring keyring(platform::KeyringServiceFor(QApplication::applicationName(), settingsFolder));
    platform::KeyringSettingsStore settings(
        settingsFile, keyring, {core::kSettingsApplication, core::kSettingsSection, core::key::MssqlPassword},
        [&dialogs, &window](const std::string& text) {
            const platform::Message m{text, core::AppTitle(), platform::Buttons::Ok, platform::Icon::Warning};
            window ? window->showWhenNotTyping(m) : static_cast<void>(dialogs.show(m));
        },
        [&dialogs](const std::string& question) {
            return dialogs.show({question, core::AppTitle(), platform::Buttons::YesNo}) == platform::Answer::Yes;
        });
    settings.start();
    platform::QtClipboard clipboard;
    platform::QtDesktop desktop;
    auto events = platform::MakeQtEventLoop();

    // The generator is seeded from the clock: seconds since midnight.
    std::mt19937 generator(static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay() / 1000));
    platform::OdbcServerConnectionFactory servers;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    core::Services services{dialogs,
                             settings,
                             clipboard,
                             desktop,
                             *events,
                             servers,
                             sourceConnections,
                             sources::ProgramPathsFor(QApplication::applicationDirPath().toStdString()),
                             [&generator] { return std::uniform_real_distribution<double>(0, 1)(generator); },
                             [] {
                                 std::fflush(nullptr);
                                 std::_Exit(0);
                             }};

    // The decimal separator comes from the system locale; dates and times keep "/" and ":".
    conversion::RegionalSettings regional;
    regional.decimalSeparator = QLocale::system().decimalPoint().toStdString();
    shell::Form1 form(services, regional);
    preview::PreviewWindows previewWindows(services, form.handOff, &form);
    form.setPreviewWindow([&previewWindows] { previewWindows.showPreview(); });
    form.setServerDriver(ServerDriverHere());
    form.Form_Load();
    window = &form;
    // While the keyring is locked, the password box says that its password is kept nowhere.
    const auto notePassword = [&form, &settings] {
        form.setPasswordNote(settings.keyringLocked() ? "Keyring locked: password kept nowhere" : "");
    };
    notePassword();
    QObject::connect(form.Text4, &QLineEdit::textChanged, &form, notePassword);
    form.show();
    return QApplication::exec();
}
