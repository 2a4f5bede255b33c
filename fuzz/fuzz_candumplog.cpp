// The candump reader fed arbitrary bytes (see logreader.h for the checks).
#include "fuzz/logreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    logfuzz::run(logformat::Format::Candump, data, size);
    return 0;
}
