// dovenmark-cli: the headless companion. The first argument names the command;
// "--help" works overall and for each command; usage errors exit with 2.
#include "cli/commands.h"

#include <cstring>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

namespace {

const cli::Command kCommands[] = {
    {"dump", "print every record of a Paradox table", cli::dumpHelp, cli::dumpRun},
    {"script", "print the SQL statements for a folder of tables", cli::scriptHelp, cli::scriptRun},
    {"describe", "print the column type chosen for every field", cli::describeHelp, cli::describeRun},
    {"convert", "convert a folder of tables into a server database", cli::convertHelp, cli::convertRun},
    {"verify", "compare a converted folder with the server's tables", cli::verifyHelp, cli::verifyRun},
};

void overallHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli COMMAND [ARGUMENTS]\n"
           "       dovenmark-cli COMMAND --help\n"
           "       dovenmark-cli --version\n\n"
           "Commands:\n";
    // Aligned with blanks, so that every terminal shows one column.
    for (const auto& c : kCommands)
        out << "  " << std::left << std::setw(10) << c.name << c.summary << "\n";
}

// "--name=value" is "--name value", as most commands take it.
std::vector<std::string> Arguments(char** first, char** last)
{
    std::vector<std::string> args;
    for (char** a = first; a != last; ++a) {
        const std::string arg = *a;
        const auto equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos && equals > 2) {
            args.push_back(arg.substr(0, equals));
            args.push_back(arg.substr(equals + 1));
        } else {
            args.push_back(arg);
        }
    }
    return args;
}

}  // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        overallHelp(std::cerr);
        return cli::kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        overallHelp(std::cout);
        return cli::kExitOk;
    }
    if (name == "--version" || name == "-v") {
        std::cout << "dovenmark-cli " << DOVENMARK_VERSION << "\n";
        return cli::kExitOk;
    }
    for (const auto& c : kCommands) {
        if (name != c.name)
            continue;
        const std::vector<std::string> args = Arguments(argv + 2, argv + argc);
        for (const auto& a : args) {
            if (a == "--help" || a == "-h") {
                c.help(std::cout);
                return cli::kExitOk;
            }
        }
        return c.run(args, std::cout, std::cerr);
    }
    std::cerr << "dovenmark-cli: unknown command '" << name << "'\n\n";
    overallHelp(std::cerr);
    return cli::kExitUsage;
}
