// libFuzzer target: the input is a .DB file; every record and value is read.
// Anything but a FormatError escaping, or a sanitizer report, is a bug.
#include "paradox/error.h"
#include "paradox/table.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        paradox::Table table(std::make_unique<paradox::MemorySource>("fuzz.db", bytes), {});
        std::size_t records = 0;
        while (table.next() && ++records < 100000) {
            for (std::size_t i = 0; i < table.fieldCount(); ++i) {
                try {
                    const paradox::Value v = table.value(i);
                    volatile std::size_t sink = v.text.size();
                    (void)sink;
                } catch (const paradox::FormatError&) {
                }
            }
        }
    } catch (const paradox::FormatError&) {
    }
    return 0;
}
