// The run's choices read from the settings store.
#include "conversion/run_options.h"

#include "core/unicode_case.h"

#include "core/error_report.h"
#include "core/settings_keys.h"
#include "platform/settings_store.h"

#include <stdexcept>

namespace conversion {

RunOptions RunOptionsFromSettings(platform::SettingsStore& settings, core::GuardedOperation& op)
{
    RunOptions options;
    op.step(108, [&] { options.transferBinary = core::TransferBinarySetting(settings); });
    op.step(108, [&] {
        options.transactions.statementsPerCall =
            core::StatementsPerRoundTripSetting(settings, options.transactions.statementsPerCall);
    });
    op.step(114, [&] {
        options.sourceCodePage =
            settings.GetSetting(core::kSettingsApplication, core::kSettingsSection, core::key::SourceCodePage, "");
    });
    op.step(116, [&] {
        options.columnTypes = ColumnTypesFromSetting(
            settings.GetSetting(core::kSettingsApplication, core::kSettingsSection, core::key::ColumnTypes, ""));
    });
    op.step(117, [&] { options.verifyAfter = core::VerifyAfterConvertingSetting(settings); });
    op.step(117, [&] { options.bulkCopy = core::BulkCopySetting(settings); });
    op.step(117, [&] { options.queryTimeout = core::QueryTimeoutSetting(settings); });
    op.step(116, [&] {
        options.rules = RulesFromSetting(
            settings.GetSetting(core::kSettingsApplication, core::kSettingsSection, core::key::Rules, ""));
    });
    return options;
}

std::optional<ColumnTypes> ColumnTypesNamed(std::string_view word)
{
    const auto first = word.find_first_not_of(" \t");
    const std::string_view trimmed =
        first == std::string_view::npos ? std::string_view() : word.substr(first, word.find_last_not_of(" \t") - first + 1);
    auto is = [trimmed](std::string_view name) { return core::EqualsIgnoringCase(trimmed, name); };
    if (trimmed.empty() || is(core::kColumnTypesText))
        return ColumnTypes::Text;
    if (is(core::kColumnTypesSqlServer) || is(kColumnTypesSqlServerWord))
        return ColumnTypes::SqlServer;
    return std::nullopt;
}

ColumnTypes ColumnTypesFromSetting(std::string_view text)
{
    if (const std::optional<ColumnTypes> types = ColumnTypesNamed(text))
        return *types;
    throw std::invalid_argument("The setting \"" + std::string(core::key::ColumnTypes) + "\" holds \"" +
                                std::string(text) + "\"; it takes \"" + core::kColumnTypesText + "\" or \"" +
                                core::kColumnTypesSqlServer + "\".");
}

}  // namespace conversion

namespace conversion {

RuleChoice RulesFromSetting(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    const std::string_view trimmed =
        first == std::string_view::npos ? std::string_view() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (trimmed.empty() || core::EqualsIgnoringCase(trimmed, core::kRulesAll))
        return RuleChoice::All;
    if (core::EqualsIgnoringCase(trimmed, core::kRulesKeys))
        return RuleChoice::Keys;
    throw std::invalid_argument("The setting \"" + std::string(core::key::Rules) + "\" holds \"" + std::string(text) +
                                "\"; it takes \"" + core::kRulesAll + "\" or \"" + core::kRulesKeys + "\".");
}

}  // namespace conversion
