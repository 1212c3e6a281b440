// What the source and server modules work with: the main window's fields and
// the platform services, passed in so that tests use temporary folders and a
// scripted server.
#pragma once

#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/server_connection.h"
#include "platform/settings_store.h"
#include "platform/source_connection.h"
#include "core/paths.h"
#include "core/main_form.h"

#include <optional>
#include <string>

namespace sources {

struct Context {
    core::MainForm& form;
    platform::Dialogs& dialogs;
    platform::EventLoop& events;
    core::ProgramPaths paths;
    platform::ServerConnectionFactory& servers;
    platform::SourceConnectionFactory& sourceConnections;
    platform::Desktop& desktop;
    platform::SettingsStore& settings;
    // The headless command names the server's connection text itself; the
    // window builds it from the login fields.
    std::optional<std::string> serverConnectionText = std::nullopt;
};

}  // namespace sources
