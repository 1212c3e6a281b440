// libFuzzer target: the input is a .DB file; every record and value is read.
// Anything but a FormatError escaping, a sanitizer report, or records that
// differ from the header's count without a damage report, is a bug.
#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (fuzzinputs::ReadTable(data, size).silentlyMiscounted())
        __builtin_trap();
    return 0;
}
