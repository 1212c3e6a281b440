// The records of one table: read, built into inserts and sent, or listed for the preview.
#include "conversion/table_reports.h"
#include "conversion/table_writer_parts.h"
#include "platform/event_loop.h"
#include "platform/source_connection.h"
#include "platform/stop_request.h"

namespace conversion::table_writing {

// The inserts, between the identity switch's ON and OFF where the table has an identity column.
void TableWriter::writeRecords(const TableScript& script, InsertBuilder& builder)
{
    bool hasRecords = false;
    if (!op_.step(316, [&] { hasRecords = !job_.records.eof() && !job_.records.bof(); }) || !hasRecords)
        return;
    // An identity column takes the values given only while it is asked to.
    const std::string identityOn = script.hasIdentity() ? IdentityInsert(script.dialect(), name_, true) : "";
    if (!identityOn.empty()) {
        written_.identityOff = IdentityInsert(script.dialect(), name_, false);
        statement(317, 317, identityOn, StatementBatch::Kind::Other);
    }
    convertRecords(builder, script.fieldCount());
    if (!written_.identityOff.empty())
        statement(419, 419, written_.identityOff, StatementBatch::Kind::Other);
}

void TableWriter::convertRecords(InsertBuilder& builder, int fields)
{
    platform::SourceRecordset& records = job_.records;
    std::int64_t n = 0;
    op_.step(318, [&] { n = records.recordCount(); });
    std::int64_t c = 0;
    if (!skipRecords(c))
        return;
    UnreadableValues unreadable(fields);
    if (direct()) {
        sendRecords(builder, fields, n, c, unreadable);
        return;
    }
    while (takeRecord(c, n)) {
        op_.step(328, [&] { builder.begin(); });
        addValues(builder, fields, unreadable, [this](int step, auto&& action) { return op_.step(step, action); });
        statement(406, kInsertStep, builder.finish(), StatementBatch::Kind::Insert, c - 1);
        if (rules_)
            rules_->endRecord();
        // A record the reader cannot move past ends the table: the loop stays bounded.
        if (!op_.step(418, [&] { records.moveNext(); }))
            break;
        bool more = false;
        if (!op_.step(420, [&] { more = !records.eof(); }) || !more)
            break;
    }
    reportMoreUnreadable(unreadable);
}

// The turn before record c + 1 of n: the yield, then the end of the table
// where the run is asked to stop or the connection is gone; otherwise the
// record is counted as read, and the progress shows it.
bool TableWriter::takeRecord(std::int64_t& c, std::int64_t n)
{
    op_.step(320, [&] { road_.events.yield(); });
    if (road_.stop && road_.stop->requested()) {
        result_.stopped = true;
        return false;
    }
    if (lost())
        return false;
    ++c;
    result_.recordsRead = c;
    op_.setRecord(c - 1);
    op_.step(326, [&] { form_.setProgressValue((static_cast<double>(c) + 1) / (static_cast<double>(n) + 1) * 100); });
    return true;
}

void TableWriter::reportMoreUnreadable(const UnreadableValues& unreadable)
{
    op_.setRecord(-1);
    for (std::size_t f = 0; f < unreadable.after.size(); ++f) {
        if (unreadable.after[f] > 0)
            op_.step(334, [&] { ReportMoreUnreadable(unreadable.after[f], job_.records.fieldName(static_cast<int>(f))); });
    }
}

// Direct mode: the records are read and built on the reading thread, and the
// run takes them one by one as it did reading them itself: the same yields,
// the same reports in the same places, the same calls.
void TableWriter::sendRecords(InsertBuilder& builder, int fields, std::int64_t n, std::int64_t c,
                              UnreadableValues& unreadable)
{
    ReadRecord before;  // what reading had found before the first record taken
    before.undecodable = job_.records.undecodableBytes();
    before.damage = job_.records.damage();
    bool ended = false;
    {
        ReadAhead ahead([&](ReadRecord& r) { readRecord(builder, fields, unreadable, r); },
                        2 * std::max<std::size_t>(road_.options.transactions.bytesPerCall, 1u << 16));
        const ReadRecord* taken = &before;
        while (takeRecord(c, n)) {
            const ReadRecord& r = ahead.next();
            taken = &r;
            ReplayReports(r, op_, road_.events);
            statement(406, kInsertStep, r.statement, StatementBatch::Kind::Insert, c - 1);
            if (r.failure)
                std::rethrow_exception(r.failure);
            for (const ReadRecord::Report& report : r.after)
                op_.step(report.step, [&] { std::rethrow_exception(report.error); });
            for (const int f : r.moreUnreadable)
                ++unreadable.after[static_cast<std::size_t>(f)];
            if ((ended = r.last))
                break;
        }
        if (!ended) {
            endedAt_.emplace();
            endedAt_->undecodable = taken->undecodable;
            endedAt_->damage = taken->damage;
        }
    }
    reportMoreUnreadable(unreadable);
}

// On the reading thread: one record's values and statement, the move past it,
// and what reading found, each failure kept for the run to report.
void TableWriter::readRecord(InsertBuilder& builder, int fields, UnreadableValues& unreadable, ReadRecord& r)
{
    platform::SourceRecordset& records = job_.records;
    readingYields_.count = 0;
    auto keep = [&](std::vector<ReadRecord::Report>& into, int step, auto&& action) {
        try {
            action();
            return true;
        } catch (...) {
            into.push_back({readingYields_.count, step, std::current_exception()});
            return false;
        }
    };
    bool built = false;
    try {
        keep(r.before, 328, [&] { builder.begin(); });
        addValues(builder, fields, unreadable, [&](int step, auto&& action) { return keep(r.before, step, action); },
                  &r.moreUnreadable);
        r.statement = builder.finish();
        built = true;
        if (rules_)
            rules_->endRecord();
        bool more = false;
        r.last = !keep(r.after, 418, [&] { records.moveNext(); }) || !keep(r.after, 420, [&] { more = !records.eof(); })
            || !more;
    } catch (...) {
        r.failure = std::current_exception();
        r.failedAfterStatement = built;
        r.last = true;
    }
    r.yields = readingYields_.count;
    r.undecodable = records.undecodableBytes();
    r.damage = records.damage();
}

// A table continued: the records the server holds already are passed over.
// False when the table ends among them.
bool TableWriter::skipRecords(std::int64_t& c)
{
    platform::SourceRecordset& records = job_.records;
    for (; c < job_.resumeFrom; ++c) {
        bool more = false;
        if (!op_.step(418, [&] { records.moveNext(); }) || !op_.step(420, [&] { more = !records.eof(); }) || !more)
            return false;
    }
    result_.recordsRead = c;
    return true;
}

// The record's values, field by field. A value that cannot be read is reported
// (the first of its field) and written NULL; the record goes on.
template <typename Step>
void TableWriter::addValues(InsertBuilder& builder, int fields, UnreadableValues& unreadable, Step&& step,
                           std::vector<int>* again)
{
    platform::SourceRecordset& records = job_.records;
    // What the rules see of a value is what the statement holds.
    auto add = [&](int f, const paradox::Value& value) {
        builder.add(f, value);
        if (rules_)
            rules_->observe(f, builder.needsValue(f) ? value : paradox::Value::null());
    };
    for (int f = 0; f < fields; ++f) {
        // Byte data written NULL is never read (a picture can be megabytes).
        if (!builder.needsValue(f)) {
            add(f, paradox::Value::null());
            continue;
        }
        const auto at = static_cast<std::size_t>(f);
        if (unreadable.reported[at]) {
            try {
                add(f, records.value(f));
            } catch (...) {
                if (again)
                    again->push_back(f);
                else
                    ++unreadable.after[at];
                add(f, paradox::Value::null());
            }
        } else if (!step(334, [&] { add(f, records.value(f)); })) {
            unreadable.reported[at] = true;
            add(f, paradox::Value::null());
        }
    }
}

}  // namespace conversion::table_writing
