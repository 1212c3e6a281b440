// libFuzzer target over a table together with its .MB file: every value of
// every record, blobs included (input layout in fuzz_inputs.h).
#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzinputs::readTableWithBlobs(data, size);
    return 0;
}
