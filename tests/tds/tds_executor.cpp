// Statements, transactions and procedures of one connection. How far a batch
// goes on after an error follows SQL Server with XACT_ABORT OFF: most errors end
// only their statement; an unknown table (208) ends the batch; a conversion
// error (245) ends the batch and rolls the transaction back; a syntax error
// (102) stops the batch before anything of it runs. XACT_ABORT ON makes every
// error end the batch and roll back.
#include "tests/tds/tds_executor.h"

#include "tests/tds/tds_tokens.h"

#include <algorithm>
#include <cctype>

namespace tdstest {

namespace {

std::uint16_t CommandOf(const Statement& st)
{
    switch (st.kind) {
    case StatementKind::Insert: return kCmdInsert;
    case StatementKind::Select: return kCmdSelect;
    case StatementKind::Update: return kCmdUpdate;
    case StatementKind::Delete: return kCmdDelete;
    default: return 0;
    }
}

// SQL Server's message with its "%.*ls", "%ls" and "%d" filled in order.
std::string Format(std::string_view pattern, const std::vector<std::string>& args)
{
    std::string out;
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < pattern.size()) {
        std::size_t placeholder = 0;
        for (std::string_view p : {"%.*ls", "%ls", "%d"}) {
            if (pattern.substr(i, p.size()) == p)
                placeholder = p.size();
        }
        if (placeholder == 0) {
            out.push_back(pattern[i++]);
            continue;
        }
        if (next < args.size())
            out += args[next];
        ++next;
        i += placeholder;
    }
    return out;
}

std::string Shown(const Statement& st, const std::string& fallback)
{
    return st.objects.empty() ? fallback : st.objects.front().shown;
}

std::string Table(const Statement& st, const std::string& fallback)
{
    return st.objects.empty() ? fallback : st.objects.front().table;
}

std::string Squeezed(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c)))
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return out;
}

}  // namespace

void Executor::start(Token doneToken)
{
    out_ = {};
    doneToken_ = doneToken;
    anyDone_ = false;
    aborted_ = false;
}

// The last DONE of the answer says that nothing follows.
std::string Executor::finish()
{
    const std::size_t doneSize = state_.tds72 ? 13 : 9;
    if (anyDone_ && lastDone_ + doneSize == out_.size()
        && (out_.byteAt(lastDone_) == kDone || out_.byteAt(lastDone_) == kDoneProc))
        out_.patchByte(lastDone_ + 1, out_.byteAt(lastDone_ + 1) & ~kDoneMore);
    else
        PutDone(out_, kDone, aborted_ ? kDoneError : kDoneFinal, 0, 0, state_.tds72);
    return out_.take();
}

std::uint16_t Executor::countStatus() const
{
    return state_.nocount ? 0 : kDoneCount;
}

void Executor::done(std::uint16_t status, std::uint16_t command, std::uint64_t rows)
{
    lastDone_ = out_.size();
    anyDone_ = true;
    PutDone(out_, doneToken_, status | kDoneMore, command, (status & kDoneCount) != 0 ? rows : 0, state_.tds72);
}

void Executor::fail(const Failure& f, std::uint16_t command)
{
    PutMessage(out_, kError, f.number, f.state, f.severity, f.text);
    Abort abort = f.abort;
    if (state_.xactAbort && abort != Abort::Compile)
        abort = Abort::BatchRollback;
    if (abort == Abort::BatchRollback && state_.trancount > 0)
        rollbackAll();
    if (abort != Abort::Statement)
        aborted_ = true;
    done(kDoneError, command, 0);
}

std::optional<Executor::Failure> Executor::refusal(const Statement& st) const
{
    for (const Refusal& r : server_.options.refusals) {
        if (st.text.find(r.text) == std::string::npos)
            continue;
        const std::string table = Table(st, r.text);
        auto failure = [&](Abort abort, std::string_view pattern, std::vector<std::string> args) {
            return Failure{static_cast<std::uint32_t>(r.number), 16, 1, Format(pattern, args), abort};
        };
        switch (r.number) {
        case 8152: return failure(Abort::Statement, "String or binary data would be truncated.", {});
        case 2714:
            return failure(Abort::Statement, "There is already an object named '%.*ls' in the database.",
                           {Shown(st, r.text)});
        case 208: return failure(Abort::Scope, "Invalid object name '%.*ls'.", {Shown(st, r.text)});
        case 245:
            return failure(Abort::BatchRollback,
                           "Conversion failed when converting the varchar value '%.*ls' to data type int.", {r.text});
        case 102: return failure(Abort::Compile, "Incorrect syntax near '%.*ls'.", {r.text});
        case 515:
            return failure(Abort::Statement,
                           "Cannot insert the value NULL into column '%.*ls', table '%.*ls'; column does not allow "
                           "nulls. INSERT fails.",
                           {r.text, state_.database + ".dbo." + table});
        case 2627:
            return failure(Abort::Statement,
                           "Violation of PRIMARY KEY constraint '%.*ls'. Cannot insert duplicate key in object "
                           "'%.*ls'. The duplicate key value is %ls.",
                           {"PK_" + table, "dbo." + table, "(" + r.text + ")"});
        case 8115:
            return failure(Abort::Statement, "Arithmetic overflow error converting %ls to data type %ls.",
                           {"expression", "int"});
        case 3701:
            return failure(Abort::Statement,
                           "Cannot drop the table '%.*ls', because it does not exist or you do not have permission.",
                           {Shown(st, r.text)});
        default:
            return failure(Abort::Statement, "The statement was refused by the test server (error %d).",
                           {std::to_string(r.number)});
        }
    }
    return std::nullopt;
}

