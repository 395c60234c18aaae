// Fuzz target: the descriptor notation parser. Any input must parse or fail with a message,
// never crash, hang, leak or over-read; whatever parses must print to a form that parses back
// to the same text when printed again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "notation/DescNotation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    OwnedDesc desc;
    NotationError error;
    if (!ParseDesc(text, desc, error)) {
        if (error.message.empty() || error.offset > size) std::abort();
        return 0;
    }
    std::string printed;
    if (PrintDesc(desc.Get(), printed) != noErr) std::abort();
    OwnedDesc again;
    if (!ParseDesc(printed, again, error)) std::abort();
    std::string reprinted;
    if (PrintDesc(again.Get(), reprinted) != noErr || reprinted != printed) std::abort();
    return 0;
}
