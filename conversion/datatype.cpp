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
    {"char", "] TEXT,", "char", "TEXT", false, false},
    {"decimal", "] DECIMAL,", "decimal", "DECIMAL", true, false},
    {"single", "] FLOAT,", "single", "FLOAT", true, false},
    {"int", "] INT,", "int", "INT", true, false},
    {"adlongvarbinary", "] VARBINARY(MAX),", "adlongvarbinary", "VARBINARY(MAX)", false, true},
    {"numeric", "] FLOAT,", "numeric", "FLOAT", true, false},
    {"date", "] TEXT,", "date", "TEXT", false, false},
    {"timestamp", "] TEXT,", "timestamp", "TEXT", false, false},
    {"double", "] FLOAT,", "double", "FLOAT", true, false},
    {"", "] TEXT,", "OTHER TYPES", "TEXT", false, false},
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

}  // namespace conversion
