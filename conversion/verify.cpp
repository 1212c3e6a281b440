// Reading a table on both sides, hashing its records and rows, and matching
// them: a first pass compares the multisets; only where rows are left that are
// no record does a second pass read both sides again, to pair them with the
// missing records by the table's key and to describe them.
#include "conversion/verify.h"

#include "conversion/sql_text.h"
#include "conversion/verify_values.h"
#include "core/unicode_case.h"
#include "platform/event_loop.h"
#include "platform/server_connection.h"
#include "platform/source_connection.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace conversion {

namespace {

constexpr std::size_t kExamples = 3;
// Missing records whose values are kept in the second pass, so that the
// columns in which their rows differ can be named.
constexpr std::size_t kDetailed = 16;
// What a header may promise before room is made for its records in advance.
constexpr std::int64_t kMostReserved = std::int64_t{1} << 26;

using Hashes = std::vector<std::uint64_t>;

// Why a table cannot be compared.
class Incomparable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The column type the run gives a field, as SQL Server spells it.
std::string ColumnTypeOf(ColumnTypes types, std::int16_t code, const FieldShape& shape)
{
    if (types == ColumnTypes::SqlServer)
        return SqlServerColumn(code, shape).type;
    return std::string(ClassifyCode(code).sqlType);
}

// The Paradox table as the run writes it: each record's insert statement,
// read back constant by constant, every value hashed in its column's form.
class SourceSide {
public:
    SourceSide(const VerifyRoad& road, const VerifyTarget& target) : road_(road)
    {
        records_ = road.source.openRecordsetFrom(
            SourceQuery(target.paradoxName.empty() ? target.name : target.paradoxName), target.file);
        script_.start(target.name);
        script_.setKeyFieldCount(records_->keyFieldCount());
        const int fields = records_->fieldCount();
        for (int f = 0; f < fields; ++f) {
            const FieldShape shape{records_->fieldSize(f), records_->fieldScale(f), records_->fieldAutoIncrement(f)};
            script_.addField(f, records_->fieldName(f), records_->fieldType(f), shape, nullptr);
            comparisons_.push_back(ComparisonOf(ColumnTypeOf(road.options.columnTypes, records_->fieldType(f), shape),
                                                road.dialect));
        }
        script_.finishCreate();
        builder_ = std::make_unique<InsertBuilder>(script_, road.regional, road.events);
        builder_->setTransferBinary(road.options.transferBinary);
        prefix_ = InsertPrefix(script_).size();
    }

    int fields() const { return script_.fieldCount(); }
    const std::string& fieldName(int f) const { return script_.fieldName(f); }
    // The fields of the Paradox table's key, whatever the column types.
    int keyFields() const { return std::clamp(records_->keyFieldCount(), 0, fields()); }
    const std::vector<ColumnComparison>& comparisons() const { return comparisons_; }
    std::int64_t expected() const { return std::clamp<std::int64_t>(records_->recordCount(), 0, kMostReserved); }
    std::int64_t record() const { return record_; }

