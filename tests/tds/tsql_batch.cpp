// Cutting a batch into statements over a small T-SQL lexer: '...' with doubled
// quotes (N'...' too), [...] with "]]", "..." names, -- and nested /* */ comments.
#include "tests/tds/tsql_batch.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tdstest {

namespace {

struct Token {
    enum Type { Word, String, QuotedName, Punct } type;
    std::size_t begin;
    std::size_t end;
    std::string upper;  // Word: in capitals; String and QuotedName: the value; Punct: the character
};

bool IsWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@'
        || c == '#' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string Upper(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return out;
}

// Just past the quote that closes the one at `i` ("''" stays inside).
std::size_t QuoteEnd(std::string_view s, std::size_t i, char close)
{
    for (std::size_t at = i + 1; at < s.size(); ++at) {
        if (s[at] != close)
            continue;
        if (at + 1 < s.size() && s[at + 1] == close) {
            ++at;
            continue;
        }
        return at + 1;
    }
    return s.size();
}

std::size_t CommentEnd(std::string_view s, std::size_t i)
{
    if (s[i] == '-') {
        const std::size_t nl = s.find('\n', i);
        return nl == std::string_view::npos ? s.size() : nl + 1;
    }
    int depth = 0;
    for (std::size_t at = i; at + 1 < s.size(); ++at) {
        if (s[at] == '/' && s[at + 1] == '*') {
            ++depth;
            ++at;
        } else if (s[at] == '*' && s[at + 1] == '/') {
            ++at;
            if (--depth == 0)
                return at + 1;
        }
    }
    return s.size();
}

std::string Unquoted(std::string_view s, char close)
{
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close) {
                out.push_back(close);
                ++i;
                continue;
            }
            break;
        }
        out.push_back(s[i]);
    }
    return out;
}

