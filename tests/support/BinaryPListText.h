// A binary property list's value as one line of text, read straight from its bytes without the
// platform's reader (which reads a UID as a dictionary): UIDs stay UIDs, dictionaries are
// listed in key order, and two files hold the same value exactly when their texts are equal,
// whatever their object order, sharing or integer widths. Test code only.
#ifndef TESTS_SUPPORT_BINARYPLISTTEXT_H
#define TESTS_SUPPORT_BINARYPLISTTEXT_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace testbplist {

// The value of `bytes` ("bplist00…"), e.g. {"$top"={"root"=UID(1)};"n"=i:5;"x"=[r:1.5,true]};
// nullopt when the bytes are not a binary property list this reader understands.
std::optional<std::string> ValueText(std::string_view bytes);

// How many UID objects the value holds (a shared one counted at each place it is used).
size_t CountUIDs(std::string_view valueText);

}  // namespace testbplist

#endif
