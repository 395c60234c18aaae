// The typed forms of the descriptor notation ('shor'(5), 'TEXT'("abc"), 'enum'('yes ') …):
// which descriptor types have a value form, and how that value is laid out in the data.
// Shared by the printer and the parser so the two can never disagree. Internal to host/.
#ifndef NOTATION_NOTATIONFORMS_H
#define NOTATION_NOTATIONFORMS_H

#include <CoreServices/CoreServices.h>

#include <cstdint>
#include <string>

#include "common/FourCharCode.h"

namespace notation {

enum class Form : uint8_t {
    Integer,   // two's complement or unsigned, `width` bytes, host order
    Real,      // IEEE float of `width` bytes
    Fixed,     // signed 16.16
    MacRoman,  // 'TEXT'
    UTF16,     // 'utxt', host order, no BOM
    UTF8,      // 'utf8' and the UTF-8 file and application references
    Code,      // a four-char code in host order
    Boolean,   // one byte, 0 or 1
};

struct TypedForm {
    DescType type;
    Form form;
    uint8_t width;  // bytes of data for the fixed-width forms, 0 for text
    bool isSigned;
};

// The form of `type`, or nullptr for a type that has only the «hex» form.
const TypedForm* FindTypedForm(DescType type);

// Largest nesting the printer and parser follow; deeper descriptors print as flat «hex» data.
// The Apple Event Manager's own limit, so whatever a reply can hold prints in brackets.
constexpr int kMaxDepth = 2048;

// Appends a code as four bytes in single quotes, the most significant first; a byte that is not
// printable ASCII, or is `'` or `\`, is written \xHH.
void AppendCode(FourCharCode code, std::string& out);
// The same at `to`, which has room for kMaxCodeBytes; returns the byte past the code.
constexpr size_t kMaxCodeBytes = 18;
char* WriteCode(FourCharCode code, char* to);

// Appends a real as its shortest round-trip decimal, laid out as positional notation when the
// decimal exponent is in -4..15 (with ".0" when there is no point), else as 1e+16; nan, inf,
// -inf for the special values.
void AppendReal(double value, std::string& out);
void AppendReal(float value, std::string& out);
// The same at `to`, which has room for kMaxRealBytes; returns the byte past the real.
constexpr size_t kMaxRealBytes = 32;
char* WriteReal(double value, char* to);
char* WriteReal(float value, char* to);

}  // namespace notation

#endif
