#include "FuzzTargets.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// One libFuzzer executable per entry point; NIXORA_FUZZ_ENTRY names it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString failure = nixora::fuzz::NIXORA_FUZZ_ENTRY(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
