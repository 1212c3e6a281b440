// The desktop shell: opening a web page, a mail link or a file in the
// desktop's own program, and the folder chooser. Never a shell command line.
#pragma once

#include <string>

namespace platform {

class Desktop {
public:
    virtual ~Desktop() = default;
    // A URL (https:, mailto:) or a local file path; false when nothing could open it.
    virtual bool open(const std::string& urlOrPath) = 0;
    // The chosen folder, or "" when the user cancels.
    virtual std::string pickFolder(const std::string& prompt, const std::string& initialFolder) = 0;
};

}  // namespace platform
