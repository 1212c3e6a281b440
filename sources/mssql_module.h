// The SQL Server login: the connection text, whether the login opens, the list
// of the target's tables, and the "Test Connection" and "Help" buttons of the
// login frame.
#pragma once

#include "sources/context.h"

#include <string>

namespace MSSQL {

// "Driver={SQL Server};Server=S,PORT;Database=D;Uid=U;Pwd=P;" or, for a local
// connection, the same without ",PORT". A value holding ";", "{" or "}" goes
// in braces with "}" doubled, so it cannot change the meaning of the text.
std::string ConnectionText(sources::Context& ctx);
std::string ConnectionText(sources::Context& ctx, bool local);

// True when a connection with the current login opens; never a message.
bool CanConnect(sources::Context& ctx);

// Clears the list and fills it with the names of the target's tables (type
// "TABLE"), in their own letter case.
void ListTables(sources::Context& ctx, core::ListItems& list);

// "Test Connection" of the login frame (PushButton6).
void TestConnection(sources::Context& ctx);
// "Help" of the login frame (PushButton4).
void LoginHelp(sources::Context& ctx);

inline constexpr const char* kToolName = "DBeaver Community";
inline constexpr const char* kToolDownloadPage = "https://dbeaver.io/download/";
inline constexpr const char* kLocalConnectionPicture = "local-connection-example.jpg";

}  // namespace MSSQL
