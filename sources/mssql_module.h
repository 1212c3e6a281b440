// The SQL Server login: the connection text, whether the login opens, the list
// of the target's tables, and the "Test Connection" and "Help" buttons of the
// login frame.
#pragma once

#include "core/main_form.h"
#include "core/services.h"

#include <memory>
#include <optional>
#include <string>

namespace MSSQL {

// "Driver={SQL Server};Server=S,PORT;Database=D;Uid=U;Pwd=P;" or, for a local
// connection, the same without ",PORT". A value holding ";" or "{" goes in
// braces with "}" doubled, so it cannot change the meaning of the text; so
// does a password with a blank at either end, which a driver might drop.
// The command's own text when it names one.
platform::SecretText ConnectionText(core::Services& services, core::MainForm& form);
platform::SecretText ConnectionText(core::Services& services, core::MainForm& form, bool local);

// True when a connection with the current login opens; never a message.
bool CanConnect(core::Services& services, core::MainForm& form);

// Why no connection with the current login opens: the driver's reason, with
// what it could not reach or what refused the login; nullopt when it opens.
std::optional<std::string> NoConnectionReason(core::Services& services, core::MainForm& form);
// The same with the caller's own connection, which stays open for what
// follows (a run logs in once); nothing to do where it is open already.
std::optional<std::string> NoConnectionReason(core::Services& services, core::MainForm& form,
                                              platform::ServerConnection& connection);

// The server that the current login names: "SRV,1433", "SRV" for a local
// connection, or the Server= value of the command's connection text.
std::string ServerName(core::Services& services, core::MainForm& form);

// A new connection in place of `server`, which was lost, set up as a run sets
// up its own (`bulkLoad`: ready for bulk loads); empty when it opens, else why not.
std::string ConnectAgain(core::Services& services, core::MainForm& form,
                         std::shared_ptr<platform::ServerConnection>& server, int commandTimeout,
                         bool bulkLoad = false);

// Clears the list and fills it with the names of the target's tables (type
// "TABLE"), in their own letter case.
void ListTables(core::Services& services, core::MainForm& form, core::ListItems& list);
// The same through a connection that is open already.
void ListTables(core::Services& services, platform::ServerConnection& open, core::ListItems& list);

// Whether FreeTDS before 1.4 cannot send the password: it reads the doubled
// "}" of a password in braces (one holding ";" or "{", or a blank at either
// end) as two characters.
bool FreeTdsCannotSend(std::string_view password);
inline constexpr const char* kFreeTdsPasswordText =
    "FreeTDS, which stands for the driver \"SQL Server\" here, cannot send a password that holds a \"}\" "
    "together with a \";\" or \"{\" (or a blank at either end): before its version 1.4 it reads the "
    "\"}}\" such a password needs in the connection text as two characters, and the server refuses the "
    "login. Change the password, or register Microsoft's ODBC driver under the name \"SQL Server\".";

// "Test Connection" of the login frame (PushButton6).
void TestConnection(core::Services& services, core::MainForm& form);
// "Help" of the login frame (PushButton4).
void LoginHelp(core::Services& services);

inline constexpr const char* kToolName = "DBeaver Community";
inline constexpr const char* kToolDownloadPage = "https://dbeaver.io/download/";
inline constexpr const char* kLocalConnectionPicture = "local-connection-example.jpg";

}  // namespace MSSQL
