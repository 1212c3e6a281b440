// The conversion engine as the commands run it (no windows, the terminal's
// messages, no settings), and the command-line pieces the commands share.
#pragma once

#include "cli/headless.h"
#include "conversion/conversion_run.h"
#include "conversion/run_options.h"
#include "platform/paradox_source/paradox_source_connection.h"

#include <unistd.h>

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct Engine {
    Engine(std::ostream& err, const std::string& folder, platform::ServerConnectionFactory& servers)
        : form(err), dialogs(err), servers_(servers)
    {
        form.folderText = folder;
        form.terminal = dialogs.terminal = ::isatty(STDERR_FILENO) == 1;
        options.overwrite = false;
        options.codePageChoice = "--codepage NAME";
        options.closingMessage = false;  // the command ends with its own summary
    }

    HeadlessForm form;
    HeadlessDialogs dialogs;
    platform::NoEventLoop events;
    platform::ServerConnectionFactory& servers_;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    NoDesktop desktop;
    NoClipboard clipboard;
    NoSettings settings;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers_, sourceConnections, {"", "/"}};
    conversion::PreviewHandOff handOff;
    // The command's choices: --codepage, --binary, --column-types, --overwrite; no copy is offered.
    conversion::RunOptions options{/*offerCopy=*/false};
    bool converting = false;

    conversion::RunResult run(const platform::StopRequest* stop = nullptr)
    {
        conversion::Run r{services, form, handOff, {}, converting, options, stop};
        return conversion::StartConverting(r);
    }
};

// Takes a flag without a value out of args; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag);

// Parses "FOLDER" plus the options given; returns false on a usage error.
bool ParseArgs(const std::vector<std::string>& args, std::string& folder,
               std::map<std::string, std::string>& options, std::ostream& err);

// Whether the folder holds tables; when not, says why.
bool CheckTables(Engine& engine, std::ostream& err);

// The --column-types value, or nothing (with a message) for another word.
std::optional<conversion::ColumnTypes> ColumnTypesOption(const std::string& value, std::ostream& err);

}  // namespace cli
