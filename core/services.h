// The platform services and injected places that the windows, the modules and
// the conversion run work with: one set, built once by the program (or the
// headless command, or a test) and passed by reference. Tests build scripted
// ones over temporary folders.
#pragma once

#include "platform/clipboard.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/secret_text.h"
#include "platform/server_connection.h"
#include "platform/source_connection.h"
#include "platform/settings_store.h"
#include "core/paths.h"

#include <functional>
#include <memory>

namespace core {

struct Services {
    platform::Dialogs& dialogs;
    platform::SettingsStore& settings;
    platform::Clipboard& clipboard;
    platform::Desktop& desktop;
    platform::EventLoop& events;
    platform::ServerConnectionFactory& servers;
    platform::SourceConnectionFactory& sourceConnections;
    ProgramPaths paths;
    // One draw in [0, 1) of the generator seeded from the clock (the web-site start).
    std::function<double()> randomDraw = nullptr;
    // Ends the process at once (closing the main window).
    std::function<void()> endProgram = nullptr;
    // The headless command names the server's connection text itself; the
    // window builds it from the login fields. Shared, not copied, by the
    // services made from these.
    std::shared_ptr<const platform::SecretText> serverConnectionText = nullptr;

    // The same services with other dialogs (a conversion run shows everything
    // through its own, which keep its log of reports). A member added above
    // belongs here too.
    Services withDialogs(platform::Dialogs& other) const
    {
        return {other, settings, clipboard, desktop, events, servers, sourceConnections, paths, randomDraw,
                endProgram, serverConnectionText};
    }
};

}  // namespace core
