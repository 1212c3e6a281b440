// Code pages: which encoding a table uses and the decoder from it to UTF-8.
#include "paradox/codepage.h"

#include "paradox/header.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <mutex>
#include <stdexcept>

namespace paradox {

namespace {

struct LanguageDriver {
    const char* name;
    const char* encoding;
};

// Sort-order / language-driver names stored after the field numbers, and the
// code page each implies. Only consulted when the header has no code page.
constexpr LanguageDriver kLanguageDrivers[] = {
    {"ascii", "CP437"},     {"intl", "CP437"},      {"intl850", "CP850"},  {"nordan", "CP865"},
    {"nordan40", "CP865"},  {"swedfin", "CP437"},   {"cyrr", "CP866"},     {"czech", "CP852"},
    {"polish", "CP852"},    {"slovene", "CP852"},   {"hun", "CP852"},      {"turk", "CP857"},
    {"hebrew", "CP862"},    {"greek", "CP737"},     {"china", "CP936"},    {"ancyrr", "CP1251"},
    {"anczech", "CP1250"},  {"anpolish", "CP1250"}, {"ANSII850", "CP1252"}, {"DBWINUS0", "CP1252"},
    {"DBWINWE0", "CP1252"}, {"BLROM800", "HP-ROMAN8"},
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool ConvertOne(iconv_t cd, const char* in, std::size_t inLen, std::string& out)
{
    char buf[16];
    char* inPtr = const_cast<char*>(in);
    char* outPtr = buf;
    std::size_t outLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLen, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLen != 0)
        return false;
    out.assign(buf, static_cast<std::size_t>(outPtr - buf));
    return true;
}

}  // namespace

std::string TextEncodingOf(const TableHeader& header)
{
    if (header.codePage != 0)
        return "CP" + std::to_string(header.codePage);
    for (const auto& driver : kLanguageDrivers) {
        if (header.sortOrderName == driver.name)
            return driver.encoding;
    }
    return "CP437";
}

bool KnownEncoding(const std::string& name)
{
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    return true;
}

namespace {

std::shared_ptr<const TextDecoder::ByteTable> BuildByteTable(iconv_t cd)
{
    auto t = std::make_shared<TextDecoder::ByteTable>();
    // A code page is single-byte when every byte alone either converts or is
    // simply undefined; a lead byte of a multi-byte page reports EINVAL.
    std::string utf8;
    for (std::size_t b = 0; b < 256 && t->singleByte; ++b) {
        const char in = static_cast<char>(b);
        if (ConvertOne(cd, &in, 1, utf8)) {
            const std::size_t n = std::min<std::size_t>(utf8.size(), 4);
            std::copy_n(utf8.begin(), n, t->utf8[b].begin());
            t->length[b] = static_cast<std::uint8_t>(n);
        } else if (errno == EINVAL) {
            t->singleByte = false;
        } else {
            // Undefined in this code page: U+FFFD, as for a broken sequence of a
            // multi-byte page, rather than a guess that looks like real text.
            std::copy(kReplacement.begin(), kReplacement.end(), t->utf8[b].begin());
            t->length[b] = static_cast<std::uint8_t>(kReplacement.size());
            t->undefined[b] = true;
        }
        if (b < 0x80 && t->singleByte && (t->length[b] != 1 || t->utf8[b][0] != static_cast<char>(b)))
            t->asciiCompatible = false;
    }
    if (!t->singleByte)
        t->asciiCompatible = true;  // the multi-byte pages we meet (936) keep ASCII as is
    return t;
}

}  // namespace

TextDecoder::TextDecoder(const std::string& encoding) : encoding_(encoding)
{
    static std::mutex cacheMutex;
    static std::map<std::string, std::shared_ptr<const ByteTable>> cache;
    iconv_t cd = iconv_open("UTF-8", encoding.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::invalid_argument("unknown text encoding " + encoding);
    {
        const std::lock_guard<std::mutex> lock(cacheMutex);
        auto& cached = cache[encoding];
        if (!cached)
            cached = BuildByteTable(cd);
        table_ = cached;
    }
    singleByte_ = table_->singleByte;
    asciiCompatible_ = table_->asciiCompatible;
    if (singleByte_)
        iconv_close(cd);
    else
        iconv_ = cd;
}

TextDecoder::~TextDecoder()
{
    if (iconv_)
        iconv_close(static_cast<iconv_t>(iconv_));
}

void TextDecoder::decode(std::string_view bytes, std::string& out)
{
    if (!singleByte_) {
        decodeMultiByte(bytes, out);
        return;
    }
    for (unsigned char c : bytes) {
        if (c < 0x80 && asciiCompatible_) {
            out += static_cast<char>(c);
        } else {
            out.append(table_->utf8[c].data(), table_->length[c]);
            undecodable_ += table_->undefined[c] ? 1 : 0;
        }
    }
}

void TextDecoder::decodeMultiByte(std::string_view bytes, std::string& out)
{
    auto cd = static_cast<iconv_t>(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buf[256];
    while (inLeft > 0) {
        char* outPtr = buf;
        std::size_t outLeft = sizeof buf;
        const std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<std::size_t>(outPtr - buf));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // An invalid or cut-off sequence: mark it and go on after one byte.
            out += kReplacement;
            ++undecodable_;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

}  // namespace paradox
