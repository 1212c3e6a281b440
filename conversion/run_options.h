// The choices of one conversion run, as one value: the window fills it from
// the settings store at every start, the headless command from its arguments.
// The run itself never reads the settings store for them.
#pragma once

#include "conversion/statement_batch.h"

#include <optional>
#include <string>

namespace core {
class GuardedOperation;
}  // namespace core

namespace platform {
class SettingsStore;
}  // namespace platform

namespace conversion {

struct RunOptions {
    // Not explicit: {false} gives the options of a run that offers no copy.
    RunOptions(bool copy = true) : offerCopy(copy) {}
    // The headless command reads folders with spaces as they are and never offers a copy.
    bool offerCopy;
    // Direct mode commits a table's inserts in transactions of this size, and
    // sends up to transactions.statementsPerCall of them in one round trip.
    TransactionLimits transactions;
    // The code page the tables' texts and field names are read in (an iconv
    // name such as CP866, as given); empty: the one each table's header names.
    std::string sourceCodePage;
    // Picture, BLOB, OLE and formatted-memo fields arrive as their bytes rather than NULL.
    bool transferBinary = false;
    // The command's answer to every "Would you like to overwrite NAME?";
    // empty: the question is asked.
    std::optional<bool> overwrite;
};

// The window's choices as the settings store holds them now ("Transfer Binary",
// "Statements Per Round Trip" and "Source Code Page"), reported as steps 108
// and 114 of the run's operation like the run's other steps: a stored text
// that is no boolean leaves the binary choice off, one that is no count from
// 1 to 32767 leaves the program's own number of statements per round trip.
RunOptions RunOptionsFromSettings(platform::SettingsStore& settings, core::GuardedOperation& op);

}  // namespace conversion
