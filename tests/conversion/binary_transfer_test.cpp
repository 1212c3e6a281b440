// Binary data on request: the binary constants of the insert statement, and a
// run that reads a blob only when it writes it, following "Transfer Binary".
#include "conversion/conversion_run.h"
#include "conversion/sql_text.h"
#include "core/settings_keys.h"
#include "platform/event_loop.h"

#include "tests/support/fake_form.h"
#include "tests/support/fake_server.h"
#include "tests/support/memory_settings.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

using namespace testsupport;
using paradox::Value;

TEST(BinaryConstants, BinaryFieldsOnlyAndOnlyWhenAsked)
{
    using namespace std::string_literals;
    const std::string bytes = "\x00\xAB\xFF\x7F"s;
    struct Case {
        bool transfer;
        std::int16_t type;  // the field between an INT and a TEXT field
        Value value;
        const char* expected;
    };
    const Case cases[] = {
        {true, 205, Value::ofBytes(bytes), "VALUES(1, 0x00ABFF7F, 'x')"},
        {true, 205, Value::ofBytes(""), "VALUES(1, 0x, 'x')"},
        {true, 205, Value::null(), "VALUES(1,NULL, 'x')"},
        {true, 205, Value::ofText("AB"), "VALUES(1, 0x4142, 'x')"},
        {false, 205, Value::ofBytes(bytes), "VALUES(1,NULL, 'x')"},
        {false, 205, Value::ofBytes(""), "VALUES(1,NULL, 'x')"},
        // Bytes fields (adBinary) keep their TEXT column and their quoted hex text either way.
        {true, 128, Value::ofBytes(bytes), "VALUES(1, '0x00ABFF7F', 'x')"},
        {false, 128, Value::ofBytes(bytes), "VALUES(1, '0x00ABFF7F', 'x')"},
    };
    platform::NoEventLoop events;
    for (const Case& c : cases) {
        conversion::TableScript script;
        script.start("T");
        script.addField(0, "ID", 3, nullptr);
        script.addField(1, "PIC", c.type, nullptr);
        script.addField(2, "NAME", 202, nullptr);
        script.finishCreate();
        conversion::InsertBuilder builder(script, {}, events);
        builder.setTransferBinary(c.transfer);
        builder.begin();
        builder.add(0, Value::ofInteger(1));
        builder.add(1, c.value);
        builder.add(2, Value::ofText("x"));
        EXPECT_EQ(builder.finish(), std::string("INSERT INTO [T] ") + c.expected)
            << c.type << (c.transfer ? " transferred" : " not transferred");
    }
}

namespace {

// A table of four pictures whose second and third lie in a damaged memo file;
// counts every read of a picture.
class Pictures : public platform::SourceRecordset {
public:
    explicit Pictures(int& reads) : reads_(reads) {}
    int fieldCount() const override { return 2; }
    const std::string& fieldName(int i) const override { return names_[static_cast<std::size_t>(i)]; }
    std::int16_t fieldType(int i) const override { return i == 0 ? 3 : 205; }
    Value value(int i) override
    {
        if (i == 0)
            return Value::ofInteger(record_ + 1);
        ++reads_;
        if (record_ == 1 || record_ == 2)
            throw std::runtime_error("PICS.MB: blob at offset 4096: the block is not a blob block");
        return Value::ofBytes(record_ == 0 ? "\x01\x02" : "\xFE");
    }
    bool eof() const override { return record_ >= 4; }
    bool bof() const override { return false; }
    std::int64_t recordCount() const override { return 4; }
    void moveNext() override { ++record_; }
    void close() override {}

private:
    int& reads_;
    int record_ = 0;
    const std::string names_[2] = {"ID", "PIC"};
};

class PictureConnection : public platform::SourceConnection {
public:
    explicit PictureConnection(int& reads) : reads_(reads) {}
    void setCursorLocation(int) override {}
    void open(const std::string&) override {}
    std::unique_ptr<platform::SourceRecordset> openRecordset(const std::string&) override
    {
        return std::make_unique<Pictures>(reads_);
    }
    void close() override {}

private:
    int& reads_;
};

struct PictureSource : platform::SourceConnectionFactory {
    int reads = 0;
    std::unique_ptr<platform::SourceConnection> create() override
    {
        return std::make_unique<PictureConnection>(reads);
    }
};

}  // namespace

