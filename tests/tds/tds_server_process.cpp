// Starting and ending the test server; reading its record back.
#include "tests/tds/tds_server_process.h"

#include "platform/odbc/driver_registry.h"
#include "tests/tds/tds_wire.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace testsupport {

namespace {

// A flat JSON object of strings and numbers, as the server writes its lines.
class FlatJson {
public:
    explicit FlatJson(const std::string& s) : s_(s) {}

    // The line's one array, if any, goes to `values`: texts and nulls.
    std::map<std::string, std::string> object(std::vector<std::optional<std::string>>& values)
    {
        std::map<std::string, std::string> fields;
        expect('{');
        while (peek() != '}') {
            const std::string key = string();
            expect(':');
            if (peek() == '[')
                values = array();
            else
                fields[key] = peek() == '"' ? string() : number();
            if (peek() == ',')
                ++i_;
        }
        expect('}');
        return fields;
    }

private:
    std::vector<std::optional<std::string>> array()
    {
        std::vector<std::optional<std::string>> items;
        expect('[');
        while (peek() != ']') {
            if (peek() == 'n') {
                i_ += 4;  // null
                items.emplace_back();
            } else {
                items.emplace_back(string());
            }
            if (peek() == ',')
                ++i_;
        }
        expect(']');
        return items;
    }
    char peek() const
    {
        if (i_ >= s_.size())
            throw std::runtime_error("record line ends early: " + s_);
        return s_[i_];
    }
    void expect(char c)
    {
        if (peek() != c)
            throw std::runtime_error(std::string("record line lacks '") + c + "': " + s_);
        ++i_;
    }
    std::string number()
    {
        const std::size_t start = i_;
        while (i_ < s_.size() && s_[i_] != ',' && s_[i_] != '}')
            ++i_;
        return s_.substr(start, i_ - start);
    }
    unsigned hex4()
    {
        if (i_ + 4 > s_.size())
            throw std::runtime_error("a \\u escape ends early: " + s_);
        const unsigned v = static_cast<unsigned>(std::stoul(s_.substr(i_, 4), nullptr, 16));
        i_ += 4;
        return v;
    }
    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            const char c = peek();
            ++i_;
            if (c == '"')
                return out;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            const char e = peek();
            ++i_;
            switch (e) {
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'u': {
                std::u16string units(1, static_cast<char16_t>(hex4()));
                if (units[0] >= 0xD800 && units[0] <= 0xDBFF && s_.compare(i_, 2, "\\u") == 0) {
                    i_ += 2;
                    units.push_back(static_cast<char16_t>(hex4()));
                }
                out += tdstest::Utf8(units);
                break;
            }
            default: out.push_back(e); break;
            }
        }
    }

    const std::string& s_;
    std::size_t i_ = 0;
};

}  // namespace

std::optional<std::string> FreeTdsMissing()
{
    if (platform::odbc::SystemDriverRegistry().freeTdsLibrary().empty())
        return "the FreeTDS ODBC driver (tdsodbc) is not installed";
    if (!paradoxTestdata())
        return kNoTestdata;
    return std::nullopt;
}

TdsRecord ParseTdsRecord(const std::string& line)
{
    TdsRecord r;
    auto fields = FlatJson(line).object(r.values);
    r.n = std::stol(fields["n"]);
    r.kind = fields["kind"];
    r.text = fields["text"];
    r.op = fields["op"];
    r.user = fields["user"];
    if (fields.count("password_ok"))
        r.passwordOk = fields["password_ok"] == "true";
    r.database = fields["database"];
    r.name = fields["name"];
    r.params = fields["params"];
    r.table = fields["table"];
    return r;
}

