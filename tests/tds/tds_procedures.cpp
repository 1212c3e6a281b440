// Transactions (statements and transaction manager requests alike) and the
// procedures the server knows: sp_tables, which lists the tables, and
// sp_executesql, whose statement runs as a batch would.
#include "tests/tds/tds_executor.h"

#include "tests/tds/tds_tokens.h"

#include <algorithm>

namespace tdstest {

namespace {

std::string DescriptorBytes(std::uint64_t descriptor)
{
    Writer w;
    w.u64(descriptor);
    return w.take();
}

// T-SQL LIKE with % and _, without case.
bool Like(std::string_view text, std::string_view pattern)
{
    if (pattern.empty())
        return text.empty();
    if (pattern.front() == '%') {
        for (std::size_t k = 0; k <= text.size(); ++k) {
            if (Like(text.substr(k), pattern.substr(1)))
                return true;
        }
        return false;
    }
    if (text.empty() || (pattern.front() != '_' && pattern.front() != text.front()))
        return false;
    return Like(text.substr(1), pattern.substr(1));
}

const std::string* ParamText(const std::vector<RpcParam>& params, std::string_view name)
{
    for (const RpcParam& p : params) {
        if (FoldCase(p.name) == FoldCase(name) && p.text)
            return &*p.text;
    }
    return nullptr;
}

bool SameName(std::string_view a, std::string_view b)
{
    return FoldCase(a) == FoldCase(b);
}

}  // namespace

void Executor::begin()
{
    if (++state_.trancount > 1)
        return;
    state_.descriptor = server_.nextTransaction++;
    PutEnvChangeBytes(out_, kEnvBeginTransaction, DescriptorBytes(state_.descriptor), "");
}

void Executor::implicitBegin()
{
    if (state_.implicitTransactions && state_.trancount == 0)
        begin();
}

void Executor::commitOne()
{
    if (--state_.trancount > 0)
        return;
    state_.journal.clear();
    for (const SessionState::Stored& s : state_.inserted) {
        if (s.statement.empty()) {
            server_.recorder.storedRow(s.table, s.values);
            server_.catalog.keepRow(s.table, s.values);
        } else {
            server_.recorder.stored(s.statement);
        }
    }
    state_.inserted.clear();
    for (const auto& [table, rows] : state_.insertedRows)
        server_.catalog.addRows(table, rows);
    state_.insertedRows.clear();
    PutEnvChangeBytes(out_, kEnvCommitTransaction, "", DescriptorBytes(state_.descriptor));
}

void Executor::rollbackAll()
{
    for (auto change = state_.journal.rbegin(); change != state_.journal.rend(); ++change) {
        if (change->created)
            server_.catalog.drop(change->table);
        else
            server_.catalog.create(change->table);
    }
    state_.journal.clear();
    state_.inserted.clear();
    state_.insertedRows.clear();
    state_.trancount = 0;
    PutEnvChangeBytes(out_, kEnvRollbackTransaction, "", DescriptorBytes(state_.descriptor));
}

void Executor::created(const std::string& table)
{
    if (state_.trancount > 0)
        state_.journal.push_back({true, table});
}

void Executor::dropped(const std::string& table)
{
    if (state_.trancount > 0)
        state_.journal.push_back({false, table});
}

void Executor::closing()
{
    if (state_.trancount > 0) {
        rollbackAll();
        out_ = {};
    }
}

std::string Executor::transactionRequest(std::uint16_t type, bool beginAfter)
{
    start(kDone);
    if (type == kTmBegin) {
        begin();
    } else if (type == kTmCommit || type == kTmRollback) {
        if (state_.trancount == 0) {
            fail({type == kTmCommit ? 3902u : 3903u, 16, 1,
                  type == kTmCommit ? "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."
                                    : "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.",
                  Abort::Statement},
                 0);
            return finish();
        }
        if (type == kTmCommit)
            commitOne();
        else
            rollbackAll();
        if (beginAfter)
            begin();
    }
    return finish();
}

std::string Executor::procedure(std::string_view name, const std::vector<RpcParam>& params)
{
    start(kDoneInProc);
    if (SameName(name, "sp_executesql")) {
        if (!params.empty() && params.front().text) {
            const std::vector<Statement> statements = SplitBatch(*params.front().text);
            for (std::size_t i = 0; i < statements.size() && !aborted_;)
                i = step(statements, i, true);
        }
        out_.u8(kReturnStatus);
        out_.u32(0);
        PutDone(out_, kDoneProc, aborted_ ? kDoneError : kDoneFinal, 0, 0, state_.tds72);
        return out_.take();
    }
    callProcedure(name, params);
    out_.patchByte(lastDone_ + 1, out_.byteAt(lastDone_ + 1) & ~kDoneMore);
    return out_.take();
}

// A procedure's tokens end with its DONEPROC; inside a batch that is the
// statement's DONE.
void Executor::callProcedure(std::string_view name, const std::vector<RpcParam>& params)
{
    std::string bare(name);
    bare.erase(0, bare.find_first_not_of('.'));
    const Token saved = doneToken_;
    doneToken_ = kDoneProc;
    if (!SameName(bare, "sp_tables")) {
        const auto failure = Failure{2812, 16, 62, "Could not find stored procedure '" + bare + "'.", Abort::Statement};
        fail(failure, 0);
        doneToken_ = saved;
        return;
    }
    tablesResult(params);
    out_.u8(kReturnStatus);
    out_.u32(0);
    done(0, 0, 0);
    doneToken_ = saved;
}

// sp_tables: the tables of this server's life as user tables of dbo, beside a
// few system tables and views, ordered as SQL Server orders them (type,
// qualifier, owner, name); @table_name, @table_owner and @table_type filter.
void Executor::tablesResult(const std::vector<RpcParam>& params)
{
    struct Row {
        std::string owner;
        std::string name;
        std::string type;
    };
    std::vector<Row> rows{{"sys", "trace_xe_action_map", "SYSTEM TABLE"},
                          {"sys", "trace_xe_event_map", "SYSTEM TABLE"}};
    for (const std::string& table : server_.catalog.tables())
        rows.push_back({"dbo", table, "TABLE"});
    for (const char* view : {"COLUMNS", "TABLES"})
        rows.push_back({"INFORMATION_SCHEMA", view, "VIEW"});

    const std::string* name = ParamText(params, "@table_name");
    const std::string* owner = ParamText(params, "@table_owner");
    const std::string* types = ParamText(params, "@table_type");
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const Row& r) {
                                  return (name && !Like(FoldCase(r.name), FoldCase(*name)))
                                      || (owner && !Like(FoldCase(r.owner), FoldCase(*owner)))
                                      || (types && types->find("'" + r.type + "'") == std::string::npos);
                              }),
               rows.end());

    const std::vector<TextColumn> columns{{"TABLE_QUALIFIER", true, 256}, {"TABLE_OWNER", true, 256},
                                          {"TABLE_NAME", true, 256},      {"TABLE_TYPE", false, 32},
                                          {"REMARKS", false, 254}};
    PutColumns(out_, columns, state_.tds72);
    for (const Row& r : rows)
        PutTextRow(out_, columns, {state_.database, r.owner, r.name, r.type, std::nullopt});
    PutDone(out_, kDoneInProc, kDoneMore | countStatus(), 0xC1, state_.nocount ? 0 : rows.size(), state_.tds72);
}

}  // namespace tdstest
