// libFuzzer target over the .MB reader: a blob pointer, key and field type,
// then the .MB file (see fuzz_inputs.h).
#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzinputs::ReadBlob(data, size);
    return 0;
}
