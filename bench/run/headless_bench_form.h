// The main window without windows, for measuring the conversion run as the
// headless command drives it: the folder and options it reads, no progress shown.
#pragma once

#include "conversion/conversion_run.h"
#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/settings_store.h"
#include "shell/main_form.h"

#include <optional>
#include <string>

namespace benchsupport {

struct HeadlessBenchForm : shell::MainForm {
    std::string folderText;
    bool preview = false;
    bool eachFile = false;
    bool eachTable = false;
    shell::ListItems list1, list2;
    double lastPercent = 0;

    std::string folder() override { return folderText; }
    void setFolder(const std::string& f) override { folderText = f; }
    std::string server() override { return {}; }
    std::string port() override { return {}; }
    std::string database() override { return {}; }
    std::string user() override { return {}; }
    std::string password() override { return {}; }
    bool localConnection() override { return false; }
    bool previewMode() override { return preview; }
    bool previewEachFile() override { return eachFile; }
    bool previewEachTable() override { return eachTable; }
    shell::ListItems& List1() override { return list1; }
    shell::ListItems& List2() override { return list2; }
    void setProgressValue(double percent) override { lastPercent = percent; }
    void setProgressText(const std::string&) override {}
    void setBusy(bool) override {}
    void showPreview() override {}
};

struct NoDesktop : platform::Desktop {
    bool open(const std::string&) override { return false; }
    std::string pickFolder(const std::string&, const std::string&) override { return {}; }
};

struct NoSettings : platform::SettingsStore {
    std::optional<std::string> read(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    void write(const std::string&, const std::string&, const std::string&, const std::string&) override {}
};

}  // namespace benchsupport
