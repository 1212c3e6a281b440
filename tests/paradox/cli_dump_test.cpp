// dovenmark-cli run as a program: the dump command's output, its help and
// its exit statuses (0 done, 1 unreadable or damaged table or value, 2 usage error).
#include "paradox/writer/table_writer.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <sstream>

#include <fstream>
#include <vector>

namespace {

using paradox::FieldType;
using paradox::Value;

using testsupport::ProgramRun;

ProgramRun RunCli(const testsupport::TempDir& dir, const std::string& args)
{
    return testsupport::RunProgram(dir, testsupport::Quoted(DOVENMARK_CLI) + " " + args);
}

// A command line, its exit status, a text its standard output holds, and one
// its standard error holds (empty: nothing on standard error).
struct CliCase {
    std::string args;
    int status;
    std::string inOut;
    std::string inErr;
};

void ExpectRuns(const testsupport::TempDir& dir, const std::vector<CliCase>& cases)
{
    for (const auto& c : cases) {
        const ProgramRun r = RunCli(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE(r.out.find(c.inOut), std::string::npos) << c.args << ": " << r.out;
        if (c.inErr.empty())
            EXPECT_EQ(r.err, "") << c.args;
        else
            EXPECT_NE(r.err.find(c.inErr), std::string::npos) << c.args << ": " << r.err;
        // Every help fits a terminal of 80 columns, aligned with blanks.
        std::istringstream lines(c.args.find("help") != std::string::npos ? r.out : "");
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(line.size() <= 80 && line.find('\t') == std::string::npos) << c.args << ": " << line;
    }
}

TEST(CliDump, PrintsRecordLinesOfATable)
{
    testsupport::TempDir dir;
    paradox::writer::TableDesign design;
    design.fields = {{"Name", FieldType::Alpha, 12}, {"N", FieldType::Number}, {"Pic", FieldType::Blob, 10},
                   {"D", FieldType::Date}, {"Amount", FieldType::Bcd, 2}};
    paradox::writer::TableWriter w(design);
    w.addRecord({Value::ofText("Café\tx"), Value::ofDouble(0.1), Value::ofBytes("abc"),
                 Value::ofDate({1996, 5, 4}), Value::ofBcd("-12.5")});
    w.addRecord({});
    w.writeFiles(dir / "t.db", dir / "t.mb");
    const ProgramRun r = RunCli(dir, "dump '" + (dir / "t.db").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "@record 0\n"
              "0\tName\tCafé\\tx\n"
              "0\tName#raw\t436166E90978\n"
              "1\tN\t0.1\n"
              "2\tPic\tsize=3 sha256=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n"
              "3\tD\t1996-05-04\n"
              "4\tAmount\t-12.50\n"
              "@record 1\n"
              "0\tName\t\\N\n"
              "1\tN\t\\N\n"
              "2\tPic\t\\N\n"
              "3\tD\t\\N\n"
              "4\tAmount\t\\N\n");
}

// A table of 5 records whose memos of records 1 and 3 are kept in a .MB
// file that is missing.
void WriteMemosWithoutTheirFile(const std::filesystem::path& db)
{
    paradox::writer::TableDesign design;
    design.fields = {{"Id", FieldType::Long}, {"Memo", FieldType::Memo, 15}};
    paradox::writer::TableWriter w(design);
    for (int r = 0; r < 5; ++r)
        w.addRecord({Value::ofInteger(r), Value::ofText(r % 2 ? std::string(100, 'm') : "short")});
    const auto mb = std::filesystem::path(db).replace_extension(".mb");
    w.writeFiles(db, mb);
    std::filesystem::remove(mb);
}

// Three dates, whose block's record count has its high byte set to 2 (520
// instead of 8): the block claims 131 records.
void WriteCountDamagedInItsBlock(const std::filesystem::path& db)
{
    paradox::writer::TableDesign design;
    design.versionId = 9;
    design.fields = {{"D", FieldType::Date}};
    paradox::writer::TableWriter w(design);
    for (int day = 1; day <= 3; ++day)
        w.addRecord({Value::ofDate({1996, 5, day})});
    std::string bytes = w.databaseBytes();
    bytes[2048 + 5] = 0x02;
    std::ofstream(db, std::ios::binary) << bytes;
}

TEST(CliDump, HelpUsageErrorsAndUnreadableTables)
{
    testsupport::TempDir dir;
    std::ofstream(dir / "text.db") << "just some text, certainly not a Paradox table at all, long enough "
                                      "to pass the size check of the header reader.\n";
    WriteMemosWithoutTheirFile(dir / "memos.db");
    WriteCountDamagedInItsBlock(dir / "dates.db");
    ExpectRuns(dir, {
        {"--help", 0, "Usage: dovenmark-cli COMMAND", ""},
        {"--version", 0, "dovenmark-cli 1.", ""},
        {"", 2, "", "Usage: dovenmark-cli COMMAND"},
        {"frobnicate", 2, "", "unknown command 'frobnicate'"},
        {"dump --help", 0, "Usage: dovenmark-cli dump TABLE.db", ""},
        {"dump", 2, "", "expected one table file"},
        {"dump a.db b.db", 2, "", "expected one table file"},
        {"dump --binary t.db", 2, "", "dump: unknown option '--binary'"},
        {"script --help", 0, "Usage: dovenmark-cli script FOLDER", ""},
        {"describe --help", 0, "Usage: dovenmark-cli describe FOLDER", ""},
        {"convert --help", 0, "Usage: dovenmark-cli convert FOLDER", ""},
        {"dump '" + (dir / "missing.db").string() + "'", 1, "", "missing.db: cannot open the file"},
        {"dump '" + (dir / "text.db").string() + "'", 1, "", "text.db: not a Paradox table"},
        {"dump '" + (dir / "memos.db").string() + "'", 1,
         "1\tMemo\t\\N\n@record 2\n0\tId\t2\n1\tMemo\tshort\n@record 3\n0\tId\t3\n1\tMemo\t\\N\n@record 4\n",
         "memos.db: record 3, field Memo: the value is kept in the memo file (.MB), which is missing beside the table (shown as \\N)\n"},
        {"dump '" + (dir / "dates.db").string() + "'", 1, "0\tD\t1996-05-03\n@record 3\n0\tD\t\\N\n",
         "dates.db is damaged: the header says 3 records but 131 were read\n"},
    });
}

// --codepage on every command: a table whose header names no code page reads
// right in the one chosen, field names included; a byte the chosen code page
// cannot decode is U+FFFD for dump and script alike and is counted once per
// table; a name iconv does not know is a usage error before anything runs.
TEST(CliCodePage, ChosenCodePageReadsTextsAndNamesAndUndecodableBytesAreCounted)
{
    testsupport::TempDir dir;
    paradox::writer::TableDesign design;
    design.versionId = 3;  // no code page in the header
    design.codePage = 0;
    design.textEncoding = "CP866";
    design.fields = {{"Город", FieldType::Alpha, 12}};
    paradox::writer::TableWriter w(design);
    w.addRecord({Value::ofText("Москва Ш")});  // Ш is 0x98, which Windows-1251 leaves undefined
    std::filesystem::create_directory(dir / "f");
    w.writeFiles(dir / "f" / "towns.db", dir / "f" / "towns.mb");
    const std::string table = "'" + (dir / "f" / "towns.db").string() + "'";
    const std::string folder = "'" + (dir / "f").string() + "'";

    ExpectRuns(dir, {
        {"dump " + table + " --codepage CP866", 0, "0\tГород\tМосква Ш\n", ""},
        {"dump --codepage cp866 " + table, 0, "0\tГород\tМосква Ш\n", ""},
        {"dump " + table + " --codepage=CP866", 0, "0\tГород\tМосква Ш\n", ""},
        {"dump " + table, 0, "0\t\xC3\xA2\xC2\xAB", ""},  // CP437 letters, as the header names no code page
        {"script " + folder + " --codepage CP866", 0, "CREATE TABLE [TOWNS]([Город] TEXT);\nGO\nINSERT INTO [TOWNS] VALUES('Москва Ш')",
         "TOWNS: 1 record read\nDone.\n"},
        {"describe " + folder + " --codepage CP866", 0, "TOWNS\tГород\tchar\tTEXT", ""},
        {"dump " + table + " --codepage CP1251", 1, "\t\xD0\x8A\xC2\xAE\xD0\xB1\xD0\x84\xD1\x9E\xC2\xA0 \xEF\xBF\xBD\n",
         "1 byte of " + (dir / "f" / "towns.db").string() + " could not be decoded from CP1251"},
        {"script " + folder + " --codepage CP1251", 1, "VALUES('\xD0\x8A\xC2\xAE\xD0\xB1\xD0\x84\xD1\x9E\xC2\xA0 \xEF\xBF\xBD')",
         // One line without the window's words, naming the option; the table's summary; no "Done.".
         "dovenmark-cli: TOWNS: 1 byte of the table TOWNS could not be decoded from CP1251 and were written as "
         "U+FFFD. Another code page (--codepage NAME) may read them.\n"
         "TOWNS: 1 record read, 1 byte not decodable\n"
         "dovenmark-cli: not everything went through: 1 failure, each told above\n"},
        {"dump " + table + " --codepage NO-SUCH", 2, "", "unknown code page 'NO-SUCH'"},
        {"script " + folder + " --codepage NO-SUCH", 2, "", "unknown code page 'NO-SUCH'"},
        {"describe " + folder + " --codepage NO-SUCH", 2, "", "unknown code page 'NO-SUCH'"},
        {"convert " + folder + " --connection 'Driver={SQL Server};' --codepage NO-SUCH", 2, "", "unknown code page 'NO-SUCH'"},
        {"dump " + table + " --codepage", 2, "", "--codepage needs a NAME"},
        {"script --bom " + folder + " --codepage CP866", 0, "\xEF\xBB\xBF" "CREATE TABLE [TOWNS]",
         "TOWNS: 1 record read\nDone.\n"},
    });
}

}  // namespace
