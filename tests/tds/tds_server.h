// What the connections of one test server share: its options, the record of
// every request, and the tables created (and not dropped) in its life.
#pragma once

#include "tests/tds/tds_bulk.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tdstest {

struct Refusal {
    std::string text;  // a statement holding this text is refused
    int number = 0;    // with this error number
};

struct Stall {
    std::string text;  // a batch holding this text
    int ms = 0;        // is answered after this long
};

struct Options {
    int port = -1;  // 0: the system picks one
    std::string record;
    int delayMs = 0;
    std::vector<Refusal> refusals;
    std::vector<Stall> stalls;
    bool refuseLogin = false;
    std::optional<std::string> password;  // the login records whether it sent this one
    int maxSeconds = 600;
    bool recordStored = false;  // INSERTs recorded as they become stored, at their commit
    bool nocount = false;       // every session starts with NOCOUNT ON (the server's 'user options' say so)
};

// One JSON object per line and request, written and flushed before the request
// is answered, so that the line is there once the client has its answer.
class Recorder {
public:
    explicit Recorder(const std::string& path);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // passwordOk: whether the login's password is the one --password names, when one is named.
    void login(std::u16string_view user, std::u16string_view database, std::optional<bool> passwordOk);
    void batch(std::u16string_view text);
    void rpc(std::u16string_view name, std::u16string_view params);
    void transaction(std::string_view op);
    void attention();
    void stored(std::string_view statement);
    // A row of a bulk load stored for good: {"kind":"stored","table":...,"values":[...]}.
    void storedRow(std::string_view table, const StoredValues& values);

private:
    struct Field {
        std::string_view key;
        std::u16string_view value;
    };
    // flags: fields with a JSON value of their own, written as they are (",\"key\":true").
    void write(std::string_view kind, std::initializer_list<Field> fields, std::string_view flags = {});

    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::uint64_t count_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A JSON string of UTF-16 text: UTF-8 as it is, a lone surrogate as \uXXXX.
std::string JsonString(std::u16string_view text);

// A name as Latin1_General_CI_AS compares it: without case.
std::string FoldCase(std::string_view name);

// Table names compared without case.
class Catalog {
public:
    bool exists(const std::string& table) const;
    bool create(const std::string& table, std::vector<ColumnDef> columns = {});  // false when it exists
    // A table's columns as created; none for a table that does not exist.
    std::optional<std::vector<ColumnDef>> columns(const std::string& table) const;
    bool drop(const std::string& table);    // false when it does not
    std::vector<std::string> tables() const;  // as created, in name order
    // The rows stored for good in a table, as COUNT_BIG(*) answers; none for a table that does not exist.
    std::optional<std::int64_t> rows(const std::string& table) const;
    void addRows(const std::string& table, std::int64_t rows);
    // With --record-stored, the rows of bulk loads stored for good, which "SELECT * FROM [T]" answers.
    void keepRow(const std::string& table, const StoredValues& row);
    std::vector<StoredValues> keptRows(const std::string& table) const;

private:
    struct Table {
        std::string name;  // as created
        std::int64_t rows = 0;
        std::vector<ColumnDef> columns;
        std::vector<StoredValues> kept;
    };
    mutable std::mutex mutex_;
    std::map<std::string, Table> tables_;  // key: the name folded
};

struct Server {
    Options options;
    Recorder recorder;
    Catalog catalog;
    std::atomic<std::uint64_t> nextTransaction{1};
    std::atomic<std::uint64_t> received{0};  // bytes from every client, told at the end

    explicit Server(Options o) : options(std::move(o)), recorder(options.record) {}
};

}  // namespace tdstest
