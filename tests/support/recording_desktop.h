// A clipboard and a desktop that record what the program gave them.
#pragma once

#include "platform/clipboard.h"
#include "platform/desktop.h"

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct RecordingClipboard : platform::Clipboard {
    std::string text;
    bool clear() override { text.clear(); return true; }
    bool setText(const std::string& t, int) override { text = t; return true; }
};

struct RecordingDesktop : platform::Desktop {
    std::vector<std::string> opened;
    std::string folderToPick;
    std::vector<std::pair<std::string, std::string>> pickRequests;
    bool open(const std::string& urlOrPath) override { opened.push_back(urlOrPath); return true; }
    std::string pickFolder(const std::string& prompt, const std::string& initial) override
    {
        pickRequests.emplace_back(prompt, initial);
        return folderToPick;
    }
};

}  // namespace testsupport
