// The services of the program's windows in a benchmark: settings in a scratch
// folder, the Qt clipboard, no desktop, recording dialogs, the real ODBC and
// Paradox connections, and the event loop the benchmark gives.
#pragma once

#include "bench/support/bench_support.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/qt_settings_store.h"

namespace benchsupport {

struct WindowServices {
    WindowServices(const fs::path& scratch, platform::EventLoop& events)
        : settings(QString::fromStdString((scratch / "config").string())),
          services{dialogs, settings, clipboard, desktop, events, servers, sourceConnections,
                   {(scratch / "program").string(), "/"}, [] { return 0.5; }, [] {}}
    {
        fs::create_directories(scratch / "program");
    }

    RecordingDialogs dialogs;
    platform::QtSettingsStore settings;
    platform::QtClipboard clipboard;
    cli::NoDesktop desktop;
    platform::OdbcServerConnectionFactory servers;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    core::Services services;
};

}  // namespace benchsupport