std::string Executor::batch(std::string_view sql)
{
    start(kDone);
    const std::vector<Statement> statements = SplitBatch(sql);
    for (const Statement& st : statements) {
        if (const auto f = refusal(st); f && f->abort == Abort::Compile) {
            fail(*f, 0);
            return finish();
        }
    }
    for (std::size_t i = 0; i < statements.size() && !aborted_;)
        i = step(statements, i, true);
    return finish();
}

// Runs (or, with run false, passes over) the statement or block at i; returns
// the index after it. IF runs the statement or block after it when its
// condition holds, and ELSE the one after that otherwise.
std::size_t Executor::step(const std::vector<Statement>& statements, std::size_t i, bool run)
{
    const std::size_t n = statements.size();
    const Statement& st = statements[i];
    switch (st.kind) {
    case StatementKind::BlockBegin: {
        std::size_t j = i + 1;
        while (j < n && statements[j].kind != StatementKind::BlockEnd && !aborted_)
            j = step(statements, j, run && !st.skippedBlock);
        return j < n ? j + 1 : n;
    }
    case StatementKind::If: {
        const bool holds = run && condition(st.condition);
        std::size_t j = i + 1 < n ? step(statements, i + 1, holds) : n;
        if (j < n && statements[j].kind == StatementKind::Else && !aborted_)
            j = j + 1 < n ? step(statements, j + 1, run && !holds) : n;
        return j;
    }
    case StatementKind::Else:
    case StatementKind::BlockEnd:
        return i + 1;  // without their IF or BEGIN: nothing to do
    default:
        if (run)
            execute(st);
        return i + 1;
    }
}

void Executor::execute(const Statement& st)
{
    if (const auto f = refusal(st)) {
        fail(*f, CommandOf(st));
        return;
    }
    switch (st.kind) {
    case StatementKind::Insert:
        if (Squeezed(st.text).rfind("INSERTBULK", 0) == 0) {
            // INSERT BULK [T] (...): the bulk-load message that follows holds the rows.
            const std::size_t open = st.text.find('[');
            state_.bulkTable = st.text.substr(open + 1, st.text.find(']', open) - open - 1);
            done(0, 0, 0);
            return;
        }
        if (!st.objects.empty() && !server_.catalog.exists(st.objects.front().table)) {
            fail({208, 16, 1, Format("Invalid object name '%.*ls'.", {st.objects.front().shown}), Abort::Scope},
                 kCmdInsert);
            return;
        }
        implicitBegin();
        if (state_.trancount > 0)
            state_.insertedRows[st.objects.front().table] += static_cast<std::int64_t>(st.rows);
        else
            server_.catalog.addRows(st.objects.front().table, static_cast<std::int64_t>(st.rows));
        if (server_.options.recordStored) {
            if (state_.trancount > 0)
                state_.inserted.push_back({st.text, {}, {}});
            else
                server_.recorder.stored(st.text);
        }
        done(countStatus(), kCmdInsert, st.rows);
        return;
    case StatementKind::CreateTable:
    case StatementKind::DropTable:
        executeDdl(st);
        return;
    case StatementKind::BeginTransaction:
    case StatementKind::Commit:
    case StatementKind::Rollback:
    case StatementKind::Save:
        executeTransaction(st);
        return;
    case StatementKind::SetOption:
        if (st.option == "IMPLICIT_TRANSACTIONS")
            state_.implicitTransactions = st.on;
        else if (st.option == "XACT_ABORT")
            state_.xactAbort = st.on;
        else if (st.option == "NOCOUNT")
            state_.nocount = st.on;
        else if (st.option == "FMTONLY")
            state_.fmtonly = st.on;
        done(0, 0, 0);
        return;
    case StatementKind::Exec:
        callProcedure(st.procedure, {});
        return;
    case StatementKind::Select:
        select(st);
        return;
    case StatementKind::Update:
    case StatementKind::Delete:
        implicitBegin();
        done(countStatus(), CommandOf(st), 0);
        return;
    default:
        done(0, 0, 0);
        return;
    }
}

