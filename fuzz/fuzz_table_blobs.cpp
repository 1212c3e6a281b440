// libFuzzer target over a table together with its .MB file: every value of
// every record, blobs included (input layout in fuzz_inputs.h); records that
// differ from the header's count must come with a damage report.
#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (fuzzinputs::ReadTableWithBlobs(data, size).silentlyMiscounted())
        __builtin_trap();
    return 0;
}
