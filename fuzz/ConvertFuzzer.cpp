// Fuzz target: convert's input readers (the property-list readers and JSON, as convert tries
// them) and every output format, each output read back (fuzz/ConvertRoundTrip.h).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/ConvertRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFRef<CFPropertyListRef> value;
    std::string reason;
    if (!ParseInput(std::string_view(reinterpret_cast<const char*>(data), size), value, reason))
        return 0;
    const std::string problem = convertcheck::MatrixProblem(value.Get());
    if (!problem.empty()) {
        std::fprintf(stderr, "convert round trip broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