std::vector<Token> Lex(std::string_view s)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (IsBlank(c)) {
            ++i;
        } else if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
            i = CommentEnd(s, i);
        } else if (c == '\'' || ((c == 'N' || c == 'n') && next == '\'')) {
            const std::size_t quote = c == '\'' ? i : i + 1;
            const std::size_t end = QuoteEnd(s, quote, '\'');
            tokens.push_back({Token::String, i, end, Unquoted(s.substr(quote, end - quote), '\'')});
            i = end;
        } else if (c == '[' || c == '"') {
            const char close = c == '[' ? ']' : '"';
            const std::size_t end = QuoteEnd(s, i, close);
            tokens.push_back({Token::QuotedName, i, end, Unquoted(s.substr(i, end - i), close)});
            i = end;
        } else if (IsWordChar(c)) {
            std::size_t end = i;
            while (end < s.size() && IsWordChar(s[end]))
                ++end;
            tokens.push_back({Token::Word, i, end, Upper(s.substr(i, end - i))});
            i = end;
        } else {
            tokens.push_back({Token::Punct, i, i + 1, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

constexpr std::array kStarts = {
    "ALTER", "BEGIN",  "BREAK",   "COMMIT",   "CONTINUE", "CREATE", "DECLARE", "DELETE", "DENY",
    "DROP",  "ELSE",   "END",     "EXEC",     "EXECUTE",  "GRANT",  "IF",      "INSERT", "MERGE",
    "PRINT", "RAISERROR", "RETURN", "REVOKE", "ROLLBACK", "SAVE",   "SELECT",  "SET",    "THROW",
    "TRUNCATE", "UPDATE", "USE",   "WAITFOR",  "WHILE",    "WITH",
};

bool OneOf(const std::string& word, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return word == w; });
}

// What is known of the statement being read while the batch is cut.
struct Current {
    std::vector<const Token*> words;  // its words, in order
    bool body = false;                 // INSERT: VALUES, SELECT or EXEC seen; UPDATE: SET seen; WITH: its verb seen
    int cases = 0;                     // open CASE ... END
    bool toTheEnd = false;             // CREATE PROCEDURE and the like: the rest of the batch

    const std::string& first() const { return words.front()->upper; }
    bool empty() const { return words.empty(); }
};

// True when `word` at parenthesis depth 0 starts a new statement.
bool StartsStatement(const Token& word, const Token* previous, Current& cur)
{
    const std::string& w = word.upper;
    if (w == "CASE")
        ++cur.cases;
    if (std::find_if(kStarts.begin(), kStarts.end(), [&](const char* s) { return w == s; }) == kStarts.end())
        return false;
    if (cur.empty())
        return true;
    if (cur.toTheEnd || OneOf(cur.first(), {"MERGE", "GRANT", "DENY", "REVOKE"}))
        return false;
    if ((w == "END" || w == "ELSE") && cur.cases > 0) {
        if (w == "END")
            --cur.cases;
        return false;
    }
    const std::string prev = previous && previous->type == Token::Word ? previous->upper : std::string();
    if (w == "SELECT" && OneOf(prev, {"UNION", "ALL", "EXCEPT", "INTERSECT"}))
        return false;
    if (prev == "FOR")
        return false;  // a cursor's SELECT, FOR UPDATE
    if (cur.first() == "INSERT" && !cur.body && OneOf(w, {"SELECT", "EXEC", "EXECUTE", "WITH"})) {
        cur.body = true;
        return false;
    }
    if (cur.first() == "UPDATE" && !cur.body && w == "SET") {
        cur.body = true;
        return false;
    }
    if (cur.first() == "WITH" && !cur.body && OneOf(w, {"SELECT", "INSERT", "UPDATE", "DELETE", "MERGE"})) {
        cur.body = true;
        return false;
    }
    if (cur.first() == "DROP" && w == "IF" && cur.words.size() == 2)
        return false;  // DROP TABLE IF EXISTS
    return true;
}

// The name that starts at tokens[i]: words and quoted names joined by ".".
bool ReadName(std::string_view sql, const std::vector<Token>& tokens, std::size_t& i, std::size_t end,
              ObjectName& name)
{
    std::vector<std::string> parts;
    while (i < end) {
        const Token& t = tokens[i];
        if (t.type == Token::QuotedName) {
            parts.push_back(t.upper);
        } else if (t.type == Token::Word) {
            parts.push_back(std::string(sql.substr(t.begin, t.end - t.begin)));
        } else if (t.type == Token::Punct && t.upper == "." && !parts.empty()) {
            ++i;
            continue;
        } else {
            break;
        }
        ++i;
        if (i >= end || tokens[i].type != Token::Punct || tokens[i].upper != ".")
            break;
    }
    if (parts.empty())
        return false;
    name.table = parts.back();
    for (std::size_t k = 0; k < parts.size(); ++k)
        name.shown += (k ? "." : "") + parts[k];
    return true;
}

class Classifier {
public:
    Classifier(std::string_view sql, const std::vector<Token>& tokens, std::size_t begin, std::size_t end)
        : sql_(sql), tokens_(tokens), begin_(begin), end_(end)
    {
    }

    Statement classify()
    {
        Statement st;
        st.text = std::string(Trimmed(sql_.substr(tokens_[begin_].begin, tokens_[end_ - 1].end - tokens_[begin_].begin)));
        const std::string first = word(0);
        const std::string second = word(1);
        // Statements known by their first word alone.
        static const std::pair<const char*, StatementKind> kByFirstWord[] = {
            {"COMMIT", StatementKind::Commit}, {"ROLLBACK", StatementKind::Rollback}, {"SAVE", StatementKind::Save},
            {"ELSE", StatementKind::Else},     {"END", StatementKind::BlockEnd},      {"SELECT", StatementKind::Select},
            {"UPDATE", StatementKind::Update}, {"DELETE", StatementKind::Delete}};
        for (const auto& [known, kind] : kByFirstWord) {
            if (first == known) {
                st.kind = kind;
                return st;
            }
        }
        if (first == "INSERT") {
            insert(st);
        } else if (first == "CREATE" && second == "TABLE") {
            st.kind = StatementKind::CreateTable;
            names(st, 2, false);
        } else if (first == "DROP" && second == "TABLE") {
            st.kind = StatementKind::DropTable;
            std::size_t at = 2;
            if (word(2) == "IF" && word(3) == "EXISTS") {
                st.ifExists = true;
                at = 4;
            }
            names(st, at, true);
        } else if (first == "BEGIN") {
            if (OneOf(second, {"TRAN", "TRANSACTION", "DISTRIBUTED"})) {
                st.kind = StatementKind::BeginTransaction;
            } else {
                st.kind = StatementKind::BlockBegin;
                st.skippedBlock = second == "CATCH";
            }
        } else if (first == "SET" && count() == 3 && tokens_[begin_ + 1].type == Token::Word
                   && OneOf(word(2), {"ON", "OFF"})) {
            st.kind = StatementKind::SetOption;
            st.option = second;
            st.on = word(2) == "ON";
        } else if (first == "IF") {
            st.kind = StatementKind::If;
            st.condition = std::string(Trimmed(st.text.substr(2)));
        } else if (first == "EXEC" || first == "EXECUTE") {
            st.kind = StatementKind::Exec;
            std::size_t at = begin_ + 1;
            ObjectName name;
            if (ReadName(sql_, tokens_, at, end_, name))
                st.procedure = name.table;
        }
        return st;
    }

private:
    static std::string_view Trimmed(std::string_view s)
    {
        while (!s.empty() && IsBlank(s.front()))
            s.remove_prefix(1);
        while (!s.empty() && IsBlank(s.back()))
            s.remove_suffix(1);
        return s;
    }
    std::size_t count() const { return end_ - begin_; }
    std::string word(std::size_t k) const
    {
        const std::size_t at = begin_ + k;
        return at < end_ && tokens_[at].type == Token::Word ? tokens_[at].upper : std::string();
    }

    void names(Statement& st, std::size_t from, bool list)
    {
        std::size_t at = begin_ + from;
        ObjectName name;
        while (ReadName(sql_, tokens_, at, end_, name)) {
            st.objects.push_back(name);
            name = {};
            if (!list || at >= end_ || tokens_[at].upper != ",")
                break;
            ++at;
        }
    }

    void insert(Statement& st)
    {
        st.kind = StatementKind::Insert;
        names(st, word(1) == "INTO" ? 2 : 1, false);
        // The rows of VALUES (...), (...): the parentheses opened at depth 0 after it.
        int depth = 0;
        bool values = false;
        for (std::size_t at = begin_; at < end_; ++at) {
            const Token& t = tokens_[at];
            if (t.type == Token::Word && depth == 0 && t.upper == "VALUES") {
                values = true;
                st.rows = at > begin_ && tokens_[at - 1].upper == "DEFAULT" ? 1 : 0;
            } else if (t.type == Token::Punct && t.upper == "(") {
                if (depth++ == 0 && values)
                    ++st.rows;
            } else if (t.type == Token::Punct && t.upper == ")") {
                depth = std::max(0, depth - 1);
            }
        }
    }

    std::string_view sql_;
    const std::vector<Token>& tokens_;
    std::size_t begin_;
    std::size_t end_;
};

}  // namespace

