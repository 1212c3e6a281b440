// Record-by-record reading of a table: the block chain, the record cursor and
// the per-field decoding with its storage.
#include "paradox/table.h"

#include "paradox/error.h"
#include "paradox/values.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace paradox {

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::unique_ptr<TextDecoder> MakeDecoder(const TableHeader& header, const std::string& encoding)
{
    if (!encoding.empty())
        return std::make_unique<TextDecoder>(encoding);
    try {
        return std::make_unique<TextDecoder>(TextEncodingOf(header));
    } catch (const std::invalid_argument&) {
        // A code page iconv does not know: DOS Latin US is the best guess.
        return std::make_unique<TextDecoder>("CP437");
    }
}

bool IsAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::optional<std::filesystem::path> FindBlobFile(const std::filesystem::path& dbPath)
{
    const auto dir = dbPath.has_parent_path() ? dbPath.parent_path() : std::filesystem::path(".");
    const std::string stem = dbPath.stem().string();
    const std::string wanted = Lower(stem + ".mb");
    std::vector<std::filesystem::path> matches;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeEc;
        if (Lower(name) == wanted && it->is_regular_file(typeEc))
            matches.push_back(it->path());
    }
    if (matches.empty())
        return std::nullopt;
    std::sort(matches.begin(), matches.end());
    // The name spelled like the table's own (foo.db with foo.mb, FOO.DB with FOO.MB) first.
    const std::string ext = dbPath.extension().string();
    const std::string sameCase = stem + (ext == ".DB" ? ".MB" : ".mb");
    for (const auto& m : matches) {
        if (m.filename().string() == sameCase)
            return m;
    }
    return matches.front();
}

std::unique_ptr<Table> Table::open(const std::filesystem::path& path, const std::string& encoding)
{
    auto source = FileSource::open(path);
    BlobOpener opener = [path]() -> std::unique_ptr<ByteSource> {
        const auto mb = FindBlobFile(path);
        if (!mb)
            return nullptr;
        return FileSource::open(*mb);
    };
    return std::make_unique<Table>(std::move(source), std::move(opener), encoding);
}

Table::Table(std::unique_ptr<ByteSource> db, BlobOpener blobOpener, const std::string& encoding)
    : db_(std::move(db)),
      blobOpener_(std::move(blobOpener)),
      header_(ReadHeader(*db_)),
      decoder_(MakeDecoder(header_, encoding)),
      chain_(*db_, header_)
{
    for (Field& f : header_.fields) {
        f.name.clear();
        decoder_->decode(f.rawName, f.name);
    }
    storage_.resize(header_.fields.size());
    rawStorage_.resize(header_.fields.size());
    cache_.resize(header_.fields.size());
    cachedFor_.assign(header_.fields.size(), 0);
    block_.reserve(header_.blockSize());
}

Table::~Table() = default;

void Table::rewind()
{
    chain_.rewind();
    recordsInBlock_ = 0;
    positionInBlock_ = 0;
    started_ = false;
    atRecord_ = false;
    ended_ = false;
    recordIndex_ = 0;
    recordsRead_ = 0;
    ++generation_;
}

bool Table::next()
{
    ++generation_;
    if (atRecord_) {
        ++recordIndex_;
        ++positionInBlock_;
    }
    atRecord_ = false;
    started_ = true;
    while (positionInBlock_ >= recordsInBlock_) {
        positionInBlock_ = 0;
        recordsInBlock_ = 0;
        if (ended_ || !chain_.next(block_, recordsInBlock_)) {
            ended_ = true;
            return false;
        }
    }
    atRecord_ = true;
    ++recordsRead_;
    return true;
}

std::optional<std::string> Table::damage() const
{
    std::string text;
    const std::uint32_t expected = header_.recordCount;
    if (recordsRead_ > expected || (ended_ && recordsRead_ != expected)) {
        text = "the header says " + std::to_string(expected) + (expected == 1 ? " record" : " records") + " but " +
               std::to_string(recordsRead_) + (recordsRead_ == 1 ? " was" : " were") + " read";
    }
    for (const std::string& problem : chain_.problems())
        text += (text.empty() ? "" : "; ") + problem;
    if (text.empty())
        return std::nullopt;
    return text;
}

std::string_view Table::rawField(std::size_t field) const
{
    if (!atRecord_ || field >= header_.fields.size())
        throw std::out_of_range("no such field or no current record");
    const Field& f = header_.fields[field];
    const std::size_t at = kDataBlockHeader + static_cast<std::size_t>(positionInBlock_) * header_.recordSize + f.offset;
    return {reinterpret_cast<const char*>(block_.data() + at), f.size};
}