void Executor::executeDdl(const Statement& st)
{
    implicitBegin();
    if (st.kind == StatementKind::CreateTable) {
        if (!st.objects.empty()) {
            if (!server_.catalog.create(st.objects.front().table, ColumnsOfCreate(st.text))) {
                fail({2714, 16, 6,
                      Format("There is already an object named '%.*ls' in the database.", {st.objects.front().shown}),
                      Abort::Statement},
                     0);
                return;
            }
            created(st.objects.front().table);
        }
        done(0, 0, 0);
        return;
    }
    for (const ObjectName& name : st.objects) {
        if (server_.catalog.drop(name.table)) {
            dropped(name.table);
        } else if (!st.ifExists) {
            fail({3701, 11, 5,
                  Format("Cannot drop the table '%.*ls', because it does not exist or you do not have permission.",
                         {name.shown}),
                  Abort::Statement},
                 0);
            return;
        }
    }
    done(0, 0, 0);
}

void Executor::executeTransaction(const Statement& st)
{
    if (st.kind != StatementKind::BeginTransaction && state_.trancount == 0) {
        // COMMIT, ROLLBACK or SAVE without a transaction.
        const std::string request = st.kind == StatementKind::Commit ? "COMMIT" : "ROLLBACK";
        fail(st.kind == StatementKind::Save
                 ? Failure{628, 16, 0, "Cannot issue SAVE TRANSACTION when there is no active transaction.",
                           Abort::Statement}
                 : Failure{st.kind == StatementKind::Commit ? 3902u : 3903u, 16, 1,
                           "The " + request + " TRANSACTION request has no corresponding BEGIN TRANSACTION.",
                           Abort::Statement},
             0);
        return;
    }
    if (st.kind == StatementKind::BeginTransaction)
        begin();
    else if (st.kind == StatementKind::Commit)
        commitOne();
    else if (st.kind == StatementKind::Rollback)
        rollbackAll();
    done(0, 0, 0);
}

// SELECT of one value that needs no table; any other SELECT gets no rows.
void Executor::select(const Statement& st)
{
    const std::string what = Squeezed(std::string_view(st.text).substr(6));
    const bool number = !what.empty() && what.size() <= 9 && std::all_of(what.begin(), what.end(), ::isdigit);
    if (what == "@@TRANCOUNT" || what == "@@SPID" || number) {
        const std::int32_t value = what == "@@TRANCOUNT" ? state_.trancount
            : what == "@@SPID"                          ? state_.spid
                                                        : static_cast<std::int32_t>(std::stol(what));
        PutIntResult(out_, value, state_.tds72);
        done(countStatus(), kCmdSelect, 1);
        return;
    }
    if (what == "@@VERSION" || what == "DB_NAME()") {
        PutTextResult(out_, what == "DB_NAME()" ? state_.database : "Microsoft SQL Server 2019 (TDS test server)",
                      state_.tds72);
        done(countStatus(), kCmdSelect, 1);
        return;
    }
    if (what.rfind("COUNT_BIG(*)FROM", 0) == 0) {
        count(st);
        return;
    }
    if (what.rfind("*FROM[", 0) == 0) {
        // The columns of "select * from [T]" (no "]" in T), as the bulk copy asks
        // them with FMTONLY; without, as texts, and the rows bulk loads stored.
        const std::size_t open = st.text.find('[');
        const std::string table = st.text.substr(open + 1, st.text.find(']', open) - open - 1);
        if (const std::optional<std::vector<ColumnDef>> columns = server_.catalog.columns(table)) {
            std::vector<TextColumn> texts;
            for (const ColumnDef& c : *columns)
                texts.push_back({c.name, true, 8000});
            const auto rows = state_.fmtonly ? std::vector<StoredValues>{} : server_.catalog.keptRows(table);
            state_.fmtonly ? PutTableColumns(out_, table, *columns, state_.tds72) : PutColumns(out_, texts, state_.tds72);
            for (const StoredValues& row : rows)
                PutTextRow(out_, texts, row);
            done(countStatus(), kCmdSelect, rows.size());
            return;
        }
    }
    if (what.find("FROM") != std::string::npos)
        implicitBegin();
    done(countStatus(), kCmdSelect, 0);
}

