// Writing Paradox tables: header, data blocks in a chain, and the .MB file.
#include "paradox/writer/table_writer.h"

#include "paradox/blobs.h"
#include "paradox/blocks.h"
#include "paradox/encryption.h"
#include "paradox/endian.h"
#include "paradox/values.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iconv.h>
#include <stdexcept>

namespace paradox::writer {

namespace {

constexpr std::uint32_t kSubAllocLimit = 2048;
constexpr std::uint32_t kFirstSubUnit = (kMbSubHeader + kMbSlotCount * kMbSlotSize + 15) / 16;

std::uint32_t FieldSize(const FieldDesign& f)
{
    switch (f.type) {
    case FieldType::Alpha: case FieldType::Bytes:
    case FieldType::Memo: case FieldType::Blob: case FieldType::FormattedMemo:
    case FieldType::Ole: case FieldType::Graphic:
        return static_cast<std::uint32_t>(f.size);
    case FieldType::Short: return 2;
    case FieldType::Logical: return 1;
    case FieldType::Date: case FieldType::Long: case FieldType::Time: case FieldType::Autoincrement: return 4;
    case FieldType::Currency: case FieldType::Number: case FieldType::Timestamp: return 8;
    case FieldType::Bcd: return kBcdFieldSize;
    }
    return 0;
}

std::uint8_t SizeByte(const FieldDesign& f)
{
    return static_cast<std::uint8_t>(f.type == FieldType::Bcd ? f.size : static_cast<int>(FieldSize(f)));
}

void Put(std::string& s, std::size_t at, const std::string& bytes)
{
    if (s.size() < at + bytes.size())
        s.resize(at + bytes.size());
    std::copy(bytes.begin(), bytes.end(), s.begin() + static_cast<std::ptrdiff_t>(at));
}

std::uint8_t* BytesAt(std::string& s, std::size_t at) { return reinterpret_cast<std::uint8_t*>(s.data() + at); }

}  // namespace

TableWriter::TableWriter(TableDesign design) : design_(std::move(design))
{
    if (design_.versionId < 3 || design_.versionId > 12)
        throw std::invalid_argument("file version must be 3..12");
    if (design_.blockSizeCode < 1 || design_.blockSizeCode > 32)
        throw std::invalid_argument("block size code must be 1..32");
    if (design_.fields.empty() || design_.fields.size() > 255)
        throw std::invalid_argument("a table has 1 to 255 fields");
    for (const FieldDesign& f : design_.fields) {
        const std::uint32_t size = FieldSize(f);
        if (size == 0 || size > 255 || (IsBlobType(f.type) && size < kBlobTrailerSize) ||
            (f.type == FieldType::Bcd && (f.size < 0 || f.size > kMaxBcdScale)))
            throw std::invalid_argument("field " + f.name + " has an impossible size");
        sizes_.push_back(size);
        recordSize_ += size;
    }
    const std::uint32_t blockSize = design_.blockSizeCode * 1024u;
    if (recordSize_ > blockSize - kDataBlockHeader)
        throw std::invalid_argument("record does not fit in a block");
    perBlock_ = (blockSize - kDataBlockHeader) / recordSize_;
    if (design_.recordsPerBlock != 0)
        perBlock_ = std::min(perBlock_, design_.recordsPerBlock);
    encoding_ = !design_.textEncoding.empty() ? design_.textEncoding
              : design_.codePage != 0      ? "CP" + std::to_string(design_.codePage)
                                         : "CP437";
}

std::string TableWriter::encodeText(std::string_view utf8) const
{
    iconv_t cd = iconv_open(encoding_.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::invalid_argument("unknown text encoding " + encoding_);
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* o = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        throw std::invalid_argument("text cannot be written in " + encoding_);
    out.resize(out.size() - outLeft);
    return out;
}

void TableWriter::addRawRecord(std::string_view bytes)
{
    if (bytes.size() != recordSize_)
        throw std::invalid_argument("raw record of the wrong size");
    records_.emplace_back(bytes);
}

void TableWriter::addRecord(const std::vector<Value>& values)
{
    if (values.size() > design_.fields.size())
        throw std::invalid_argument("more values than fields");
    std::string record(recordSize_, '\0');
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < design_.fields.size(); ++i) {
        if (i < values.size() && !values[i].isNull())
            encodeField(i, values[i], BytesAt(record, offset));
        offset += sizes_[i];
    }
    records_.push_back(std::move(record));
}

std::string TableWriter::fieldBytes(std::size_t index, const Value& value)
{
    if (index >= design_.fields.size() || IsBlobType(design_.fields[index].type))
        throw std::invalid_argument("no stored value for that field");
    std::string bytes(sizes_[index], '\0');
    if (!value.isNull())
        encodeField(index, value, BytesAt(bytes, 0));
    return bytes;
}

void TableWriter::encodeField(std::size_t index, const Value& v, std::uint8_t* p)
{
    const FieldDesign& f = design_.fields[index];
    const auto wrong = [&]() { throw std::invalid_argument("value does not suit field " + f.name); };
    switch (f.type) {
    case FieldType::Alpha:
    case FieldType::Bytes: {
        if (v.type != ValueType::Text && v.type != ValueType::Bytes)
            wrong();
        const std::string bytes = v.type == ValueType::Text ? encodeText(v.text) : std::string(v.text);
        if (bytes.size() > sizes_[index])
            throw std::invalid_argument("value too long for field " + f.name);
        std::copy(bytes.begin(), bytes.end(), p);
        return;
    }
    case FieldType::Short: StoreParadoxInt(p, 2, v.integer); return;
    case FieldType::Long:
    case FieldType::Autoincrement: StoreParadoxInt(p, 4, v.integer); return;
    case FieldType::Date:
        if (v.type != ValueType::Date) wrong();
        StoreParadoxInt(p, 4, DaysFromCivil(v.date) + 1);
        return;
    case FieldType::Time: StoreParadoxInt(p, 4, v.milliseconds); return;
    case FieldType::Currency:
    case FieldType::Number: StoreParadoxDouble(p, v.number); return;
    case FieldType::Timestamp:
        if (v.type == ValueType::Double)
            StoreParadoxDouble(p, v.number);
        else if (v.type == ValueType::Timestamp)
            StoreParadoxDouble(p, static_cast<double>((DaysFromCivil(v.date) + 1) * kMillisPerDay + v.milliseconds));
        else
            wrong();
        return;
    case FieldType::Logical: p[0] = v.boolean ? 0x81 : 0x80; return;
    case FieldType::Bcd:
        if (v.type != ValueType::Bcd || !StoreBcd(p, v.text, f.size))
            wrong();
        return;
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        if (v.type != ValueType::Text && v.type != ValueType::Bytes)
            wrong();
        encodeBlob(f, v.type == ValueType::Text ? encodeText(v.text) : std::string(v.text), p);
        return;
    }
}

void TableWriter::encodeBlob(const FieldDesign& f, std::string payload, std::uint8_t* p)
{
    const std::uint32_t leader = static_cast<std::uint32_t>(f.size) - kBlobTrailerSize;
    std::copy_n(payload.begin(), std::min<std::size_t>(leader, payload.size()), p);
    std::uint8_t* trailer = p + leader;
    std::string stored = payload;
    if (f.type == FieldType::Graphic) {
        std::string prefix(kGraphicPrefix, '\0');
        prefix[0] = 1;
        StoreLe32(BytesAt(prefix, 4), static_cast<std::uint32_t>(payload.size()));
        stored = prefix + payload;
    }
    std::uint32_t offset = 0;
    std::uint8_t index = 0;
    if (payload.size() > leader)
        offset = storeBlob(stored, index);
    StoreLe32(trailer, offset | index);
    StoreLe32(trailer + 4, static_cast<std::uint32_t>(stored.size()));
    StoreLe16(trailer + 8, 1);
}

std::uint32_t TableWriter::storeBlob(const std::string& stored, std::uint8_t& index)
{
    if (mb_.empty()) {
        mb_.assign(kMbBlockUnit, '\0');
        StoreLe16(BytesAt(mb_, 1), 1);
    }
    const auto len = static_cast<std::uint32_t>(stored.size());
    const std::uint32_t units = (len + 15) / 16;
    const bool sub = design_.blobPlacement == BlobPlacement::SubAllocated ||
                     (design_.blobPlacement == BlobPlacement::Auto && len <= kSubAllocLimit);
    if (!sub) {
        const auto offset = static_cast<std::uint32_t>(mb_.size());
        const std::uint32_t chunks = (kMbSingleHeader + len + kMbBlockUnit - 1) / kMbBlockUnit;
        mb_.resize(mb_.size() + chunks * kMbBlockUnit, '\0');
        std::uint8_t* b = BytesAt(mb_, offset);
        b[0] = kMbSingleBlob;
        StoreLe16(b + 1, chunks);
        StoreLe32(b + 3, len);
        StoreLe16(b + 7, 1);
        Put(mb_, offset + kMbSingleHeader, stored);
        index = 0xFF;
        return offset;
    }
    if (units + kFirstSubUnit > kMbBlockUnit / 16)
        throw std::invalid_argument("blob too long for a sub-allocated block");
    if (subBlock_ == 0 || subNextSlot_ < 0 || subNextData_ + units > kMbBlockUnit / 16) {
        subBlock_ = static_cast<std::uint32_t>(mb_.size());
        mb_.resize(mb_.size() + kMbBlockUnit, '\0');
        std::uint8_t* b = BytesAt(mb_, subBlock_);
        b[0] = kMbSubAllocated;
        StoreLe16(b + 1, 1);
        subNextData_ = kFirstSubUnit;
        subNextSlot_ = static_cast<int>(kMbSlotCount) - 1;
    }
    index = static_cast<std::uint8_t>(subNextSlot_--);
    std::uint8_t* slot = BytesAt(mb_, subBlock_ + kMbSubHeader + kMbSlotSize * index);
    slot[0] = static_cast<std::uint8_t>(subNextData_);
    slot[1] = static_cast<std::uint8_t>(units);
    StoreLe16(slot + 2, 1);
    slot[4] = static_cast<std::uint8_t>(len - (units - 1) * 16);
    Put(mb_, subBlock_ + subNextData_ * 16, stored);
    subNextData_ += units;
    return subBlock_;
}

std::string TableWriter::headerBytes(std::uint32_t blocks) const
{
    const bool extended = design_.versionId >= 5;
    const std::size_t base = extended ? 0x78 : 0x58;
    const std::size_t nf = design_.fields.size();
    std::string h(base, '\0');
    for (const FieldDesign& f : design_.fields) {
        h += static_cast<char>(f.type);
        h += static_cast<char>(SizeByte(f));
    }
    h.append(4 + 4 * nf, '\0');
    std::string name = design_.tableName;
    const std::size_t nameSize = design_.versionId == 12 ? 261 : 79;
    name.resize(nameSize, '\0');
    h += name;
    for (const FieldDesign& f : design_.fields) {
        h += encodeText(f.name);
        h += '\0';
    }
    if (extended) {
        for (std::size_t i = 0; i < nf; ++i) {
            h += static_cast<char>((i + 1) & 0xFF);
            h += static_cast<char>((i + 1) >> 8);
        }
        h += design_.sortOrderName;
        h += '\0';
    }
    std::size_t headerSize = design_.headerSize;
    if (headerSize == 0)
        headerSize = std::max<std::size_t>(2048, (h.size() + 2047) / 2048 * 2048);
    if (headerSize < h.size() || headerSize > 0xFFFF)
        throw std::invalid_argument("header size too small for the fields");
    h.resize(headerSize, '\0');

    std::uint8_t* p = BytesAt(h, 0);
    StoreLe16(p + 0x00, recordSize_);
    StoreLe16(p + 0x02, static_cast<std::uint32_t>(headerSize));
    p[0x04] = design_.keyed ? 0 : 2;
    p[0x05] = design_.blockSizeCode;
    StoreLe32(p + 0x06, static_cast<std::uint32_t>(records_.size()));
    StoreLe16(p + 0x0A, blocks);
    StoreLe16(p + 0x0C, blocks);
    const std::uint32_t first = blocks == 0 ? 0 : (design_.reverseBlocks ? blocks : 1);
    const std::uint32_t last = blocks == 0 ? 0 : (design_.reverseBlocks ? 1 : blocks);
    StoreLe16(p + 0x0E, first);
    StoreLe16(p + 0x10, last);
    StoreLe16(p + 0x21, static_cast<std::uint32_t>(nf));
    StoreLe16(p + 0x23, design_.keyed ? design_.keyFields : 0);
    StoreLe32(p + 0x25, extended ? 0xFF00FF00u : design_.encryptionKey);
    p[0x29] = design_.sortOrder;
    p[0x39] = design_.versionId;
    StoreLe16(p + 0x3A, 0x0C);
    StoreLe32(p + 0x49, static_cast<std::uint32_t>(records_.size() + 1));
    if (extended) {
        StoreLe16(p + 0x58, 0x0100u | design_.versionId);
        StoreLe16(p + 0x5A, 0x0100u | design_.versionId);
        StoreLe32(p + 0x5C, design_.encryptionKey);
        StoreLe16(p + 0x64, static_cast<std::uint32_t>(nf + 1));
        StoreLe16(p + 0x6A, design_.codePage);
    }
    return h;
}

std::string TableWriter::databaseBytes() const
{
    const std::uint32_t blockSize = design_.blockSizeCode * 1024u;
    const auto blocks = static_cast<std::uint32_t>((records_.size() + perBlock_ - 1) / perBlock_);
    if (blocks > 0xFFFF)
        throw std::invalid_argument("too many records for 65535 blocks");
    std::string out = headerBytes(blocks);
    const std::size_t dataStart = out.size();
    out.resize(dataStart + static_cast<std::size_t>(blocks) * blockSize, '\0');
    // Logical block i (0-based in chain order) lies at physical number phys(i).
    const auto phys = [&](std::uint32_t i) { return design_.reverseBlocks ? blocks - i : i + 1; };
    for (std::uint32_t i = 0; i < blocks; ++i) {
        const std::size_t at = dataStart + static_cast<std::size_t>(phys(i) - 1) * blockSize;
        std::uint8_t* b = BytesAt(out, at);
        const std::size_t from = static_cast<std::size_t>(i) * perBlock_;
        const std::size_t count = std::min<std::size_t>(perBlock_, records_.size() - from);
        StoreLe16(b, i + 1 < blocks ? phys(i + 1) : 0);
        StoreLe16(b + 2, i > 0 ? phys(i - 1) : 0);
        StoreLe16(b + 4, static_cast<std::uint32_t>((count - 1) * recordSize_));
        for (std::size_t r = 0; r < count; ++r)
            Put(out, at + kDataBlockHeader + r * recordSize_, records_[from + r]);
        if (design_.encryptionKey != 0)
            EncryptDataBlock(b, blockSize, design_.encryptionKey, phys(i));
    }
    return out;
}

std::string TableWriter::blobBytes() const
{
    std::string mb = mb_;
    if (design_.encryptionKey != 0 && !mb.empty())
        EncryptBlobChunks(BytesAt(mb, 0), mb.size(), design_.encryptionKey);
    return mb;
}

void TableWriter::writeFiles(const std::filesystem::path& db, const std::filesystem::path& mb) const
{
    const auto write = [](const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!f)
            throw std::runtime_error("cannot write " + path.string());
    };
    write(db, databaseBytes());
    if (!mb_.empty())
        write(mb, blobBytes());
}

}  // namespace paradox::writer
