// The error report: its exact text, and how a guarded operation numbers,
// reports and continues.
#include "core/error_report.h"

#include "tests/support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>

using core::ErrorReportText;
using core::GuardedOperation;

namespace {
const char* kLoad = "Quillon2021/08/31.Form1.Form_Load ";
}

TEST(ErrorReport, TextExactly)
{
    EXPECT_EQ(ErrorReportText("Type mismatch", kLoad, 130),
              "Type mismatch\r\nin Quillon2021/08/31.Form1.Form_Load at line 130\r\r"
              "Please email screenshot of this message to support@marrowby.example");
    // A description ending in a line break still gets its CR LF.
    EXPECT_EQ(ErrorReportText("Bad\r\n", "L ", 100).substr(0, 12), "Bad\r\n\r\nin L ");
}

TEST(GuardedOperation, ReportsEachFailingStepAndGoesOn)
{
    testsupport::ScriptedDialogs dialogs;
    GuardedOperation op(dialogs, kLoad);
    std::vector<int> ran;
    op.step(100, [&] { throw std::runtime_error("first"); });
    op.step(102, [&] { ran.push_back(102); });
    op.step(104, [&] { throw std::runtime_error("second"); });
    op.step(106, [&] { ran.push_back(106); });

    EXPECT_EQ(ran, (std::vector<int>{102, 106}));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, ErrorReportText("first", kLoad, 100));
    EXPECT_EQ(dialogs.messages[1].text, ErrorReportText("second", kLoad, 104));
    for (const auto& m : dialogs.messages) {
        EXPECT_EQ(m.title, "Application Error");
        EXPECT_EQ(m.buttons, platform::Buttons::Ok);
        EXPECT_EQ(m.icon, platform::Icon::Warning);
    }
    EXPECT_EQ(op.failures(), 2);
}

TEST(GuardedOperation, FailureInACalledRoutineCarriesTheCallersStep)
{
    testsupport::ScriptedDialogs dialogs;
    GuardedOperation op(dialogs, "Quillon2021/08/31.Form1.PushButton7_Click ");
    auto routineWithoutReport = [] { throw std::runtime_error("Could not find file 'X'."); };
    op.step(116, [] {});
    op.step(118, routineWithoutReport);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("in Quillon2021/08/31.Form1.PushButton7_Click at line 118\r\r"),
              std::string::npos);
}

TEST(GuardedOperation, AFailingTestCountsAsFalseAndNonStandardExceptionsAreReported)
{
    testsupport::ScriptedDialogs dialogs;
    GuardedOperation op(dialogs, "L ");
    EXPECT_FALSE(op.test(100, []() -> bool { throw std::logic_error("broken test"); }));
    EXPECT_TRUE(op.test(102, [] { return true; }));
    EXPECT_FALSE(op.step(104, [] { throw 42; }));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].text.rfind("Unknown error\r\nin L at line 104", 0), 0u);
}
