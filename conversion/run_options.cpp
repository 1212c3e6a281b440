// The run's choices read from the settings store.
#include "conversion/run_options.h"

#include "core/error_report.h"
#include "core/settings_keys.h"
#include "platform/settings_store.h"

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
    return options;
}

}  // namespace conversion