TdsTestServer::TdsTestServer(const std::vector<std::string>& options)
{
    std::vector<std::string> args{DOVENMARK_TDS_TEST_SERVER, "--port", "0", "--record", (dir_ / "record.jsonl").string(),
                                  "--max-seconds", "600"};
    args.insert(args.end(), options.begin(), options.end());
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for the test server");
    pid_ = ::fork();
    if (pid_ == 0) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::dup2(pipe[1], STDOUT_FILENO);
        const int err = ::open((dir_ / "server.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    output_ = pipe[0];
    // "127.0.0.1:PORT" once it listens.
    std::string line;
    pollfd p{output_, POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 20000) > 0) {
        char buffer[64];
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t colon = line.find(':');
    if (pid_ < 0 || colon == std::string::npos || line.rfind("127.0.0.1:", 0) != 0) {
        stop();
        std::ifstream errors(dir_ / "server.err");
        const std::string said((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
        throw std::runtime_error("the TDS test server did not start: " + line + said);
    }
    port_ = std::stoi(line.substr(colon + 1));
}

TdsTestServer::~TdsTestServer()
{
    stop();
}

void TdsTestServer::stop(int signal)
{
    if (pid_ > 0) {
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (output_ >= 0)
        ::close(output_);
    output_ = -1;
}

std::string TdsTestServer::connectionText(const std::string& database) const
{
    return "Driver={SQL Server};Server=127.0.0.1," + std::to_string(port_) + ";Database=" + database
        + ";Uid=sa;Pwd=secret;";
}

std::vector<TdsRecord> TdsTestServer::records() const
{
    std::ifstream in(dir_ / "record.jsonl", std::ios::binary);
    std::vector<TdsRecord> records;
    for (std::string line; std::getline(in, line);)
        records.push_back(ParseTdsRecord(line));
    return records;
}

std::vector<std::string> TdsTestServer::textsOf(const std::string& kind) const
{
    std::vector<std::string> texts;
    for (TdsRecord& r : records()) {
        if (r.kind == kind && !(kind == "batch" && (r.text.starts_with(kCountQuery) || r.text == kSessionSetting)))
            texts.push_back(std::move(r.text));
    }
    return texts;
}

// The constants of "INSERT INTO [T]... VALUES(...)" as SQL Server stores them.
std::vector<std::optional<std::string>> InsertedRow(const std::string& insert)
{
    std::vector<std::optional<std::string>> row{insert.substr(insert.find('[') + 1, insert.find(']') - insert.find('[') - 1)};
    for (std::size_t at = insert.find(" VALUES(") + 8; at < insert.size() && insert[at] != ')';) {
        if (insert.compare(at, 4, "NULL") == 0) {
            row.emplace_back();
            at += 4;
        } else if (insert[at] == '\'' || insert.compare(at, 2, "N'") == 0) {
            std::string text;
            for (at = insert.find('\'', at) + 1; !(insert[at] == '\'' && insert[at + 1] != '\''); ++at) {
                const bool continued = insert.compare(at, 2, "\\\n") == 0 || insert.compare(at, 3, "\\\r\n") == 0;
                if (continued) {
                    at += insert[at + 1] == '\r' ? 2 : 1;  // SQL Server drops both
                } else {
                    text += insert[at];
                    at += insert[at] == '\'' ? 1 : 0;  // a quote doubled
                }
            }
            row.emplace_back(text);
            ++at;
        } else {
            const std::size_t end = insert.find_first_of(",)", at);
            row.emplace_back(insert.substr(at, end - at));
            at = end;
        }
        at = insert.find_first_not_of(", ", at);
    }
    return row;
}

std::vector<std::vector<std::optional<std::string>>> TdsTestServer::storedRows() const
{
    std::vector<std::vector<std::optional<std::string>>> rows;
    for (TdsRecord& r : records()) {
        if (r.kind == "stored" && r.table.empty())
            rows.push_back(InsertedRow(r.text));
        else if (r.kind == "stored")
            rows.emplace_back(std::move(r.values)).insert(rows.back().begin(), r.table);
    }
    return rows;
}

std::vector<std::string> TdsTestServer::statements() const
{
    std::vector<std::string> texts;
    for (const std::string& batch : batches()) {
        char closing = 0;  // the quote or bracket that is open
        std::size_t start = 0;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const char c = batch[i];
            if (closing) {
                if (c == closing && i + 1 < batch.size() && batch[i + 1] == closing)
                    ++i;  // '' or ]] stays inside
                else if (c == closing)
                    closing = 0;
            } else if (c == '\'' || c == '"' || c == '[') {
                closing = c == '[' ? ']' : c;
            } else if (c == '\n') {
                texts.push_back(batch.substr(start, i - start));
                start = i + 1;
            }
        }
        texts.push_back(batch.substr(start));
    }
    return texts;
}

}  // namespace testsupport