// SELECT COUNT_BIG(*) FROM [T]: the rows stored in a table it created; and
// SELECT COUNT_BIG(*) FROM sys.tables WHERE name = N'T': whether it has one.
void Executor::count(const Statement& st)
{
    const std::string& text = st.text;
    const std::size_t from = Squeezed(text).find("FROMSYS.TABLES") != std::string::npos ? text.find("N'") : text.find('[');
    const char close = text[from] == '[' ? ']' : '\'';
    std::string name;
    for (std::size_t i = from + (close == ']' ? 1 : 2); i < text.size(); ++i) {
        if (text[i] == close && (i + 1 >= text.size() || text[i + 1] != close))
            break;
        if (text[i] == close)
            ++i;  // a doubled quote or bracket stands for one
        name += text[i];
    }
    implicitBegin();
    const std::optional<std::int64_t> rows = server_.catalog.rows(name);
    if (close == '\'') {
        PutIntResult(out_, rows ? 1 : 0, state_.tds72);
    } else if (!rows) {
        fail({208, 16, 1, Format("Invalid object name '%.*ls'.", {name}), Abort::Scope}, kCmdSelect);
        return;
    } else {
        PutIntResult(out_, static_cast<std::int32_t>(*rows), state_.tds72);
    }
    done(countStatus(), kCmdSelect, 1);
}

bool Executor::condition(const std::string& text) const
{
    const std::string c = Squeezed(text);
    if (c.rfind("OBJECT_ID(", 0) == 0) {
        const std::size_t open = text.find('\'');
        const std::size_t close = open == std::string::npos ? open : text.find('\'', open + 1);
        if (close == std::string::npos)
            return false;
        std::string name = text.substr(open + 1, close - open - 1);
        name.erase(std::remove_if(name.begin(), name.end(), [](char ch) { return ch == '[' || ch == ']'; }),
                   name.end());
        if (const std::size_t dot = name.rfind('.'); dot != std::string::npos)
            name = name.substr(dot + 1);
        const bool exists = server_.catalog.exists(name);
        if (c.size() >= 9 && c.compare(c.size() - 9, 9, "ISNOTNULL") == 0)
            return exists;
        return c.size() >= 6 && c.compare(c.size() - 6, 6, "ISNULL") == 0 && !exists;
    }
    auto value = [&](const std::string& term, long& v) {
        if (term == "@@TRANCOUNT") {
            v = state_.trancount;
            return true;
        }
        if (term.empty() || term.size() > 9 || !std::all_of(term.begin(), term.end(), ::isdigit))
            return false;
        v = std::stol(term);
        return true;
    };
    for (std::string_view op : {">=", "<=", "<>", "!=", "=", ">", "<"}) {
        const std::size_t at = c.find(op);
        if (at == std::string::npos)
            continue;
        long a = 0;
        long b = 0;
        if (!value(c.substr(0, at), a) || !value(c.substr(at + op.size()), b))
            return false;
        if (op == ">=") return a >= b;
        if (op == "<=") return a <= b;
        if (op == "<>" || op == "!=") return a != b;
        if (op == "=") return a == b;
        if (op == ">") return a > b;
        return a < b;
    }
    return false;
}

}  // namespace tdstest

namespace tdstest {

// The rows of a bulk-load message, stored all together or, where a value holds
// a text that --refuse names, none: the server refuses the batch, as SQL Server
// rolls back a batch it refuses.
std::string Executor::bulkLoad(std::string_view body)
{
    start(kDone);
    const std::string table = state_.bulkTable;
    const std::vector<StoredValues> rows =
        ReadBulkRows(body, server_.catalog.columns(table).value_or(std::vector<ColumnDef>{}), state_.tds72);
    Statement value;
    value.kind = StatementKind::Insert;
    value.objects = {{table, table}};
    for (const StoredValues& row : rows) {
        for (const std::optional<std::string>& v : row) {
            value.text = v.value_or("");
            if (const auto f = refusal(value)) {
                fail(*f, kCmdInsert);
                return finish();
            }
        }
    }
    if (!server_.catalog.exists(table)) {
        fail({208, 16, 1, Format("Invalid object name '%.*ls'.", {table}), Abort::Scope}, kCmdInsert);
        return finish();
    }
    implicitBegin();
    storeRows(table, rows);
    done(countStatus(), kCmdInsert, rows.size());
    return finish();
}

void Executor::storeRows(const std::string& table, const std::vector<StoredValues>& rows)
{
    const auto count = static_cast<std::int64_t>(rows.size());
    if (state_.trancount > 0)
        state_.insertedRows[table] += count;
    else
        server_.catalog.addRows(table, count);
    for (const StoredValues& row : rows) {
        if (!server_.options.recordStored)
            break;
        if (state_.trancount > 0) {
            state_.inserted.push_back({"", table, row});
        } else {
            server_.recorder.storedRow(table, row);
            server_.catalog.keepRow(table, row);
        }
    }
}

}  // namespace tdstest
