// Services for window tests: scripted dialogs, a real settings store in a
// temporary folder, a recording clipboard and desktop, a fixed random draw.
// Servers and Sources say what the windows talk to: scripted ones, or the real
// ODBC and Paradox connections.
#pragma once

#include "platform/qt/qt_settings_store.h"
#include "core/services.h"
#include "tests/support/fake_server.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testdata.h"

#include <string>
#include <vector>

namespace testsupport {

template <class Servers, class Sources>
struct WindowServices {
    TempDir root;
    ScriptedDialogs dialogs;
    platform::QtSettingsStore settings{QString::fromStdString((root / "config").string())};
    RecordingClipboard clipboard;
    RecordingDesktop desktop;
    platform::NoEventLoop events;
    Servers servers;
    Sources sources;
    double draw = 0.5;  // scales to 51: no web page
    int endProgramCalls = 0;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sources,
                            {(root / "program").string(), (root / "drive").string()}, [this] { return draw; },
                            [this] { ++endProgramCalls; }};

    WindowServices()
    {
        std::filesystem::create_directories(root / "program");
        std::filesystem::create_directories(root / "drive");
    }
    std::string stored(const std::string& key)
    {
        return settings.read("Marrowby", "Dovenmark", key).value_or("<absent>");
    }
    void store(const std::string& key, const std::string& value)
    {
        settings.write("Marrowby", "Dovenmark", key, value);
    }
};

using FakeServicesHolder = WindowServices<FakeServerFactory, MemorySourceFactory>;

}  // namespace testsupport