    // The next record's value hashes; false after the last record the run reads.
    bool next(Hashes& hashes)
    {
        platform::SourceRecordset& records = *records_;
        if (record_ < 0) {
            if (records.eof() || records.bof())
                return false;
        } else {
            try {
                records.moveNext();
            } catch (const std::exception&) {
                return false;  // the run stops at a record it cannot move past
            }
            if (records.eof())
                return false;
        }
        ++record_;
        builder_->begin();
        for (int f = 0; f < fields(); ++f) {
            if (!builder_->needsValue(f)) {
                builder_->add(f, paradox::Value::null());
                continue;
            }
            try {
                builder_->add(f, records.value(f));
            } catch (const std::exception&) {
                builder_->add(f, paradox::Value::null());  // as the run writes a value it cannot read
            }
        }
        ReadConstants(builder_->finish(), prefix_, road_.dialect, constants_);
        if (constants_.size() != comparisons_.size())
            throw std::logic_error("An insert statement holds " + std::to_string(constants_.size()) + " values for "
                                   + std::to_string(comparisons_.size()) + " fields.");
        hashes.resize(constants_.size());
        for (std::size_t f = 0; f < constants_.size(); ++f)
            hashes[f] = ValueHash(comparisons_[f], constants_[f].kind, constants_[f].value, scratch_);
        return true;
    }

private:
    const VerifyRoad& road_;
    std::unique_ptr<platform::SourceRecordset> records_;
    TableScript script_{road_.options.columnTypes, road_.dialect};
    std::unique_ptr<InsertBuilder> builder_;
    std::size_t prefix_ = 0;
    std::vector<ColumnComparison> comparisons_;
    std::vector<Constant> constants_;
    std::string scratch_;
    std::int64_t record_ = -1;
};

// The first characters of a text, cut between characters.
std::string Beginning(std::string_view text)
{
    constexpr std::size_t kShown = 24;
    if (text.size() <= kShown)
        return std::string(text);
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(text.substr(0, cut)) + "...";
}

// The server's table, row by row, every value hashed in its column's form.
class ServerSide {
public:
    ServerSide(const VerifyRoad& road, const VerifyTarget& target, const SourceSide& source)
        : road_(road), comparisons_(source.comparisons())
    {
        try {
            rows_ = road.server.query("SELECT * FROM " + QuotedName(road.dialect, target.name));
        } catch (const platform::ServerError& e) {
            throw Incomparable("the server cannot read it: " + e.driverText());
        }
        if (rows_->columnCount() != source.fields())
            throw Incomparable("the server's table has " + std::to_string(rows_->columnCount())
                               + " columns, the Paradox table " + std::to_string(source.fields()) + " fields");
        for (int c = 0; c < source.fields(); ++c) {
            if (!core::EqualsIgnoringCase(rows_->columnName(c), source.fieldName(c)))
                throw Incomparable("column " + std::to_string(c + 1) + " is " + rows_->columnName(c)
                                   + " on the server, the field " + source.fieldName(c) + " in the Paradox table");
        }
    }

    bool next(Hashes& hashes)
    {
        road_.events.yield();
        if (!rows_->next())
            return false;
        hashes.resize(comparisons_.size());
        for (std::size_t c = 0; c < comparisons_.size(); ++c) {
            const platform::ServerValue v = rows_->value(static_cast<int>(c));
            hashes[c] = ValueHash(comparisons_[c], v.kind, v.data, scratch_);
        }
        return true;
    }

