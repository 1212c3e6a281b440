// dovenmark-cli dump TABLE.db: prints the table's records, one "@record n"
// line and one "index<TAB>name<TAB>value" line per field.
#include "cli/commands.h"

#include "paradox/error.h"
#include "paradox/record_text.h"
#include "paradox/table.h"

#include <ostream>

namespace cli {

void dumpHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli dump TABLE.db\n\n"
           "Prints every record of a Paradox table in chain order:\n"
           "  @record <n>\n"
           "  <index>\\t<field name>\\t<value>\n"
           "NULL is \\N; texts are UTF-8 with \\\\ \\t \\n \\r and \\xHH escapes, followed by a\n"
           "<index>\\t<name>#raw\\t<hex> line when the stored text has bytes of 0x80 and above;\n"
           "numbers are the shortest round-trip decimal; dates YYYY-MM-DD, times HH:MM:SS.mmm;\n"
           "Bytes as hex; binary blobs as size=<n> sha256=<hex>; BCD as its exact decimal.\n"
           "A table that cannot be read: the error on standard error and exit status 1.\n";
}

int dumpRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        err << "dovenmark-cli dump: expected one table file (see dovenmark-cli dump --help)\n";
        return kExitUsage;
    }
    std::string text;
    try {
        auto table = paradox::Table::open(args[0]);
        while (table->next()) {
            paradox::appendRecordLines(*table, text);
            if (text.size() > (1u << 16)) {
                out << text;
                text.clear();
            }
        }
        out << text;
        out.flush();
        return out ? kExitOk : kExitFailure;
    } catch (const std::exception& e) {
        out << text;
        out.flush();
        err << "dovenmark-cli dump: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace cli
