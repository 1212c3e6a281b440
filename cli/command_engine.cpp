// The command-line pieces the commands share.
#include "cli/command_engine.h"

#include "sources/paradox_module.h"

#include <algorithm>
#include <exception>
#include <ostream>

namespace cli {

bool TakeFlag(std::vector<std::string>& args, const std::string& flag)
{
    const auto at = std::find(args.begin(), args.end(), flag);
    if (at == args.end())
        return false;
    args.erase(at);
    return true;
}

bool ParseArgs(const std::vector<std::string>& args, std::string& folder,
               std::map<std::string, std::string>& options, std::ostream& err)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) == 0) {
            if (!options.count(a) || i + 1 >= args.size()) {
                err << "dovenmark-cli: unknown option or missing value: " << a << "\n";
                return false;
            }
            options[a] = args[++i];
        } else if (folder.empty()) {
            folder = a;
        } else {
            err << "dovenmark-cli: unexpected argument: " << a << "\n";
            return false;
        }
    }
    if (folder.empty()) {
        err << "dovenmark-cli: a FOLDER is needed\n";
        return false;
    }
    return true;
}

bool CheckTables(Engine& engine, std::ostream& err)
{
    bool has = false;
    try {
        has = Paradox::HasTables(engine.services, engine.form);
    } catch (const std::exception& e) {
        err << "dovenmark-cli: " << e.what() << "\n";
        return false;
    }
    if (!has)
        err << "dovenmark-cli: " << Paradox::NoTablesReason(engine.form.folder()) << "\n";
    return has;
}

std::optional<conversion::ColumnTypes> ColumnTypesOption(const std::string& value, std::ostream& err)
{
    const std::optional<conversion::ColumnTypes> types = conversion::ColumnTypesNamed(value);
    if (!types)
        err << "dovenmark-cli: --column-types takes text or sqlserver, not '" << value << "'\n";
    return types;
}

}  // namespace cli
