// A main window without widgets for module and run tests: plain fields, and a
// record of the progress values, texts and pointer changes the run made.
#pragma once

#include "core/main_form.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct FakeForm : core::MainForm {
    std::string Text1, Text5, Text6 = "1433", Text8, Text3, Text4;
    bool Check4 = false, Check1 = false, Option1 = true, Option2 = false;
    core::ListItems list1, list2;
    std::vector<double> progressValues;
    std::vector<std::string> progressTexts;
    std::vector<bool> busy;
    std::function<void()> preview;  // the scripted SQL Preview window
    int previewsShown = 0;

    std::string folder() override { return Text1; }
    void setFolder(const std::string& f) override { Text1 = f; }
    std::string server() override { return Text5; }
    std::string port() override { return Text6; }
    std::string database() override { return Text8; }
    std::string user() override { return Text3; }
    platform::SecretText password() override { return platform::SecretText(Text4); }
    bool localConnection() override { return Check4; }
    bool previewMode() override { return Check1; }
    bool previewEachFile() override { return Option1; }
    bool previewEachTable() override { return Option2; }
    core::ListItems& List1() override { return list1; }
    core::ListItems& List2() override { return list2; }
    void setProgressValue(double p) override { progressValues.push_back(p); }
    void setProgressText(const std::string& t) override { progressTexts.push_back(t); }
    void setBusy(bool b) override { busy.push_back(b); }
    void showPreview() override
    {
        ++previewsShown;
        if (preview)
            preview();
    }
};

}  // namespace testsupport
