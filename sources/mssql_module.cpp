// The SQL Server login: connection text, login test, table list, help.
#include "sources/mssql_module.h"

#include "core/app_title.h"
#include "platform/odbc/connection_text.h"
#include "core/error_report.h"

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace MSSQL {

namespace {

platform::Answer Show(core::Services& services, const std::string& text,
                      platform::Buttons buttons = platform::Buttons::Ok, platform::Icon icon = platform::Icon::None)
{
    platform::Message m;
    m.text = text;
    m.title = core::AppTitle();
    m.buttons = buttons;
    m.icon = icon;
    return services.dialogs.show(m);
}

constexpr const char* kNoServer = "The field \"Server:\" is empty.";

// The SQLite ODBC driver marks its messages so. It stands in for SQL Server in
// the demo and where no server is configured; the database is then a file.
bool FromSqlite(std::string_view driverText)
{
    return driverText.find("[SQLite]") != std::string_view::npos;
}

// Why the SQLite file did not open: its driver says no more than "connect failed".
std::string SqliteFileReason(const std::string& file, const std::string& driverText)
{
    if (file.empty())
        return "The field \"Database:\" is empty: it names the SQLite file that stands in for the server.";
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error))
        return "The SQLite file " + file + " cannot be made: the folder " + folder.string() + " does not exist.";
    return "The SQLite file " + file + " could not be opened: " + driverText;
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
    // Without a server name the driver answers with a riddle ("Unknown host machine name.").
    const bool noServer = !services.serverConnectionText && form.server().find_first_not_of(' ') == std::string::npos;
    try {
        if (!connection.isOpen())
            connection.open(ConnectionText(services, form));
        return std::nullopt;
    } catch (const platform::OpenError& e) {
        if (e.driverNotLoaded())
            return e.what();  // no server was asked
        if (FromSqlite(e.what())) {
            const std::string file = services.serverConnectionText
                ? platform::odbc::ConnectionValue(services.serverConnectionText->reveal(), "Database").value_or("")
                : form.database();
            return SqliteFileReason(file, e.what());
        }
        if (noServer)
            return std::string(kNoServer);
        return "The server " + ServerName(services, form)
            + (e.unreachable() ? " could not be reached: " : " refused the login: ") + e.what();
    } catch (...) {
        if (noServer)
            return std::string(kNoServer);
        return "Could not connect to the server " + ServerName(services, form) + ": "
            + core::CurrentExceptionDescription();
    }
}

bool FreeTdsCannotSend(std::string_view password)
{
    return password.find('}') != std::string_view::npos && platform::odbc::PasswordValue(password).reveal().front() == '{';
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
    std::optional<std::string> why;
    try {
        form.setBusy(true);
        busy = true;
        // The reason goes on the line below the message, in the words "Start Converting" uses.
        why = NoConnectionReason(services, form);
    } catch (...) {
        why = core::CurrentExceptionDescription();
    }
    try {
        if (why)
            Show(services, "Could not connect. Please check with your administrator.\r\n" + *why,
                 platform::Buttons::Ok, platform::Icon::Warning);
        else
            Show(services, "Connection successful.");
    } catch (...) {
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

std::string ConnectAgain(core::Services& services, core::MainForm& form,
                         std::shared_ptr<platform::ServerConnection>& server, int commandTimeout, bool bulkLoad)
{
    try {
        server->close();
    } catch (...) {
        // Gone already.
    }
    try {
        server = services.servers.create();
        if (bulkLoad)
            server->allowBulkLoad();
        server->setCursorLocation(platform::ServerConnection::kServerSideCursor);
        server->setCommandTimeout(commandTimeout);
        server->setConnectionTimeout(5000);
        server->open(ConnectionText(services, form, form.localConnection()));
        return {};
    } catch (...) {
        return core::CurrentExceptionCause();
    }
}

}  // namespace MSSQL
