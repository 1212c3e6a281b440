// The ODBC connection-text grammar as SQLDriverConnect reads it: attributes
// separated by ";", a value in braces may hold ";" and writes "}" as "}}".
#include "platform/odbc/connection_text.h"

#include <algorithm>
#include <cctype>

namespace platform::odbc {

namespace {

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool SameKey(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x))
                   == std::tolower(static_cast<unsigned char>(y));
           });
}

bool HasKey(const std::vector<ConnectionAttribute>& attributes, std::string_view key)
{
    return std::any_of(attributes.begin(), attributes.end(),
                       [&](const ConnectionAttribute& a) { return SameKey(a.key, key); });
}

const ConnectionAttribute* Find(const std::vector<ConnectionAttribute>& attributes,
                                std::string_view key)
{
    for (const auto& a : attributes) {
        if (SameKey(a.key, key))
            return &a;
    }
    return nullptr;
}

// A ";" would end the value, and a "{" opening it would start a braced one.
bool NeedsBraces(std::string_view value)
{
    return value.find_first_of(";{") != std::string_view::npos;
}

// The value in braces with "}" doubled, onto the end of out.
template <typename Text>
void AppendBraced(std::string_view value, Text& out)
{
    out += '{';
    for (std::size_t start = 0; start < value.size();) {
        const std::size_t close = std::min(value.find('}', start), value.size());
        out += value.substr(start, close - start);
        if (close < value.size())
            out += "}}";
        start = close + 1;
    }
    out += '}';
}

}  // namespace

std::string Braced(std::string_view value)
{
    std::string out;
    AppendBraced(value, out);
    return out;
}

// A "}" alone needs no braces in any driver, and FreeTDS before 1.4 reads a
// doubled "}}" inside braces as two: a password holding one would not match.
std::string AttributeValue(std::string_view value)
{
    return NeedsBraces(value) ? Braced(value) : std::string(value);
}

SecretText PasswordValue(std::string_view password)
{
    const bool blankAtEnd = !password.empty() && (password.front() == ' ' || password.back() == ' ');
    SecretText out;
    if (blankAtEnd || NeedsBraces(password))
        AppendBraced(password, out);
    else
        out += password;
    return out;
}

std::vector<ConnectionAttribute> ParseConnectionText(std::string_view text)
{
    std::vector<ConnectionAttribute> attributes;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        const std::size_t semicolon = text.find(';', pos);
        if (equals == std::string_view::npos || semicolon < equals) {
            // A piece without "=": nothing the driver reads either.
            if (semicolon == std::string_view::npos)
                break;
            pos = semicolon + 1;
            continue;
        }
        ConnectionAttribute attribute;
        attribute.key = std::string(Trimmed(text.substr(pos, equals - pos)));
        std::size_t v = equals + 1;
        while (v < text.size() && text[v] == ' ')
            ++v;
        attribute.valueBegin = v;
        if (v < text.size() && text[v] == '{') {
            std::size_t k = v + 1;
            while (k < text.size()) {
                if (text[k] == '}') {
                    if (k + 1 < text.size() && text[k + 1] == '}') {
                        attribute.value += '}';
                        k += 2;
                        continue;
                    }
                    break;
                }
                attribute.value += text[k++];
            }
            attribute.valueEnd = std::min(k + 1, text.size());
            const std::size_t next = text.find(';', attribute.valueEnd);
            pos = next == std::string_view::npos ? text.size() : next + 1;
        } else {
            const std::size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
            attribute.value = SecretText(text.substr(v, end - v));
            attribute.valueEnd = end;
            pos = end == text.size() ? end : end + 1;
        }
        attributes.push_back(std::move(attribute));
    }
    return attributes;
}

std::optional<std::string> ConnectionValue(std::string_view text, std::string_view key)
{
    const auto attributes = ParseConnectionText(text);
    if (const ConnectionAttribute* a = Find(attributes, key))
        return std::string(a->value.reveal());
    return std::nullopt;
}

bool ConnectionHasKey(std::string_view text, std::string_view key)
{
    return HasKey(ParseConnectionText(text), key);
}

SecretText FreeTdsConnectionText(std::string_view text, std::string_view driverLibrary)
{
    const auto attributes = ParseConnectionText(text);
    SecretText out;
    const ConnectionAttribute* driver = Find(attributes, "Driver");
    if (driverLibrary.empty()) {
        out += text;
    } else if (driver) {
        out += text.substr(0, driver->valueBegin);
        out += Braced(driverLibrary);
        out += text.substr(driver->valueEnd);
    } else {
        out += "Driver=" + Braced(driverLibrary) + ";";
        out += text;
    }
    if (!out.empty() && out.reveal().back() != ';')
        out += ';';
    if (!HasKey(attributes, "TDS_Version"))
        out += "TDS_Version=" + std::string(kFreeTdsVersion) + ";";
    if (const ConnectionAttribute* server = Find(attributes, "Server")) {
        const bool namesPortOrInstance = server->value.reveal().find_first_of(",\\") != std::string_view::npos;
        if (!namesPortOrInstance && !HasKey(attributes, "Port"))
            out += "Port=" + std::string(kDefaultPort) + ";";
    }
    if (!HasKey(attributes, "ClientCharset"))
        out += "ClientCharset=UTF-8;";
    return out;
}

}  // namespace platform::odbc
