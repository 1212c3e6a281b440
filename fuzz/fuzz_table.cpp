// libFuzzer target: the input is a .DB file; every record and value is read.
// Anything but a FormatError escaping, or a sanitizer report, is a bug.
#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzinputs::readTable(data, size);
    return 0;
}