    // The current row's first values, shortly: 7, 'Item 7', NULL.
    std::string describe() const
    {
        std::string text;
        const int shown = std::min(rows_->columnCount(), 3);
        for (int c = 0; c < shown; ++c) {
            const platform::ServerValue v = rows_->value(c);
            text += c > 0 ? ", " : "";
            if (v.kind == ValueKind::Null)
                text += "NULL";
            else if (v.kind == ValueKind::Bytes)
                text += std::to_string(v.data.size()) + " bytes";
            else if (comparisons_[static_cast<std::size_t>(c)].how == Comparison::Text)
                text += '\'' + Beginning(v.data) + '\'';
            else
                text += v.data;
        }
        return text + (rows_->columnCount() > shown ? ", ..." : "");
    }

private:
    const VerifyRoad& road_;
    const std::vector<ColumnComparison>& comparisons_;
    std::unique_ptr<platform::ServerRows> rows_;
    std::string scratch_;
};

// A record's hash and number in twelve bytes, so that a million of them take 12 MB.
struct Entry {
    std::uint32_t high, low, record;
    std::uint64_t hash() const { return std::uint64_t{high} << 32 | low; }
    bool operator<(const Entry& other) const
    {
        return std::tie(high, low, record) < std::tie(other.high, other.low, other.record);
    }
};

Entry EntryOf(std::uint64_t hash, std::int64_t record)
{
    if (record > std::numeric_limits<std::uint32_t>::max())
        throw Incomparable("it has more records than verify counts");
    return {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(hash),
            static_cast<std::uint32_t>(record)};
}

// What the multisets of records and rows left unmatched.
struct Tally {
    std::vector<std::uint32_t> missing;    // records without their row, ascending
    std::vector<std::uint64_t> strangers;  // rows that are no record, by hash, ascending
    std::int64_t copies = 0;               // rows that repeat a record more often than the table has it
    std::vector<std::uint32_t> copied;     // the first records so repeated
};

Tally Match(std::vector<Entry>& records, Hashes& rows)
{
    std::sort(records.begin(), records.end());
    std::sort(rows.begin(), rows.end());
    Tally t;
    std::size_t i = 0, j = 0;
    while (i < records.size() || j < rows.size()) {
        const std::uint64_t h = i < records.size() ? records[i].hash() : std::numeric_limits<std::uint64_t>::max();
        const std::uint64_t r = j < rows.size() ? rows[j] : std::numeric_limits<std::uint64_t>::max();
        if (i < records.size() && (j == rows.size() || h < r)) {
            t.missing.push_back(records[i++].record);
        } else if (j < rows.size() && (i == records.size() || r < h)) {
            t.strangers.push_back(rows[j++]);
        } else {
            std::size_t s = i, v = j;
            while (s < records.size() && records[s].hash() == h)
                ++s;
            while (v < rows.size() && rows[v] == h)
                ++v;
            const std::size_t haveRecords = s - i, haveRows = v - j;
            for (std::size_t k = i + std::min(haveRecords, haveRows); k < s; ++k)
                t.missing.push_back(records[k].record);
            if (haveRows > haveRecords) {
                t.copies += static_cast<std::int64_t>(haveRows - haveRecords);
                t.copied.push_back(records[i].record);
            }
            i = s;
            j = v;
        }
    }
    std::sort(t.missing.begin(), t.missing.end());
    std::sort(t.copied.begin(), t.copied.end());
    return t;
}

// Both sides read once, the server's first: the multisets matched. Where only
// the first records count, as many as the server has rows are read.
Tally FirstPass(const VerifyRoad& road, const VerifyTarget& target, TableVerdict& verdict, bool firstRecordsOnly)
{
    SourceSide source(road, target);
    Hashes rows;
    Hashes hashes;
    {
        ServerSide server(road, target, source);
        rows.reserve(static_cast<std::size_t>(source.expected()));
        while (server.next(hashes))
            rows.push_back(RowHash(hashes.data(), hashes.size()));
    }
    verdict.rows = static_cast<std::int64_t>(rows.size());
    const std::int64_t limit = firstRecordsOnly ? verdict.rows : std::numeric_limits<std::int64_t>::max();
    std::vector<Entry> records;
    records.reserve(static_cast<std::size_t>(std::min(source.expected(), limit)));
    while (verdict.records < limit && source.next(hashes))
        records.push_back(EntryOf(RowHash(hashes.data(), hashes.size()), verdict.records++));
    return Match(records, rows);
}

// The second pass: rows that are no record paired with missing records of the
// same key (each pair one differing record), and those left described.
class Pairing {
public:
    Pairing(const VerifyRoad& road, const VerifyTarget& target, Tally& tally, TableVerdict& verdict)
        : road_(road), target_(target), tally_(tally), verdict_(verdict)
    {
    }

    void run()
    {
        SourceSide source(road_, target_);
        keyFields_ = source.keyFields();
        const bool keyed = keyFields_ > 0 && !tally_.missing.empty();
        if (keyed)
            readMissing(source);
        readStrangers(source);
        if (keyed)
            pair(source);
    }

    std::vector<std::uint32_t> paired;
    std::vector<std::string> descriptions;

private:
    struct KeyEntry {
        std::uint64_t key;
        std::uint32_t record;
        bool operator<(const KeyEntry& o) const { return std::tie(key, record) < std::tie(o.key, o.record); }
    };

    void readMissing(SourceSide& source)
    {
        Hashes hashes;
        std::size_t next = 0;
        while (next < tally_.missing.size() && source.next(hashes)) {
            if (source.record() != tally_.missing[next])
                continue;
            missingKeys_.push_back({RowHash(hashes.data(), static_cast<std::size_t>(keyFields_)), tally_.missing[next]});
            if (detailed_.size() < kDetailed)
                detailed_.emplace_back(missingKeys_.back(), hashes);
            ++next;
        }
        std::sort(missingKeys_.begin(), missingKeys_.end());
    }