std::vector<Statement> SplitBatch(std::string_view sql)
{
    const std::vector<Token> tokens = Lex(sql);
    std::vector<Statement> statements;
    std::size_t start = 0;
    Current cur;
    int depth = 0;
    // The statement ends before tokens[end]; the next one starts at tokens[next].
    auto close = [&](std::size_t end, std::size_t next) {
        if (end > start)
            statements.push_back(Classifier(sql, tokens, start, end).classify());
        start = next;
        cur = {};
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.type == Token::Punct) {
            if (t.upper == "(") {
                ++depth;
            } else if (t.upper == ")") {
                depth = std::max(0, depth - 1);
            } else if (t.upper == ";" && depth == 0) {
                close(i, i + 1);
                continue;
            }
        } else if (t.type == Token::Word && depth == 0) {
            const Token* previous = i > start ? &tokens[i - 1] : nullptr;
            if (StartsStatement(t, previous, cur) && !cur.empty())
                close(i, i);
            cur.words.push_back(&t);
            if (cur.words.size() == 2 && OneOf(cur.first(), {"CREATE", "ALTER"})
                && OneOf(t.upper, {"PROC", "PROCEDURE", "FUNCTION", "TRIGGER", "VIEW"}))
                cur.toTheEnd = true;
        }
    }
    close(tokens.size(), tokens.size());
    return statements;
}

}  // namespace tdstest
