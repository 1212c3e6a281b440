// The shared routines: paths, list lookups, titles, clipboard retries and the
// aligned text of ticked rows.
#include "core/app_title.h"
#include "core/clipboard_retries.h"
#include "core/list_items.h"
#include "core/list_rows.h"
#include "core/paths.h"

#include "platform/clipboard.h"
#include "platform/event_loop.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace core;

TEST(FormUtilities, FileNameOf)
{
    EXPECT_EQ(FileNameOf("/data/orders.db"), "orders.db");
    EXPECT_EQ(FileNameOf("C:\\data\\orders.db"), "orders.db");
    EXPECT_EQ(FileNameOf("orders.db"), "orders.db");
    EXPECT_EQ(FileNameOf("/data/"), "");
    EXPECT_EQ(FileNameOf(""), "");
}

TEST(FormUtilities, IsFolderAndFileExistsSwallowEveryFailure)
{
    testsupport::TempDir dir;
    const std::string file = (dir / "HAND-M.CUR").string();
    std::ofstream(file) << "x";
    EXPECT_TRUE(IsFolder(dir.str()));
    EXPECT_FALSE(IsFolder(file));
    EXPECT_FALSE(IsFolder((dir / "missing").string()));
    EXPECT_FALSE(IsFolder(""));
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists((dir / "missing.cur").string()));
    EXPECT_FALSE(FileExists(file + "/below-a-file"));
    EXPECT_FALSE(FileExists(""));
}

TEST(FormUtilities, ListContainsIgnoresCaseRemoveFromListDoesNot)
{
    ListItems list{"ORDERS", "orders", "Items", "ÄPFEL"};
    EXPECT_TRUE(ListContains(list, "Orders"));
    EXPECT_TRUE(ListContains(list, "äpfel"));
    EXPECT_FALSE(ListContains(list, "Order"));
    EXPECT_FALSE(ListContains({}, "x"));

    RemoveFromList(list, "Orders");
    EXPECT_EQ(list.size(), 4u);
    list.insert(list.begin() + 1, "orders");  // two adjacent equal items
    RemoveFromList(list, "orders");
    EXPECT_EQ(list, (ListItems{"ORDERS", "Items", "ÄPFEL"}));
}

TEST(FormUtilities, AppTitleAndDriveRoot)
{
    EXPECT_EQ(ShortenTitle(kProductFullName), "Dovenmark");
    SetAppTitle();
    EXPECT_EQ(AppTitle(), "Dovenmark");
    EXPECT_EQ(ShortenTitle("Alpha Beta Gamma"), "Alpha Beta");
    EXPECT_EQ(ShortenTitle("A " + std::string(45, 'x') + " tail"), "A");
    EXPECT_EQ(ShortenTitle("Single"), "Single");

    EXPECT_EQ(ProgramDriveRoot({"/opt/dovenmark", "/"}), "/");
    EXPECT_EQ(ProgramDriveRoot({"/tmp/x/prog", "/tmp/x"}), "/tmp/x/");
}

namespace {
// A clipboard that refuses a number of attempts before it takes one.
struct FlakyClipboard : platform::Clipboard {
    int refusals = 0;
    int attempts = 0;
    std::string text = "old";
    bool clear() override
    {
        ++attempts;
        if (refusals > 0) {
            --refusals;
            return false;
        }
        text.clear();
        return true;
    }
    bool setText(const std::string& t, int) override
    {
        ++attempts;
        if (refusals > 0) {
            --refusals;
            throw std::runtime_error("clipboard busy");
        }
        text = t;
        return true;
    }
};

struct Rows : ListRows {
    std::vector<std::vector<std::string>> cells;
    std::vector<bool> ticks;
    int rowCount() const override { return static_cast<int>(cells.size()); }
    int columnCount() const override { return cells.empty() ? 0 : static_cast<int>(cells[0].size()); }
    std::string cell(int r, int c) const override
    {
        return cells.at(static_cast<std::size_t>(r - 1)).at(static_cast<std::size_t>(c - 1));
    }
    bool checked(int r) const override { return ticks.at(static_cast<std::size_t>(r - 1)); }
};
}  // namespace

TEST(Clipboard, RetriesUpToAThousandAttempts)
{
    FlakyClipboard c;
    c.refusals = 999;
    EXPECT_TRUE(PutClipboardText(c, "abc", 0));
    EXPECT_EQ(c.attempts, 1000);
    EXPECT_EQ(c.text, "abc");

    FlakyClipboard never;
    never.refusals = 5000;
    EXPECT_FALSE(PutClipboardText(never, "abc", 0));
    EXPECT_EQ(never.attempts, 1000);
    ClearClipboard(never);
    EXPECT_EQ(never.attempts, 2000);
    EXPECT_EQ(never.text, "old");
}

TEST(CopyCheckedRows, AlignedTicksOnlyTrailingSpacesTrimmed)
{
    platform::NoEventLoop events;
    Rows rows;
    rows.cells = {{"ab", "x"}, {"longer-but-unticked", "zzz"}, {"abcd", "yy"}};
    rows.ticks = {true, false, true};
    // Widths count every row, ticked or not.
    EXPECT_EQ(CheckedRowsText(rows, events),
              "ab" + std::string(17, ' ') + "\tx\r\nabcd" + std::string(15, ' ') + "\tyy\r\n");

    Rows example;
    example.cells = {{"ab", "x"}, {"abcd", "yy"}};
    example.ticks = {true, true};
    EXPECT_EQ(CheckedRowsText(example, events), "ab  \tx\r\nabcd\tyy\r\n");

    FlakyClipboard c;
    example.ticks = {false, false};
    CopyCheckedRows(example, c, events);
    EXPECT_EQ(c.text, "");  // rows but none ticked: empty text on the clipboard

    FlakyClipboard untouched;
    CopyCheckedRows(Rows{}, untouched, events);
    EXPECT_EQ(untouched.text, "old");
    EXPECT_EQ(untouched.attempts, 0);

    Rows unicode;
    unicode.cells = {{"äö", "1"}, {"abc", "2"}};
    unicode.ticks = {true, true};
    EXPECT_EQ(CheckedRowsText(unicode, events), "äö \t1\r\nabc\t2\r\n");
}