std::string_view Table::rawText(std::size_t field)
{
    const Value v = value(field);
    if (v.isNull())
        return {};
    if (header_.fields[field].type == FieldType::Alpha) {
        const std::string_view raw = rawField(field);
        return raw.substr(0, std::min(raw.find('\0'), raw.size()));
    }
    if (header_.fields[field].type == FieldType::Memo)
        return rawStorage_[field];
    return v.text;
}

Value Table::value(std::size_t field)
{
    if (!atRecord_)
        throw std::logic_error("Table::value called without a current record");
    if (field >= header_.fields.size())
        throw std::out_of_range("field index " + std::to_string(field) + " out of range");
    if (cachedFor_[field] == generation_)
        return cache_[field];
    const std::string_view raw = rawField(field);
    Value v = decode(field, reinterpret_cast<const std::uint8_t*>(raw.data()));
    cache_[field] = v;
    cachedFor_[field] = generation_;
    return v;
}

void Table::valueError(std::size_t field, const std::string& problem) const
{
    throw FormatError(fileName(), "record " + std::to_string(recordIndex_) + ", field " +
                                      header_.fields[field].name + ": " + problem);
}

Value Table::decode(std::size_t field, const std::uint8_t* p)
{
    const Field& f = header_.fields[field];
    switch (f.type) {
    case FieldType::Alpha: {
        if (p[0] == 0)
            return Value::null();
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, f.size));
        const std::size_t len = end ? static_cast<std::size_t>(end - p) : f.size;
        return decodeText(field, {reinterpret_cast<const char*>(p), len});
    }
    case FieldType::Date: return DecodeDate(p);
    case FieldType::Short: return DecodeShort(p);
    case FieldType::Long:
    case FieldType::Autoincrement: return DecodeLong(p);
    case FieldType::Currency: return DecodeCurrency(p);
    case FieldType::Number: return DecodeNumber(p);
    case FieldType::Logical: return DecodeLogical(p);
    case FieldType::Time: return DecodeTime(p);
    case FieldType::Timestamp: return DecodeTimestamp(p);
    case FieldType::Bcd:
        try {
            return DecodeBcd(p, f.scale(), storage_[field]);
        } catch (const std::domain_error& e) {
            valueError(field, e.what());
        }
    case FieldType::Bytes:
        if (std::all_of(p, p + f.size, [](std::uint8_t b) { return b == 0; }))
            return Value::null();
        return Value::ofBytes({reinterpret_cast<const char*>(p), f.size});
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic: return decodeBlob(field, p);
    }
    valueError(field, "unknown field type");
}

Value Table::decodeText(std::size_t field, std::string_view bytes)
{
    if (decoder_->asciiCompatible() && IsAscii(bytes))
        return Value::ofText(bytes);
    std::string& out = storage_[field];
    out.clear();
    decoder_->decode(bytes, out);
    return Value::ofText(out);
}

BlobFile& Table::blobFile(std::size_t field)
{
    if (!blobs_ && !blobsMissing_) {
        std::unique_ptr<ByteSource> source = blobOpener_ ? blobOpener_() : nullptr;
        if (source)
            blobs_ = std::make_unique<BlobFile>(std::move(source), header_.encryptionKey);
        else
            blobsMissing_ = true;
    }
    if (!blobs_)
        valueError(field, "the value is kept in the memo file (.MB), which is missing beside the table");
    return *blobs_;
}

Value Table::decodeBlob(std::size_t field, const std::uint8_t* p)
{
    const Field& f = header_.fields[field];
    const BlobPointer ptr = ReadBlobPointer(p, f);
    const std::uint32_t payload = BlobPayloadSize(ptr, f.type);
    if (ptr.length == 0)
        return Value::null();
    if (payload == 0)  // a graphic stored with its prefix only: an empty picture
        return Value::ofBytes({});
    std::string& out = storage_[field];
    if (payload <= f.leaderSize()) {
        out.assign(reinterpret_cast<const char*>(p), payload);
    } else {
        BlobFile& file = blobFile(field);
        try {
            file.read(ptr, f.type, out);
        } catch (const FormatError& e) {
            valueError(field, e.what());
        }
    }
    if (f.type == FieldType::Memo) {
        std::string& raw = rawStorage_[field];
        raw.swap(out);
        out.clear();
        decoder_->decode(raw, out);
        return Value::ofText(out);
    }
    return Value::ofBytes(out);
}

}  // namespace paradox
