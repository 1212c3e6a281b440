// dovenmark-cli dump TABLE.db: prints the table's records, one "@record n"
// line and one "index<TAB>name<TAB>value" line per field; unreadable values
// and a damaged table are reported on standard error.
#include "cli/commands.h"

#include "paradox/error.h"
#include "paradox/record_text.h"
#include "paradox/table.h"

#include <ostream>

namespace cli {

void dumpHelp(std::ostream& out)
{
    out << "Usage: dovenmark-cli dump TABLE.db [--codepage NAME]\n\n"
           "Prints every record of a Paradox table in chain order:\n"
           "  @record <n>\n"
           "  <index>\\t<field name>\\t<value>\n"
           "NULL is \\N; texts are UTF-8 with \\\\ \\t \\n \\r and \\xHH escapes, followed by a\n"
           "<index>\\t<name>#raw\\t<hex> line when the stored text has bytes of 0x80 and\n"
           "above; numbers are the shortest round-trip decimal; dates YYYY-MM-DD, times\n"
           "HH:MM:SS.mmm; Bytes as hex; binary blobs as size=<n> sha256=<hex>; BCD as its\n"
           "exact decimal.\n"
           "--codepage NAME reads texts and field names in that code page (any name iconv\n"
           "knows, such as CP866 or CP1251) instead of the one the header names; bytes it\n"
           "cannot decode are shown as U+FFFD and counted on standard error.\n"
           "A value that cannot be read is shown as \\N; its record and field go to standard\n"
           "error and the dump goes on. A damaged table (records read that differ from the\n"
           "record count in its header, or data blocks that do not chain as the header says)\n"
           "is read as far as it can be and reported on standard error after its records.\n"
           "Exit status 1 for a table that cannot be read (the error on standard error), an\n"
           "unreadable value, bytes that could not be decoded or a damaged table; 2 for a\n"
           "usage error; 0 otherwise.\n";
}

int dumpRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::string file, codePage;
    bool usage = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--codepage" && i + 1 < args.size()) {
            codePage = args[++i];
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            // An option is named, so that it is not taken for a second table.
            err << "dovenmark-cli dump: " << (args[i] == "--codepage" ? "--codepage needs a NAME" : "unknown option '"
                   + args[i] + "'") << " (see dovenmark-cli dump --help)\n";
            return kExitUsage;
        } else if (file.empty() && !args[i].empty()) {
            file = args[i];
        } else {
            usage = true;
        }
    }
    if (usage || file.empty()) {
        err << "dovenmark-cli dump: expected one table file (see dovenmark-cli dump --help)\n";
        return kExitUsage;
    }
    if (!CheckCodePage(codePage, err))
        return kExitUsage;
    std::string text;
    bool reported = false;
    const auto unreadable = [&](const paradox::FormatError& e) {
        err << "dovenmark-cli dump: " << e.what() << " (shown as \\N)\n";
        reported = true;
    };
    try {
        auto table = paradox::Table::open(file, codePage);
        while (table->next()) {
            paradox::AppendRecordLines(*table, text, unreadable);
            if (text.size() > (1u << 16)) {
                out << text;
                text.clear();
            }
        }
        out << text;
        out.flush();
        if (table->undecodableBytes() > 0) {
            err << "dovenmark-cli dump: " << table->undecodableBytes()
                << (table->undecodableBytes() == 1 ? " byte of " : " bytes of ") << file
                << " could not be decoded from " << table->textEncoding()
                << " and are shown as U+FFFD; --codepage NAME reads them in another code page\n";
            reported = true;
        }
        if (const auto damage = table->damage()) {
            err << "dovenmark-cli dump: " << file << " is damaged: " << *damage << "\n";
            reported = true;
        }
        return out && !reported ? kExitOk : kExitFailure;
    } catch (const std::exception& e) {
        out << text;
        out.flush();
        err << "dovenmark-cli dump: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace cli
