// The encodings a text property list is edited in: UTF-8, or UTF-16 with a byte-order mark in
// either order, which is edited as UTF-8 and written back in its own encoding, mark and all.
#ifndef TOOLS_EDIT_TEXTENCODING_H
#define TOOLS_EDIT_TEXTENCODING_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

namespace plistedit::surgery {

struct TextEncoding {
    bool utf16 = false;
    bool bigEndian = false;
};

// The file's encoding, and its text as UTF-8 in `utf8` when it is UTF-16. False with `why` for
// an encoding that is not edited in place (UTF-32, UTF-16 without a mark, unpaired surrogates).
bool DecodeText(std::string_view bytes, TextEncoding& encoding, std::string& utf8,
                std::string& why);
// `utf8` in `encoding` (a UTF-16 file gets its mark back). False with `why` for text that is not
// UTF-8.
bool EncodeText(std::string_view utf8, const TextEncoding& encoding, std::string& out,
                std::string& why);
// The string as UTF-8 ('?' for what UTF-8 cannot hold).
std::string UTF8Of(CFStringRef string);

}  // namespace plistedit::surgery

#endif
