// The TDS test server as a test starts it: its own process on a loopback port
// the system picks, its record in a temporary folder, ended when the object goes.
#pragma once

#include "tests/support/testdata.h"

#include <sys/types.h>

#include <csignal>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// One line of the server's record (fields a kind lacks stay empty).
struct TdsRecord {
    long n = 0;
    std::string kind;
    std::string text;  // batch
    std::string op;    // transaction
    std::string user;  // login
    std::optional<bool> passwordOk;  // login, when the server was given --password
    std::string database;
    std::string name;  // rpc
    std::string params;
    std::string table;  // stored, of a bulk load
    std::vector<std::optional<std::string>> values;
};

class TdsTestServer {
public:
    static constexpr std::string_view kCountQuery = "SELECT COUNT_BIG(*) FROM ";
    // What each connection sends once it is open, so that every statement has its result.
    static constexpr std::string_view kSessionSetting = "SET NOCOUNT OFF";

    // options: the server's own (--delay-ms 5, --refuse TEXT=NUMBER, ...). Throws when it does not start.
    explicit TdsTestServer(const std::vector<std::string>& options = {});
    ~TdsTestServer();
    TdsTestServer(const TdsTestServer&) = delete;
    TdsTestServer& operator=(const TdsTestServer&) = delete;

    int port() const { return port_; }
    // The program's own connection text for this server.
    std::string connectionText(const std::string& database = "Shop") const;

    std::vector<TdsRecord> records() const;
    // The text of every recorded batch, in order, but for the run's questions
    // about a table (whether it exists, how many rows it holds), which begin
    // with kCountQuery, and the connections' kSessionSetting.
    std::vector<std::string> batches() const { return textsOf("batch"); }
    // The statements of every recorded batch, in order: a batch is cut at each
    // line break outside quotes and brackets, where the program joins the
    // statements it sends in one batch.
    std::vector<std::string> statements() const;
    // With the server's --record-stored: every INSERT stored for good, in the order stored.
    std::vector<std::string> stored() const { return textsOf("stored"); }
    // With --record-stored: each row stored for good, in the order stored, as
    // [table, values...]; an INSERT's constants as T-SQL reads them.
    std::vector<std::vector<std::optional<std::string>>> storedRows() const;

    // Ends the server at once, as a server that dies: its connections break.
    void kill() { stop(SIGKILL); }

private:
    void stop(int signal = SIGTERM);
    std::vector<std::string> textsOf(const std::string& kind) const;

    TempDir dir_;
    pid_t pid_ = -1;
    int output_ = -1;
    int port_ = 0;
};

// Why a test through the FreeTDS driver cannot run here (the driver or the
// shared tables are missing); nothing when it can.
std::optional<std::string> FreeTdsMissing();

// [table, constants...] of "INSERT INTO [T]... VALUES(...)", each as SQL
// Server stores it: texts unquoted, NULL as none, numbers and 0x.. as written.
std::vector<std::optional<std::string>> InsertedRow(const std::string& insert);

// One record line read back; throws std::runtime_error on a line that is no JSON object.
TdsRecord ParseTdsRecord(const std::string& line);

}  // namespace testsupport
