#include "notation/NotationOutput.h"

#include <algorithm>
#include <cstring>

#include "notation/NotationText.h"

namespace notation {
void TextBuffer::Grow(size_t bytes) {
    const size_t length = Length();
    // The first room is a few hundred bytes: most printed values are short.
    constexpr size_t kFirstRoom = 256;
    mStorage.resize(length + (mGrowth == Growth::kExact
                                  ? bytes
                                  : std::max({bytes, length - mStart, kFirstRoom})));
    mAt = mStorage.data() + length;
    mEnd = mStorage.data() + mStorage.size();
}

// Each piece ends before a high surrogate that would end it, so that a pair is written together.
void TextBuffer::PutLongQuoted(const char* units, size_t count) {
    char* to = Room(1);
    *to = '"';
    Commit(to + 1);
    while (count > 0) {
        size_t piece = std::min(count, kQuotedPiece);
        char16_t last;
        std::memcpy(&last, units + 2 * (piece - 1), sizeof last);
        if (piece < count && IsHighSurrogate(last)) --piece;
        Commit(WriteQuotedUnits(units, piece, Room(kMaxQuotedUnitBytes * piece)));
        units += 2 * piece;
        count -= piece;
    }
    to = Room(1);
    *to = '"';
    Commit(to + 1);
}

}  // namespace notation
