// The headless form's progress on standard error, and its answers to questions.
#include "cli/headless.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <utility>

namespace cli {

void HeadlessForm::setProgressText(const std::string& text)
{
    if (quiet)
        return;
    if (text.empty()) {
        if (terminal && !table_.empty())
            err_ << "\r\033[K" << std::flush;
        table_.clear();
        return;
    }
    table_ = text;
    percent_ = 0;
    if (!terminal)
        err_ << text << "\n";
    else
        drawBar();
}

void HeadlessForm::setProgressValue(double percent)
{
    percent_ = percent;
    if (!terminal || table_.empty())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(100) && percent < 100)
        return;
    lastDraw_ = now;
    drawBar();
}

void HeadlessForm::drawBar()
{
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(percent_ / 100.0 * kWidth);
    err_ << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << std::setw(3)
         << static_cast<int>(percent_) << "% " << table_ << std::flush;
}

void HeadlessForm::questionAnswered(const std::string& question, core::Answered answer)
{
    err_ << platform::WithLineFeeds(question)
         << (answer == core::Answered::Yes ? " yes\n" : answer == core::Answered::No ? " no (skipped)\n" : " continue\n");
}

platform::Answer HeadlessDialogs::show(const platform::Message& message)
{
    if (message.buttons != platform::Buttons::Ok)
        return platform::Answer::No;
    err_ << platform::WithLineFeeds(message.text) << "\n";
    return platform::Answer::Ok;
}

platform::Answer HeadlessDialogs::report(const platform::Failure& failure)
{
    std::string cause = platform::WithLineFeeds(failure.cause);
    std::replace(cause.begin(), cause.end(), '\n', ' ');
    if (terminal)
        err_ << "\r\033[K";
    err_ << "dovenmark-cli: ";
    if (!failure.table.empty()) {
        err_ << failure.table;
        if (failure.record >= 0)
            err_ << ", record " << failure.record;
        err_ << ": ";
    }
    err_ << cause << "\n";
    return platform::Answer::Ok;
}

namespace {
// One row of one value, 0.
struct Zero : platform::ServerRows {
    bool read = false;
    int columnCount() const override { return 1; }
    const std::string& columnName(int) const override { return name; }
    int columnType(int) const override { return -5; }  // SQL_BIGINT
    bool next() override { return !std::exchange(read, true); }
    platform::ServerValue value(int) const override { return {platform::ServerValue::Kind::Text, "0"}; }
    std::string name;
};

struct OfflineServer : platform::ServerConnection {
    bool open_ = false;
    void setCursorLocation(int) override {}
    void setCommandTimeout(int) override {}
    void setConnectionTimeout(int) override {}
    void open(const platform::SecretText&) override { open_ = true; }
    bool isOpen() const override { return open_; }
    void execute(const std::string&) override {}
    // No table exists, so every count is 0.
    std::unique_ptr<platform::ServerRows> query(const std::string&) override { return std::make_unique<Zero>(); }
    std::vector<platform::SchemaTable> tables() override { return {}; }
    void close() override { open_ = false; }
};
}  // namespace

std::unique_ptr<platform::ServerConnection> OfflineServerFactory::create()
{
    return std::make_unique<OfflineServer>();
}

}  // namespace cli
