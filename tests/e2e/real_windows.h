// The program's main window and its preview windows over the real ODBC and
// Paradox connections, with scripted dialogs and settings in a temporary
// folder. Each modal window is handed to the next action of `script`.
#pragma once

#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "preview/preview_windows.h"
#include "shell/form1.h"
#include "tests/support/fake_services.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace testsupport {

struct RealWindows
    : WindowServices<platform::OdbcServerConnectionFactory, platform::ParadoxSourceConnectionFactory> {
    shell::Form1 form{services, {}};
    preview::PreviewWindows windows{services, form.handOff, &form};
    std::vector<std::function<void(QWidget*)>> script;

    RealWindows()
    {
        form.setPreviewWindow([this] { windows.showPreview(); });
        form.Form_Load();
        windows.onModalShown = [this](QWidget* w) {
            ASSERT_FALSE(script.empty()) << "no action for " << w->objectName().toStdString();
            auto action = script.front();
            script.erase(script.begin());
            action(w);
        };
    }
};

}  // namespace testsupport
