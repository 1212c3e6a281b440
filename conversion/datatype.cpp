// The type name table and the keyword rules, in the order in which they are tested.
#include "conversion/datatype.h"

#include <array>
#include <string>
#include <utility>

namespace Datatype {

namespace {
constexpr std::array<std::pair<std::int16_t, std::string_view>, 39> kNames{{
    {0, "adEmpty"},           {2, "adSmallInt"},        {3, "adInteger"},
    {4, "adSingle"},          {5, "adDouble"},          {6, "adCurrency"},
    {7, "adDate"},            {8, "adBSTR"},            {9, "adIDispatch"},
    {10, "adError"},          {11, "adBoolean"},        {12, "adVariant"},
    {13, "adIUnknown"},       {14, "adDecimal"},        {16, "adTinyInt"},
    {17, "adUnsignedTinyInt"}, {18, "adUnsignedSmallInt"}, {19, "adUnsignedInt"},
    {20, "adBigInt"},         {21, "adUnsignedBigInt"}, {64, "adFileTime"},
    {72, "adGUID"},           {128, "adBinary"},        {129, "adChar"},
    {130, "adWChar"},         {131, "adNumeric"},       {132, "adUserDefined"},
    {133, "adDBDate"},        {134, "adDBTime"},        {135, "adDBTimeStamp"},
    {136, "adChapter"},       {138, "adPropVariant"},   {139, "adVarNumeric"},
    {200, "adVarChar"},       {201, "adLongVarChar"},   {202, "adVarWChar"},
    {203, "adLongVarWChar"},  {204, "adVarBinary"},     {205, "adLongVarBinary"},
}};
}  // namespace

std::string_view DatatypeName(std::int16_t code)
{
    for (const auto& [c, name] : kNames) {
        if (c == code)
            return name;
    }
    return {};
}

}  // namespace Datatype

namespace conversion {

namespace {
// SQL Server has no type BLOB: byte data goes into VARBINARY(MAX) columns. Its
// values are written NULL unless the user asks for binary data ("Transfer
// Binary"), so that the rest of such a table arrives either way.
constexpr std::array<TypeRule, 10> kRules{{
    {"char", "char", "TEXT", false, false},
    {"decimal", "decimal", "DECIMAL", true, false},
    {"single", "single", "FLOAT", true, false},
    {"int", "int", "INT", true, false},
    {"adlongvarbinary", "adlongvarbinary", "VARBINARY(MAX)", false, true},
    {"numeric", "numeric", "FLOAT", true, false},
    {"date", "date", "TEXT", false, false},
    {"timestamp", "timestamp", "TEXT", false, false},
    {"double", "double", "FLOAT", true, false},
    {"", "OTHER TYPES", "TEXT", false, false},
}};

std::string AsciiLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}
}  // namespace

const TypeRule& Classify(std::string_view lowerTypeName)
{
    for (const TypeRule& rule : kRules) {
        if (rule.keyword.empty() || lowerTypeName.find(rule.keyword) != std::string_view::npos)
            return rule;
    }
    return kRules.back();
}

const TypeRule& ClassifyCode(std::int16_t code)
{
    // Type names are ASCII, so ASCII lower-casing is the whole of it.
    return Classify(AsciiLower(Datatype::DatatypeName(code)));
}

std::string_view TypedRecordName(std::int16_t code, const TypeRule& rule)
{
    switch (code) {
    case 6: return "currency";  // adCurrency
    case 134: return "time";    // adDBTime
    case 11: return "logical";  // adBoolean
    case 128: case 204: return "bytes";  // adBinary, adVarBinary
    default: return rule.paradoxType;
    }
}

TypedColumn SqlServerColumn(std::int16_t code, const FieldShape& shape)
{
    // NVARCHAR(n) and VARBINARY(n) take up to 4,000 and 8,000; beyond, or
    // without a size, only MAX holds the values.
    const auto sized = [&](const char* type, int limit, TypedKind kind, int bytesPerUnit) {
        if (shape.size < 1 || shape.size > limit)
            return TypedColumn{std::string(type) + "(MAX)", kind, false, 0};
        return TypedColumn{std::string(type) + '(' + std::to_string(shape.size) + ')', kind, false,
                           shape.size * bytesPerUnit};
    };
    switch (code) {
    case 129: case 130: case 200: case 202:  // adChar, adWChar, adVarChar, adVarWChar: Alpha
        return sized("NVARCHAR", 4000, TypedKind::Text, 2);
    case 128: case 204:  // adBinary, adVarBinary: Bytes
        return sized("VARBINARY", 8000, TypedKind::Bytes, 1);
    case 205:  // adLongVarBinary: BLOB, graphic, OLE, formatted memo
        return {"VARBINARY(MAX)", TypedKind::Binary, false, 0};
    case 2: case 16: case 17:  // adSmallInt (Short), adTinyInt, adUnsignedTinyInt
        return {"SMALLINT", TypedKind::Integer, false, 2};
    case 3: case 18:  // adInteger (Long, AutoInc), adUnsignedSmallInt
        if (shape.autoIncrement)
            return {"INT IDENTITY(1,1)", TypedKind::Integer, true, 4};
        return {"INT", TypedKind::Integer, false, 4};
    case 19: case 20:  // adUnsignedInt, adBigInt
        return {"BIGINT", TypedKind::Integer, false, 8};
    case 4:  // adSingle
        return {"REAL", TypedKind::Float, false, 4};
    case 5:  // adDouble: Number
        return {"FLOAT", TypedKind::Float, false, 8};
    case 6:  // adCurrency
        return {"MONEY", TypedKind::Money, false, 8};
    case 14: case 131: case 139: {  // adDecimal, adNumeric (BCD), adVarNumeric
        const int scale = shape.scale < 0 ? 0 : shape.scale > 32 ? 32 : shape.scale;
        return {"DECIMAL(32," + std::to_string(scale) + ')', TypedKind::Decimal, false, 17};
    }
    case 133:  // adDBDate
        return {"DATE", TypedKind::Date, false, 3};
    case 134:  // adDBTime
        return {"TIME(3)", TypedKind::Time, false, 4};
    case 7: case 135:  // adDate, adDBTimeStamp
        return {"DATETIME2(3)", TypedKind::DateTime, false, 7};
    case 11:  // adBoolean
        return {"BIT", TypedKind::Bit, false, 1};
    default:  // memo (adLongVarWChar) and whatever no Paradox field is
        return {"NVARCHAR(MAX)", TypedKind::Text, false, 0};
    }
}

}  // namespace conversion
