// The SQL Server login: connection text, login test, table list, help.
#include "sources/mssql_module.h"

#include "core/app_title.h"
#include "platform/odbc/connection_text.h"
#include "core/error_report.h"

#include <stdexcept>

namespace MSSQL {

namespace {

platform::Answer Show(core::Services& services, const std::string& text,
                      platform::Buttons buttons = platform::Buttons::Ok)
{
    platform::Message m;
    m.text = text;
    m.title = core::AppTitle();
    m.buttons = buttons;
    return services.dialogs.show(m);
}

}  // namespace

platform::SecretText ConnectionText(core::Services& services, core::MainForm& form, bool local)
{
    if (services.serverConnectionText)
        return services.serverConnectionText->copy();
    const std::string server = local ? form.server() : form.server() + "," + form.port();
    platform::SecretText text("Driver={SQL Server};Server=" + platform::odbc::AttributeValue(server) + ";Database="
                              + platform::odbc::AttributeValue(form.database())
                              + ";Uid=" + platform::odbc::AttributeValue(form.user()) + ";Pwd=");
    text += platform::odbc::PasswordValue(form.password().reveal()).reveal();
    text += ';';
    return text;
}

platform::SecretText ConnectionText(core::Services& services, core::MainForm& form)
{
    return ConnectionText(services, form, form.localConnection());
}

bool CanConnect(core::Services& services, core::MainForm& form)
{
    return !NoConnectionReason(services, form);
}

std::optional<std::string> NoConnectionReason(core::Services& services, core::MainForm& form)
{
    std::unique_ptr<platform::ServerConnection> connection;
    try {
        connection = services.servers.create();
    } catch (...) {
        return "Could not connect to the server " + ServerName(services, form) + ": "
            + core::CurrentExceptionDescription();
    }
    return NoConnectionReason(services, form, *connection);
}

std::optional<std::string> NoConnectionReason(core::Services& services, core::MainForm& form,
                                              platform::ServerConnection& connection)
{
    try {
        if (!connection.isOpen())
            connection.open(ConnectionText(services, form));
        return std::nullopt;
    } catch (const platform::OpenError& e) {
        return "The server " + ServerName(services, form)
            + (e.unreachable() ? " could not be reached: " : " refused the login: ") + e.what();
    } catch (...) {
        return "Could not connect to the server " + ServerName(services, form) + ": "
            + core::CurrentExceptionDescription();
    }
}

std::string ServerName(core::Services& services, core::MainForm& form)
{
    if (services.serverConnectionText)
        return platform::odbc::ConnectionValue(services.serverConnectionText->reveal(), "Server").value_or("");
    return form.localConnection() ? form.server() : form.server() + "," + form.port();
}

void ListTables(core::Services& services, core::MainForm& form, core::ListItems& list)
{
    auto connection = services.servers.create();
    connection->open(ConnectionText(services, form));
    ListTables(services, *connection, list);
    connection->close();
}

void ListTables(core::Services& services, platform::ServerConnection& open, core::ListItems& list)
{
    const auto tables = open.tables();
    list.clear();
    // Every user table counts, whatever its name: the list decides whether the
    // overwrite question is asked, and a missed table would get duplicate rows.
    for (const auto& table : tables) {
        if (table.type == "TABLE") {
            services.events.yield();
            list.push_back(table.name);
        }
    }
}

void TestConnection(core::Services& services, core::MainForm& form)
{
    // This button handles its own failures: one of its two messages, never the
    // error report. A failure skips the rest and shows the second message. The
    // hourglass it set goes again whatever failed (busy pointers nest, so one
    // left on would stay for good).
    bool busy = false;
    try {
        form.setBusy(true);
        busy = true;
        auto connection = services.servers.create();
        connection->open(ConnectionText(services, form, form.localConnection()));
        Show(services, "Connection successful.");
    } catch (...) {
        // The driver's reason on the line below the message.
        try {
            Show(services, "Could not connect. Please check with your administrator.\r\n"
                               + core::CurrentExceptionDescription());
        } catch (...) {
        }
    }
    try {
        if (busy)
            form.setBusy(false);
    } catch (...) {
    }
}

void LoginHelp(core::Services& services)
{
    core::GuardedOperation op(services.dialogs, core::Location("Form1", "PushButton4_Click"));
    const std::string pair = "\r\r";
    std::string p104, p106, p108, p110, p112;
    op.step(104, [&] {
        p104 = "If you cannot establish connection to your MS SQL Server database with this "
               "program, please go to: " + pair;
    });
    op.step(106, [&] { p106 = std::string(kToolDownloadPage) + pair; });
    op.step(108, [&] { p108 = std::string("Download and install the ") + kToolName + ". Try to connect to "; });
    op.step(110, [&] {
        p110 = "the same database (with the same login information you are using here). "
               "This will determine if ";
    });
    op.step(112, [&] { p112 = "the login you are using is correct."; });
    op.step(114, [&] { Show(services, p104 + p106 + p108 + p110 + p112); });
    bool yes = false;
    op.step(116, [&] {
        yes = Show(services, "Would you like to see an image of how I connect locally?",
                   platform::Buttons::YesNo)
            == platform::Answer::Yes;
    });
    if (!yes)
        return;
    op.step(118, [&] {
        const std::string picture = services.paths.folder + "/" + kLocalConnectionPicture;
        if (!services.desktop.open(picture))
            throw std::runtime_error("The desktop has no program to show " + picture
                                     + " (xdg-open found none).");
    });
}

}  // namespace MSSQL