// The first picture that cannot be read is reported, and the others of its
// field once together at the table's end: a damaged .MB file fails them all.
TEST(BinaryTransfer, TheRunReadsPicturesOnlyWhenAskedAndReportsADamagedOneOnce)
{
    struct Case {
        std::optional<std::string> setting;
        std::vector<std::string> executed;
        int reads;
        std::vector<int> reportSteps;
    };
    const std::vector<std::string> asNull = {"CREATE TABLE [PICS]([ID] INT,[PIC] VARBINARY(MAX));",
                                             "INSERT INTO [PICS] VALUES(1,NULL)", "INSERT INTO [PICS] VALUES(2,NULL)",
                                             "INSERT INTO [PICS] VALUES(3,NULL)", "INSERT INTO [PICS] VALUES(4,NULL)"};
    const std::vector<std::string> asBytes = {"CREATE TABLE [PICS]([ID] INT,[PIC] VARBINARY(MAX));",
                                              "INSERT INTO [PICS] VALUES(1, 0x0102)",
                                              "INSERT INTO [PICS] VALUES(2,NULL)", "INSERT INTO [PICS] VALUES(3,NULL)",
                                              "INSERT INTO [PICS] VALUES(4, 0xFE)"};
    const Case cases[] = {
        {std::nullopt, asNull, 0, {}},
        {"False", asNull, 0, {}},
        {"True", asBytes, 4, {334, 334}},
        {"true", asBytes, 4, {334, 334}},
        {"maybe", asNull, 0, {108}},  // a text that is no boolean is reported and leaves the choice off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting.value_or("(absent)"));
        TempDir dir;
        std::ofstream(dir / "pics.db") << "";
        FakeForm form;
        form.Text1 = dir.str();
        form.Text5 = "SRV";
        ScriptedDialogs dialogs;
        platform::NoEventLoop events;
        FakeServerFactory servers;
        PictureSource source;
        RecordingDesktop desktop;
        MemorySettings settings;
        if (c.setting)
            settings.SaveSetting(core::kSettingsApplication, core::kSettingsSection, core::key::TransferBinary,
                                 *c.setting);
        conversion::PreviewHandOff handOff;
        bool converting = false;
        RecordingClipboard clipboard;
        core::Services services{dialogs, settings, clipboard, desktop, events, servers, source, {dir.str(), dir.str()}};
        conversion::Run run{services, form, handOff, {}, converting, {}};
        core::GuardedOperation op(dialogs, conversion::kRunLocation);
        run.options = conversion::RunOptionsFromSettings(settings, op);  // as the window does
        conversion::StartConverting(run);

        EXPECT_EQ(servers.state.executed, c.executed);
        EXPECT_EQ(source.reads, c.reads);
        ASSERT_EQ(dialogs.messages.size(), c.reportSteps.size() + 1);
        for (std::size_t i = 0; i < c.reportSteps.size(); ++i)
            EXPECT_NE(dialogs.messages[i].text.find("at line " + std::to_string(c.reportSteps[i])),
                      std::string::npos) << dialogs.messages[i].text;
        if (c.reportSteps.size() == 2) {
            EXPECT_EQ(dialogs.messages[1].text.rfind("1 more value of the field PIC could not be read, as the first "
                                                     "one reported, and was written as NULL.", 0), 0u);
        }
        EXPECT_EQ(dialogs.messages.back().text.rfind("Done.", 0), 0u);  // with the failures counted after it
    }
}
