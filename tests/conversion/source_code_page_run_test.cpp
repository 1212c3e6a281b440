// The run and the source code page: the setting is read at the start of each
// run and handed to the source connection; an unknown name is reported once and
// nothing is converted; a table with undecodable bytes is reported once.
#include "conversion/conversion_run.h"
#include "core/settings_keys.h"

#include "tests/support/fake_server.h"
#include "tests/support/run_services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>

using namespace testsupport;
using paradox::Value;

namespace {

// Tables in memory whose texts hold `undecodable` bytes that no code page but
// "CP866" decodes; the connection knows only the names in `known`.
struct CodePageSources : platform::SourceConnectionFactory {
    struct Recordset : MemoryRecordset {
        Recordset(const MemoryTable& t, std::string codePage, std::uint64_t undecodable)
            : MemoryRecordset(t.fields, t.rows), codePage_(std::move(codePage)), undecodable_(undecodable)
        {
        }
        std::string codePage() const override { return codePage_; }
        std::uint64_t undecodableBytes() const override { return undecodable_; }
        std::string codePage_;
        std::uint64_t undecodable_;
    };
    struct Connection : MemorySourceConnection {
        explicit Connection(CodePageSources& f) : MemorySourceConnection(f.tables), f_(f) {}
        void setSourceCodePage(const std::string& name) override
        {
            f_.handedOver.push_back(name);
            if (!name.empty() && name != "CP866" && name != "CP437")
                throw std::invalid_argument("The source code page " + name + " is not known.");
            codePage_ = name.empty() ? "CP437" : name;
        }
        std::unique_ptr<platform::SourceRecordset> openRecordset(const std::string& query) override
        {
            MemorySourceConnection::openRecordset(query);  // the same checks
            const std::string name = query.substr(15, query.size() - 16);
            return std::make_unique<Recordset>(f_.tables.at(name), codePage_,
                                               codePage_ == "CP866" ? 0 : f_.undecodable.at(name));
        }
        CodePageSources& f_;
        std::string codePage_;
    };
    std::unique_ptr<platform::SourceConnection> create() override { return std::make_unique<Connection>(*this); }

    std::map<std::string, MemoryTable> tables;
    std::map<std::string, std::uint64_t> undecodable;
    std::vector<std::string> handedOver;
};

struct SourceCodePageRun : ::testing::Test, RunServices<FakeServerFactory, CodePageSources> {};

TEST_F(SourceCodePageRun, SettingIsReadEachRunUnknownNamesStopItAndUndecodableBytesAreReportedPerTable)
{
    std::filesystem::create_directories(dir / "tables");
    fill(dir / "tables", "SRV", "Target");
    for (const char* name : {"A", "B", "C"}) {
        std::ofstream(dir / "tables" / (std::string(name) + ".db")) << "";
        sources.tables[name] = MemoryTable{{{"S", 202}}, {{Value::ofText("x")}, {Value::ofText("y")}}};
    }
    sources.undecodable = {{"A", 3}, {"B", 0}, {"C", 1}};
    auto run = [&](const std::optional<std::string>& codePage) {
        if (codePage)
            settings.write(core::kSettingsApplication, core::kSettingsSection, core::key::SourceCodePage, *codePage);
        dialogs.messages.clear();
        servers.state.executed.clear();
        core::GuardedOperation op(dialogs, conversion::kRunLocation);
        convert(conversion::RunOptionsFromSettings(settings, op));  // as the window does
        std::vector<std::string> texts;
        for (const auto& m : dialogs.messages)
            texts.push_back(m.text.substr(0, m.text.find('\r')));
        std::sort(texts.begin(), texts.end());  // whatever the order of the tables
        return texts;
    };

    // Absent: each table's own code page; tables C and A are reported, B is not.
    EXPECT_EQ(run(std::nullopt),
              (std::vector<std::string>{
                  "1 byte of the table C could not be decoded from CP437 and were written as U+FFFD. Another code page "
                  "(setting \"Source Code Page\") may read them.",
                  "3 bytes of the table A could not be decoded from CP437 and were written as U+FFFD. Another code "
                  "page (setting \"Source Code Page\") may read them.",
                  "Done."}));
    EXPECT_EQ(servers.state.executed.size(), 9u);
    EXPECT_NE(dialogs.messages[1].text.find("at line 421"), std::string::npos) << dialogs.messages[1].text;

    EXPECT_EQ(run("CP866"), std::vector<std::string>{"Done."});
    EXPECT_EQ(servers.state.executed.size(), 9u);

    const auto unknown = run("KOI-9");
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0], "The source code page KOI-9 is not known.");
    EXPECT_NE(dialogs.messages[0].text.find("at line 114"), std::string::npos) << dialogs.messages[0].text;
    EXPECT_TRUE(servers.state.executed.empty());
    EXPECT_FALSE(converting);

    EXPECT_EQ(sources.handedOver, (std::vector<std::string>{"", "CP866", "KOI-9"}));
}

}  // namespace
