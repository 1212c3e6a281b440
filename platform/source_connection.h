// The source-table connection: what the conversion run needs of the layer that
// opens a folder of Paradox tables as a database (connection, recordset,
// fields with ADO type codes, typed values). Failures are thrown as
// std::exception with a readable message naming the file and what is wrong.
#pragma once

#include "paradox/table_rules.h"
#include "paradox/value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// A forward-only view of one table, positioned on its first record when
// opened (or at EOF when it has none).
class SourceRecordset {
public:
    virtual ~SourceRecordset() = default;

    virtual int fieldCount() const = 0;
    virtual const std::string& fieldName(int index) const = 0;
    // The field's ADO data type code (adVarWChar = 202, adInteger = 3, ...).
    virtual std::int16_t fieldType(int index) const = 0;
    // What ADO tells of a field beside its type: its DefinedSize (characters
    // of a text field, bytes of a byte field), its NumericScale (the decimals
    // of a BCD field) and whether it counts up by itself (ISAUTOINCREMENT);
    // 0 and false where the source does not say.
    virtual int fieldSize(int /*index*/) const { return 0; }
    virtual int fieldScale(int /*index*/) const { return 0; }
    virtual bool fieldAutoIncrement(int /*index*/) const { return false; }
    // How many leading fields make the table's primary key (its header's key
    // field count); 0 for a table without one.
    virtual int keyFieldCount() const { return 0; }
    // The value of a field of the current record; texts stay valid until the
    // next moveNext() or close().
    virtual paradox::Value value(int index) = 0;

    // The code page the table's texts are read in, and how many of their bytes
    // (field names and the values read so far) it could not decode.
    virtual std::string codePage() const { return {}; }
    virtual std::uint64_t undecodableBytes() const { return 0; }
    // What reading found wrong with the table, naming its file: the records
    // read differ from the record count its header gives, or its data blocks
    // do not chain as the header says. The records that could be read are
    // handed out all the same. Complete once eof() is reached, and still
    // answered after close(); nothing for a sound table.
    virtual std::optional<std::string> damage() const { return std::nullopt; }
    // The rules the table keeps beside it (secondary indexes, validity
    // checks, referential integrity), read when asked; a rule file that cannot
    // be read is among them as a problem. None where the source has none.
    virtual paradox::TableRules rules() { return {}; }

    virtual bool eof() const = 0;
    virtual bool bof() const = 0;
    virtual std::int64_t recordCount() const = 0;
    virtual void moveNext() = 0;
    virtual void close() = 0;
};

class SourceConnection {
public:
    virtual ~SourceConnection() = default;

    static constexpr int kClientSideCursor = 3;
    virtual void setCursorLocation(int location) = 0;
    // The code page (an iconv name such as CP866) that every table's texts
    // and field names are read in; empty: the one each table names. Throws
    // std::invalid_argument for a name that is not known. A source whose
    // tables carry no code pages ignores it.
    virtual void setSourceCodePage(const std::string& /*name*/) {}
    // Takes the source connection text as the program builds it.
    virtual void open(const std::string& connectionText) = 0;
    // Takes a query of the form SELECT * FROM [NAME].
    virtual std::unique_ptr<SourceRecordset> openRecordset(const std::string& query) = 0;
    // The table of such a query, read from the file where the folder walk
    // found it (a subfolder's table, which the connection's folder does not
    // offer, or one of two files whose names differ only in letter case);
    // an empty path: the query alone. A source that reads one folder only
    // has nothing else to read.
    virtual std::unique_ptr<SourceRecordset> openRecordsetFrom(const std::string& query, const std::string& /*file*/)
    {
        return openRecordset(query);
    }
    virtual void close() = 0;
};

class SourceConnectionFactory {
public:
    virtual ~SourceConnectionFactory() = default;
    virtual std::unique_ptr<SourceConnection> create() = 0;
};

}  // namespace platform
