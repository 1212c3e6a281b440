// What a conversion run needs around it in a test: services over a temporary
// folder, recording dialogs, settings in memory, a recording clipboard and
// desktop, and the hand-off to the preview. Servers and Sources say what the
// run talks to (scripted ones, or the real ODBC and Paradox connections);
// Events what happens while it yields.
#pragma once

#include "conversion/conversion_run.h"
#include "core/services.h"
#include "tests/support/fake_form.h"
#include "tests/support/memory_settings.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testdata.h"

#include <filesystem>
#include <string>
#include <utility>

namespace testsupport {

template <class Servers, class Sources, class Events = platform::NoEventLoop>
struct RunServices {
    TempDir dir;
    ScriptedDialogs dialogs;
    Events events;
    Servers servers;
    Sources sources;
    RecordingDesktop desktop;
    MemorySettings settings;
    RecordingClipboard clipboard;
    conversion::PreviewHandOff handOff;
    bool converting = false;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sources,
                            {(dir / "program").string(), (dir / "drive").string()}};

    FakeForm form;
    platform::StopRequest stop;  // what a signal or a closing window asks of the run

    // The folder of tables, the server and the database, as typed into the main window.
    void fill(const std::filesystem::path& folder, const std::string& server, const std::string& database)
    {
        form.Text1 = folder.string();
        form.Text5 = server;
        form.Text8 = database;
    }

    // Start Converting, as the main window runs it.
    conversion::RunResult convert(conversion::RunOptions options = {})
    {
        conversion::Run run{services, form, handOff, {}, converting, std::move(options), &stop};
        return conversion::StartConverting(run);
    }
};

}  // namespace testsupport
