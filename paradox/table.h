// A Paradox table (.DB, with its .MB when there is one) read record by record
// in the order of the data-block chain. Values are decoded only when asked.
#pragma once

#include "paradox/blobs.h"
#include "paradox/blocks.h"
#include "paradox/byte_source.h"
#include "paradox/codepage.h"
#include "paradox/header.h"
#include "paradox/value.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

// Opens the table's .MB file when a blob needs it; returns nullptr when there is none.
using BlobOpener = std::function<std::unique_ptr<ByteSource>()>;

class Table {
public:
    // Opens path read-only; the .MB file is looked for beside it in any letter case.
    // Texts and field names are read in `encoding` (an iconv name) when one is
    // given, else in the code page the header names; throws
    // std::invalid_argument for an encoding iconv does not know.
    static std::unique_ptr<Table> open(const std::filesystem::path& path, const std::string& encoding = {});
    // Reads from any byte source; blobOpener may be empty (no .MB file).
    Table(std::unique_ptr<ByteSource> db, BlobOpener blobOpener, const std::string& encoding = {});
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& fileName() const { return db_->name(); }
    const TableHeader& header() const { return header_; }
    const std::vector<Field>& fields() const { return header_.fields; }
    std::size_t fieldCount() const { return header_.fields.size(); }
    // The record count stored in the header.
    std::uint32_t recordCount() const { return header_.recordCount; }
    // The iconv name of the encoding texts are decoded from.
    const std::string& textEncoding() const { return decoder_->encoding(); }
    // Bytes of the field names and of the texts decoded so far that the
    // encoding could not decode (each became U+FFFD).
    std::uint64_t undecodableBytes() const { return decoder_->undecodableBytes(); }

    // Moves to the next record (the first on the first call); false at the
    // end. A damaged table is read as far as it safely can be: a block whose
    // record count is impossible is left out, a loop or a pointer past the end
    // of the file ends the table; damage() tells. Throws FormatError only when
    // the file cannot be read.
    bool next();
    // Starts again before the first record.
    void rewind();
    // Number of the current record, from 0, in chain order.
    std::uint64_t recordIndex() const { return recordIndex_; }
    // Records next() has delivered since the start.
    std::uint64_t recordsRead() const { return recordsRead_; }
    // What is wrong with the table's structure, found so far: the records read
    // differ from the header's record count, or the data blocks do not chain
    // as the header says. Complete once next() has returned false; nothing
    // for a sound table.
    std::optional<std::string> damage() const;

    // The value of a field of the current record. Texts and bytes stay valid
    // until the next call of next() or rewind(). Throws FormatError for a
    // value that cannot be read (a broken blob, a bad BCD), naming the field.
    // Alpha and Memo give UTF-8 text (Alpha cut at its first NUL, blanks
    // kept); BLOB, OLE and formatted memo give their stored bytes; Graphic
    // gives the bare image (the .MB copy's own 8-byte prefix left out, as the
    // in-record leader has it); Bytes gives all its bytes; a blob of stored
    // length 0 is NULL, a graphic stored with its prefix only gives no bytes.
    Value value(std::size_t field);
    // The field's bytes in the record as stored.
    std::string_view rawField(std::size_t field) const;
    // The stored bytes of a text value (Alpha up to its end, a memo before
    // decoding); valid after value(field) for the current record.
    std::string_view rawText(std::size_t field);
    TextDecoder& textDecoder() { return *decoder_; }

private:
    Value decode(std::size_t field, const std::uint8_t* p);
    Value decodeText(std::size_t field, std::string_view bytes);
    Value decodeBlob(std::size_t field, const std::uint8_t* p);
    BlobFile& blobFile(std::size_t field);
    [[noreturn]] void valueError(std::size_t field, const std::string& problem) const;

    std::unique_ptr<ByteSource> db_;
    BlobOpener blobOpener_;
    TableHeader header_;
    std::unique_ptr<TextDecoder> decoder_;
    BlockChain chain_;
    std::unique_ptr<BlobFile> blobs_;
    bool blobsMissing_ = false;

    std::vector<std::uint8_t> block_;
    std::uint32_t recordsInBlock_ = 0;
    std::uint32_t positionInBlock_ = 0;
    bool started_ = false;
    bool atRecord_ = false;
    bool ended_ = false;
    std::uint64_t recordIndex_ = 0;
    std::uint64_t recordsRead_ = 0;

    // Per field: storage for decoded texts and the value decoded for the current record.
    std::vector<std::string> storage_;
    std::vector<std::string> rawStorage_;
    std::vector<Value> cache_;
    std::vector<std::uint64_t> cachedFor_;
    std::uint64_t generation_ = 1;
};

// The .MB file beside a .DB file, matched in any letter case (exact case first).
std::optional<std::filesystem::path> FindBlobFile(const std::filesystem::path& dbPath);

}  // namespace paradox
