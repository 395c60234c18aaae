// TCLString: UTF-16 code units in host byte order, as a 'utxt' descriptor holds them. The length
// counts code units; no byte-order mark is added or removed and no terminator is counted.
#ifndef DESC_TCLSTRING_H
#define DESC_TCLSTRING_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <exception>
#include <string>

#include "shell/Exceptions.h"

using TCLString = std::basic_string<UniChar>;

// Room for a number of UTF-16 code units: on the stack for short text (most keys and values),
// on the heap beyond. Throws -108 when the heap has no room.
class CUniCharBuffer {
public:
    // What fits without the heap.
    static constexpr std::size_t kStackUnits = 256;

    explicit CUniCharBuffer(std::size_t units) {
        if (units <= kStackUnits) return;
        try {
            mHeap.resize(units);
        } catch (const std::exception&) {  // bad_alloc or length_error
            ThrowStatus(memFullErr);
        }
        mData = mHeap.data();
    }
    CUniCharBuffer(const CUniCharBuffer&) = delete;
    CUniCharBuffer& operator=(const CUniCharBuffer&) = delete;

    UniChar* Data() { return mData; }

private:
    UniChar mStack[kStackUnits];
    TCLString mHeap;
    UniChar* mData = mStack;
};

#endif
