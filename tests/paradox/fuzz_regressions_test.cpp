// Replays every input that once made a fuzz target fail: "table-*" files go
// through the table reader, "tablemb-*" through the table reader with a .MB,
// "blob-*" files through the .MB reader. A table whose records differ from its
// header's count is reported damaged, and every "table-damaged-*" file is.
#include "fuzz/fuzz_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> RegressionInputs()
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(DOVENMARK_PARADOX_TEST_DATA) / "fuzz-regressions")) {
        const std::string name = e.path().filename().string();
        if (name.rfind("table-", 0) == 0 || name.rfind("blob-", 0) == 0 || name.rfind("tablemb-", 0) == 0)
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzRegression : public ::testing::TestWithParam<fs::path> {};

TEST_P(FuzzRegression, ReadsWithoutCrashingAndReportsDamage)
{
    std::ifstream in(GetParam(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::string name = GetParam().filename().string();
    fuzzinputs::TableReading reading;
    if (name.rfind("table-", 0) == 0)
        EXPECT_NO_THROW(reading = fuzzinputs::ReadTable(data, bytes.size()));
    else if (name.rfind("tablemb-", 0) == 0)
        EXPECT_NO_THROW(reading = fuzzinputs::ReadTableWithBlobs(data, bytes.size()));
    else
        EXPECT_NO_THROW(fuzzinputs::ReadBlob(data, bytes.size()));
    EXPECT_FALSE(reading.silentlyMiscounted()) << reading.records << " records, the header says " << reading.headerCount;
    if (name.rfind("table-damaged-", 0) == 0) {
        EXPECT_TRUE(reading.opened && reading.complete);
        EXPECT_TRUE(reading.damage.has_value()) << reading.records << " records, the header says " << reading.headerCount;
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, ::testing::ValuesIn(RegressionInputs()),
                         [](const ::testing::TestParamInfo<fs::path>& p) {
                             std::string name = p.param.filename().string();
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegression);

}  // namespace
