// The callbacks a dictionary is made with, kept by reference: the few sets nearly every
// dictionary has are shared constants. Private to CFDictionary.cpp.
#ifndef PLATFORM_COREFOUNDATION_CFDICTIONARYCALLBACKS_H
#define PLATFORM_COREFOUNDATION_CFDICTIONARYCALLBACKS_H

#include <CoreFoundation/CFDictionary.h>

#include "platform/CoreFoundation/CFObject.h"

namespace cf::dictionary {

inline constexpr CFDictionaryKeyCallBacks kNoKeyCallBacks = {0,       nullptr, nullptr,
                                                             nullptr, nullptr, nullptr};
inline constexpr CFDictionaryValueCallBacks kNoValueCallBacks = {0, nullptr, nullptr, nullptr,
                                                                 nullptr};

// The callbacks a dictionary was made with, and whether each set is the standard one (whose
// functions are then called as the uncounted ones they stand for).
struct CallBacks {
    CFDictionaryKeyCallBacks keys;
    CFDictionaryValueCallBacks values;
    bool standardKeys;
    bool standardValues;
};

inline bool IsStandard(const CFDictionaryKeyCallBacks& c) {
    return c.retain == cf::callbacks::Retain && c.release == cf::callbacks::Release &&
           c.equal == cf::callbacks::Equal && c.hash == cf::callbacks::Hash;
}
inline bool IsStandard(const CFDictionaryValueCallBacks& c) {
    return c.retain == cf::callbacks::Retain && c.release == cf::callbacks::Release &&
           c.equal == cf::callbacks::Equal;
}
inline bool SameFunctions(const CFDictionaryKeyCallBacks& a, const CFDictionaryKeyCallBacks& b) {
    return a.retain == b.retain && a.release == b.release &&
           a.copyDescription == b.copyDescription && a.equal == b.equal && a.hash == b.hash;
}
inline bool SameFunctions(const CFDictionaryValueCallBacks& a,
                          const CFDictionaryValueCallBacks& b) {
    return a.retain == b.retain && a.release == b.release &&
           a.copyDescription == b.copyDescription && a.equal == b.equal;
}

// The callbacks nearly every dictionary has, shared by them all; a dictionary made with any
// others keeps its own copy.
inline const CallBacks& SharedCallBacks(bool standardKeys, bool standardValues) {
    static const CallBacks shared[2][2] = {
        {{kNoKeyCallBacks, kNoValueCallBacks, false, false},
         {kNoKeyCallBacks, kCFTypeDictionaryValueCallBacks, false, true}},
        {{kCFTypeDictionaryKeyCallBacks, kNoValueCallBacks, true, false},
         {kCFTypeDictionaryKeyCallBacks, kCFTypeDictionaryValueCallBacks, true, true}},
    };
    return shared[standardKeys][standardValues];
}

}  // namespace cf::dictionary

#endif
