// A settings store in memory, for tests that do not look at the file.
#pragma once

#include "platform/settings_store.h"

#include <map>

namespace testsupport {

struct MemorySettings : platform::SettingsStore {
    std::map<std::string, std::string> values;
    std::optional<std::string> read(const std::string& a, const std::string& s, const std::string& k) override
    {
        auto it = values.find(a + "/" + s + "/" + k);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    void write(const std::string& a, const std::string& s, const std::string& k, const std::string& v) override
    {
        values[a + "/" + s + "/" + k] = v;
    }
};

}  // namespace testsupport