    bool keyMissing(std::uint64_t key) const
    {
        const auto at = std::lower_bound(missingKeys_.begin(), missingKeys_.end(), KeyEntry{key, 0});
        return at != missingKeys_.end() && at->key == key;
    }

    void readStrangers(const SourceSide& source)
    {
        ServerSide server(road_, target_, source);
        Hashes hashes;
        while (server.next(hashes)) {
            if (!std::binary_search(tally_.strangers.begin(), tally_.strangers.end(),
                                    RowHash(hashes.data(), hashes.size())))
                continue;
            const std::uint64_t key = RowHash(hashes.data(), static_cast<std::size_t>(keyFields_));
            const bool candidate = !missingKeys_.empty() && keyMissing(key);
            if (candidate) {
                strangerKeys_.push_back(key);
                const bool wanted = std::any_of(detailed_.begin(), detailed_.end(),
                                                [key](const auto& d) { return d.first.key == key; });
                if (wanted && strangerDetails_.size() < 4 * kDetailed)
                    strangerDetails_.emplace_back(key, hashes);
            } else if (descriptions.size() < kExamples) {
                descriptions.push_back(server.describe());
            }
        }
        std::sort(strangerKeys_.begin(), strangerKeys_.end());
    }

    // Per key, as many missing records as there are rows of that key, lowest records first.
    void pair(const SourceSide& source)
    {
        std::size_t i = 0, j = 0;
        while (i < missingKeys_.size() && j < strangerKeys_.size()) {
            if (missingKeys_[i].key < strangerKeys_[j]) {
                ++i;
            } else if (strangerKeys_[j] < missingKeys_[i].key) {
                ++j;
            } else {
                paired.push_back(missingKeys_[i++].record);
                ++j;
            }
        }
        std::sort(paired.begin(), paired.end());
        for (std::size_t p = 0; p < paired.size() && verdict_.differingExamples.size() < kExamples; ++p)
            verdict_.differingExamples.push_back({paired[p], differingColumns(source, paired[p])});
    }

    // The columns in which the record's row differs, where both were kept.
    std::string differingColumns(const SourceSide& source, std::uint32_t record) const
    {
        const auto d = std::find_if(detailed_.begin(), detailed_.end(),
                                    [record](const auto& e) { return e.first.record == record; });
        if (d == detailed_.end())
            return {};
        const auto row = std::find_if(strangerDetails_.begin(), strangerDetails_.end(),
                                      [d](const auto& s) { return s.first == d->first.key; });
        if (row == strangerDetails_.end())
            return {};
        std::string columns;
        for (std::size_t c = 0; c < d->second.size(); ++c) {
            if (d->second[c] != row->second[c])
                columns += (columns.empty() ? "" : ", ") + source.fieldName(static_cast<int>(c));
        }
        return columns;
    }

