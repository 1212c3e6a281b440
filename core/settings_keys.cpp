// Stored texts back into check and option values.
#include "core/settings_keys.h"

#include "core/unicode_case.h"
#include "platform/settings_store.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>

namespace core {

namespace {
const char* const kTypeMismatch = "Type mismatch";

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::int16_t SettingToInteger(const std::string& text)
{
    const std::string_view s = Trimmed(text);
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        throw std::runtime_error(kTypeMismatch);
    const double rounded = std::nearbyint(value);  // banker's rounding, like the platform's
    if (rounded < -32768 || rounded > 32767)
        throw std::runtime_error("Overflow");
    return static_cast<std::int16_t>(rounded);
}

bool SettingToBoolean(const std::string& text)
{
    const std::string_view s = Trimmed(text);
    if (EqualsIgnoringCase(s, "True"))
        return true;
    if (EqualsIgnoringCase(s, "False"))
        return false;
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        throw std::runtime_error(kTypeMismatch);
    return value != 0;
}

namespace {

// A stored boolean, False when absent; a text that is none is reported naming the setting.
bool StoredBoolean(platform::SettingsStore& store, const char* name)
{
    const std::string text = store.GetSetting(kSettingsApplication, kSettingsSection, name, "False");
    try {
        return SettingToBoolean(text);
    } catch (const std::runtime_error&) {
        throw std::runtime_error(std::string("The setting \"") + name + "\" holds \"" + text
                                 + "\"; it takes \"True\" or \"False\".");
    }
}

}  // namespace

bool TransferBinarySetting(platform::SettingsStore& store)
{
    return StoredBoolean(store, key::TransferBinary);
}

bool VerifyAfterConvertingSetting(platform::SettingsStore& store)
{
    return StoredBoolean(store, key::VerifyAfterConverting);
}

bool BulkCopySetting(platform::SettingsStore& store)
{
    return StoredBoolean(store, key::BulkCopy);
}

std::optional<std::size_t> StatementsPerRoundTrip(std::string_view text, std::size_t fallback)
{
    const std::string_view s = Trimmed(text);
    if (s.empty())
        return fallback;
    int value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || value < 1 || value > 32767)
        return std::nullopt;
    return static_cast<std::size_t>(value);
}

std::optional<int> QueryTimeoutSeconds(std::string_view text)
{
    const std::string_view s = Trimmed(text);
    if (s.empty())
        return 0;
    int value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || value < 0 || value > 999999)
        return std::nullopt;
    return value;
}

int QueryTimeoutSetting(platform::SettingsStore& store)
{
    const std::string text = store.GetSetting(kSettingsApplication, kSettingsSection, key::QueryTimeout, "");
    if (const std::optional<int> seconds = QueryTimeoutSeconds(text))
        return *seconds;
    throw std::runtime_error(std::string("The setting \"") + key::QueryTimeout
                             + "\" must be a number of seconds from 0 to 999999, not \"" + text + "\".");
}

std::size_t StatementsPerRoundTripSetting(platform::SettingsStore& store, std::size_t fallback)
{
    const std::string text =
        store.GetSetting(kSettingsApplication, kSettingsSection, key::StatementsPerRoundTrip, "");
    if (const std::optional<std::size_t> count = StatementsPerRoundTrip(text, fallback))
        return *count;
    throw std::runtime_error(std::string("The setting \"") + key::StatementsPerRoundTrip
                             + "\" must be a number from 1 to 32767, not \"" + text + "\".");
}

}  // namespace core
