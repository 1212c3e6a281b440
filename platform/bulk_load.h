// A bulk load: rows into one table sent as the server's own binary rows (its
// bulk-load protocol) rather than as INSERT statements it parses one by one,
// in batches that the server stores whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// A column of the table as the server describes it, and the most a value of it
// may hold in a bulk row here (the column's own size, or less where the driver
// holds less).
struct BulkColumn {
    enum class Kind : std::uint8_t {
        Integer,      // minimum..maximum
        Float,
        Decimal,      // also MONEY: precision and scale
        Bit,
        Date,
        Time,
        Timestamp,
        Text,         // a code page's characters: size in bytes
        UnicodeText,  // size in UTF-16 units
        Binary,       // size in bytes
        Other,        // none of the above: the table takes no bulk rows
    };
    Kind kind = Kind::Other;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    std::size_t size = 0;
    int precision = 0;
    int scale = 0;
};

// One value of a bulk row, of the form its column takes.
struct BulkValue {
    enum class Kind : std::uint8_t {
        Null,
        Integer,  // Integer and Bit columns
        Float,
        Text,     // UTF-8; a Decimal column's digits ("-12.5")
        Bytes,
        Moment,   // Date, Time and Timestamp columns
    };
    struct Moment {
        int year = 1900;
        int month = 1;
        int day = 1;
        int hour = 0;
        int minute = 0;
        int second = 0;
        std::uint32_t nanoseconds = 0;
    };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
    Moment moment;
};

class BulkLoad {
public:
    virtual ~BulkLoad() = default;
    // The table's columns, in order; a row holds one value for each.
    virtual const std::vector<BulkColumn>& columns() const = 0;
    // Sends one row of the open batch. Throws a ServerError when the driver
    // refuses it; the batch is then given up (nothing of it is stored).
    virtual void addRow(std::span<const BulkValue> row) = 0;
    // Ends the open batch: the server stores its rows for good, or none of
    // them and the ServerError says why (a ConnectionLost: nobody knows). A
    // batch may follow unless `last`. Returns the rows the server stored.
    virtual std::int64_t endBatch(bool last) = 0;
};

}  // namespace platform
