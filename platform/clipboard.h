// The system clipboard. Each call is one attempt; the callers retry.
#pragma once

#include <string>

namespace platform {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual bool clear() = 0;
    // format 0 is the default text format.
    virtual bool setText(const std::string& text, int format) = 0;
};

}  // namespace platform
