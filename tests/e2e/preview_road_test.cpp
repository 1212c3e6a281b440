// The SQL Preview road as a user walks it, with the real main window, the real
// preview windows, real tables and the real ODBC path (SQLite registered as
// "SQL Server"): per-table and per-file previews, an SQL error on row 5 of 9,
// replace in all lines, edit the failing line and execute again (only what has
// not run, or was edited since), skip after an error, and the datatype rows of
// a three-table preview.
#include "paradox/writer/table_writer.h"
#include "preview/form2.h"
#include "preview/form3.h"
#include "preview/form4.h"
#include "preview/form5.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/e2e/real_windows.h"
#include "tests/support/sqlite_read.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using paradox::FieldType;
using paradox::Value;

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new OdbcTestEnvironment(
    "[SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=" + SqliteDriverLibrary() + "\n"));

long long Count(const fs::path& database, const std::string& table)
{
    const std::string n = ReadOne(database, "SELECT COUNT(*) FROM [" + table + "]");
    return n.empty() ? -1 : std::stoll(n);
}

struct PreviewRoad : ::testing::Test, RealWindows {
    fs::path database = OdbcTestEnvironment::dataFolder()
        / (std::string("road-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".sqlite");

    PreviewRoad()
    {
        fs::remove(database);
        fs::create_directories(root / "tables");
        form.Text1->setText(QString::fromStdString((root / "tables").string()));
        form.Text5->setText("localhost");
        form.Text8->setText(QString::fromStdString(database.string()));
    }
    ~PreviewRoad() override { fs::remove(database); }

    void table(const std::string& name, int records)
    {
        paradox::writer::TableDesign design;
        design.fields = {{"ID", FieldType::Long}, {"NAME", FieldType::Alpha, 20}};
        paradox::writer::TableWriter w(design);
        for (int i = 1; i <= records; ++i)
            w.addRecord({Value::ofInteger(i), Value::ofText("n" + std::to_string(i))});
        w.writeFiles(root / "tables" / (name + ".db"), root / "tables" / (name + ".mb"));
    }
    static preview::Form2& Preview(QWidget* w) { return *dynamic_cast<preview::Form2*>(w); }
};

}  // namespace

TEST_F(PreviewRoad, PerTableErrorOnRowFiveReplaceEditAndExecuteAgain)
{
    table("A", 8);  // 8 records: 9 lines
    form.Check1->setChecked(true);
    form.Option2->setChecked(true);
    script.push_back([&](QWidget* w) {
        auto& f = Preview(w);
        auto& list = form.handOff.preview.list();
        ASSERT_EQ(list.count(), 9);
        list.setText(5, "INSERT INTO [A] VALUES(4, 'n4'");  // broken as a typo would
        f.PushButton1->click();
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(windows.ErrorLine, 5);
        EXPECT_EQ(f.ListView1->currentIndex().row(), 4);
        EXPECT_NE(f.errorText().find("SQLException"), std::string::npos) << f.errorText();
        EXPECT_EQ(Count(database, "A"), 3);  // rows 1 to 4: the create and three inserts
        EXPECT_TRUE(form.handOff.SQLFormCancel);
        // Replace changes row 2, which ran; Edit Line mends row 5; execute again.
        f.PushButton3->click();
        f.ListView1->setCurrentIndex(f.ListView1->model()->index(4, 0));
        emit f.ListView1->clicked(f.ListView1->model()->index(4, 0));
        f.PushButton1->click();
        if (f.isVisible())
            f.close();  // a failed second execute must not leave the run waiting
    });
    script.push_back([&](QWidget* w) {  // Find and Replace
        auto& f = *dynamic_cast<preview::Form3*>(w);
        f.Text1->setText("'N1'");
        f.Text2->setText("'n1 again'");
        f.PushButton2->click();
    });
    script.push_back([&](QWidget* w) {  // Edit Line on row 5
        auto& f = *dynamic_cast<preview::Form4*>(w);
        EXPECT_EQ(f.Text1->toPlainText(), "INSERT INTO [A] VALUES(4, 'n4'");
        f.Text1->setPlainText("INSERT INTO [A] VALUES(4, 'n4')");
        f.PushButton2->click();
    });
    form.PushButton7->click();
    EXPECT_TRUE(script.empty());
    // The second execute went on at the edited rows: no line ran twice.
    EXPECT_EQ(ReadRows(database, "SELECT [NAME] FROM [A] ORDER BY rowid"),
              "n1\nn2\nn3\nn1 again\nn4\nn5\nn6\nn7\nn8\n");
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{"Error found.", "Done.", "Done."}));
}

TEST_F(PreviewRoad, SkipAfterAnErrorGoesOnWithTheNextTable)
{
    table("A", 2);
    table("B", 2);
    form.Check1->setChecked(true);
    form.Option2->setChecked(true);
    for (int t = 0; t < 2; ++t) {
        script.push_back([&](QWidget* w) {
            auto& f = Preview(w);
            form.handOff.preview.list().setText(3, "INSERT INTO [nowhere] VALUES(1)");
            f.PushButton1->click();
            EXPECT_EQ(windows.ErrorLine, 3);
            f.PushButton9->click();
        });
    }
    form.PushButton7->click();
    EXPECT_TRUE(script.empty());
    // Each table: its create and first insert stay on the server.
    EXPECT_EQ(Count(database, "A"), 1);
    EXPECT_EQ(Count(database, "B"), 1);
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{"Error found.", "Error found.",
                                                         "Done.\r\n\r\nNot converted:\r\nA: its SQL Preview was not "
                                                         "executed to the end\r\nB: its SQL Preview was not executed "
                                                         "to the end"}));
}

TEST_F(PreviewRoad, PerFilePreviewOfThreeTablesWithTheirDatatypes)
{
    table("ONE", 2);
    table("TWO", 3);
    table("THREE", 1);
    form.Check1->setChecked(true);
    form.Option1->setChecked(true);
    script.push_back([&](QWidget* w) {
        auto& f = Preview(w);
        EXPECT_EQ(form.handOff.preview.list().count(), 3 + 6);
        f.PushButton7->click();
        f.PushButton1->click();  // every line runs; the window closes
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<preview::Form5*>(w);
        auto* model = f.ListView1->model();
        ASSERT_EQ(model->rowCount(), 6);
        std::set<std::string> tablesShown;
        for (int r = 0; r < 6; ++r)
            tablesShown.insert(model->index(r, 0).data().toString().toStdString());
        EXPECT_EQ(tablesShown, (std::set<std::string>{"ONE", "TWO", "THREE"}));
        EXPECT_EQ(model->index(0, 2).data().toString(), "int");
        EXPECT_EQ(model->index(1, 3).data().toString(), "TEXT");
        f.PushButton5->click();
    });
    form.PushButton7->click();
    EXPECT_TRUE(script.empty());
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(Count(database, "ONE"), 2);
    EXPECT_EQ(Count(database, "TWO"), 3);
    EXPECT_EQ(Count(database, "THREE"), 1);
}