    const VerifyRoad& road_;
    const VerifyTarget& target_;
    Tally& tally_;
    TableVerdict& verdict_;
    int keyFields_ = 0;
    std::vector<KeyEntry> missingKeys_;
    Hashes strangerKeys_;
    std::vector<std::pair<KeyEntry, Hashes>> detailed_;
    std::vector<std::pair<std::uint64_t, Hashes>> strangerDetails_;
};

void Conclude(Tally& tally, const Pairing* pairing, TableVerdict& verdict)
{
    std::vector<std::uint32_t> missing;
    if (pairing)
        std::set_difference(tally.missing.begin(), tally.missing.end(), pairing->paired.begin(),
                            pairing->paired.end(), std::back_inserter(missing));
    else
        missing = std::move(tally.missing);
    const std::int64_t paired = pairing ? static_cast<std::int64_t>(pairing->paired.size()) : 0;
    verdict.missing = static_cast<std::int64_t>(missing.size());
    verdict.differing = paired;
    verdict.extra = tally.copies + static_cast<std::int64_t>(tally.strangers.size()) - paired;
    for (std::size_t m = 0; m < missing.size() && m < kExamples; ++m)
        verdict.missingExamples.push_back({missing[m], {}});
    for (std::size_t c = 0; c < tally.copied.size() && verdict.extraExamples.size() < kExamples; ++c)
        verdict.extraExamples.push_back({tally.copied[c], "a copy"});
    if (pairing) {
        for (const std::string& d : pairing->descriptions) {
            if (verdict.extraExamples.size() < kExamples)
                verdict.extraExamples.push_back({-1, d});
        }
    }
}

std::string Counted(std::int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "2 missing (records 12, 40)", "1 extra (a copy of record 4; a row that is no record: 7, 'x')".
std::string Part(std::int64_t count, const char* what, const std::vector<VerifyExample>& examples)
{
    std::string text = std::to_string(count) + " " + what + " (";
    bool plain = true;
    for (const VerifyExample& e : examples)
        plain = plain && e.record >= 0 && e.detail.empty();
    for (std::size_t i = 0; i < examples.size(); ++i) {
        const VerifyExample& e = examples[i];
        if (plain) {
            text += i == 0 ? (examples.size() == 1 ? "record " : "records ") : ", ";
            text += std::to_string(e.record);
        } else if (e.record < 0) {
            text += (i == 0 ? "" : "; ") + std::string("a row that is no record: ") + e.detail;
        } else {
            text += (i == 0 ? "" : "; ") + (e.detail == "a copy" ? "a copy of record " + std::to_string(e.record)
                                            : "record " + std::to_string(e.record)
                                                + (e.detail.empty() ? "" : ": " + e.detail));
        }
    }
    const std::int64_t more = count - static_cast<std::int64_t>(examples.size());
    if (more > 0 && !examples.empty())
        text += " and " + std::to_string(more) + " more";
    return text + ")";
}

}  // namespace

TableVerdict VerifyTable(const VerifyRoad& road, const VerifyTarget& table)
{
    TableVerdict verdict;
    verdict.table = table.name;
    try {
        Tally tally = FirstPass(road, table, verdict, false);
        if (tally.strangers.empty()) {
            Conclude(tally, nullptr, verdict);
            return verdict;
        }
        // What a second reading of either side cannot do, the first one's counts still say.
        Pairing pairing(road, table, tally, verdict);
        try {
            pairing.run();
        } catch (const std::exception&) {
            pairing.paired.clear();
            verdict.differingExamples.clear();
        }
        Conclude(tally, &pairing, verdict);
    } catch (const std::exception& e) {
        verdict = TableVerdict{};
        verdict.table = table.name;
        verdict.problem = e.what();
    }
    return verdict;
}

std::string VerdictLine(const TableVerdict& v)
{
    const std::string name = v.table + ": ";
    if (!v.problem.empty())
        return name + "not compared: " + v.problem;
    if (v.equal())
        return name + "equal, " + Counted(v.rows, "row", "rows");
    std::string parts;
    const auto add = [&parts](std::int64_t count, const char* what, const std::vector<VerifyExample>& examples) {
        if (count > 0)
            parts += (parts.empty() ? "" : ", ") + Part(count, what, examples);
    };
    add(v.missing, "missing", v.missingExamples);
    add(v.extra, "extra", v.extraExamples);
    add(v.differing, "differing", v.differingExamples);
    return name + "not equal: " + parts + "; " + Counted(v.records, "record", "records") + ", "
        + Counted(v.rows, "row", "rows");
}

FirstRecordsCheck CheckFirstRecords(const VerifyRoad& road, const VerifyTarget& table)
{
    FirstRecordsCheck check;
    TableVerdict verdict;
    try {
        const Tally tally = FirstPass(road, table, verdict, true);
        check.rows = verdict.rows;
        const std::string rows = "the server's " + Counted(verdict.rows, "row is", "rows are") + " not the table's first "
            + Counted(verdict.rows, "record", "records") + ": ";
        if (verdict.records < verdict.rows)
            check.reason = rows + "it has only " + Counted(verdict.records, "record", "records");
        else if (!tally.missing.empty())
            check.reason = rows + "record " + std::to_string(tally.missing.front()) + " is not among them";
        else if (!tally.copied.empty())
            check.reason = rows + "record " + std::to_string(tally.copied.front()) + " is there more than once";
        else if (!tally.strangers.empty())
            check.reason = rows + "a row is none of them";
    } catch (const std::exception& e) {
        check.reason = e.what();
    }
    check.firstRecords = check.reason.empty();
    return check;
}

}  // namespace conversion
