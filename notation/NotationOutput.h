// The text buffer the notation is written into: a writer asks for room for the most bytes it
// may write, stores through a raw cursor without a check per byte, then says where it ended.
// Internal to notation/.
#ifndef NOTATION_NOTATIONOUTPUT_H
#define NOTATION_NOTATIONOUTPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "notation/NotationText.h"

namespace notation {

class TextBuffer {
public:
    // How the storage grows when a writer needs more room: by just that (for a short text
    // appended to a long one), or by at least what this buffer has written so far (for a long
    // text, so it is not grown a value at a time).
    enum class Growth { kExact, kDoubling };

    // Writes after what `storage` holds. The storage may hold bytes past the text until Finish
    // cuts it to what was written.
    TextBuffer(std::string& storage, Growth growth)
        : mStorage(storage),
          mGrowth(growth),
          mStart(storage.size()),
          mAt(storage.data() + mStart),
          mEnd(mAt) {}
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // A cursor with room for `bytes` bytes; hand back where the writing ended with Commit.
    char* Room(size_t bytes) {
        if (static_cast<size_t>(mEnd - mAt) < bytes) Grow(bytes);
        return mAt;
    }
    void Commit(char* end) { mAt = end; }

    size_t Length() const { return static_cast<size_t>(mAt - mStorage.data()); }
    const char* Data() const { return mStorage.data(); }
    // Forgets what was written after the first `length` bytes.
    void Truncate(size_t length) { mAt = mStorage.data() + length; }
    // Cuts the storage to the text written.
    void Finish() { mStorage.resize(Length()); }

    // Writes `count` UTF-16 units (host order, at any alignment) in double quotes, as
    // AppendQuoted does, in pieces: room for the worst case of a long text is never asked at once.
    void PutQuoted(const char* units, size_t count) {
        if (count > kQuotedPiece) return PutLongQuoted(units, count);
        char* to = Room(2 + kMaxQuotedUnitBytes * count);
        *to = '"';
        to = WriteQuotedUnits(units, count, to + 1);
        *to = '"';
        Commit(to + 1);
    }

private:
    // A long text is quoted this many units at a time, so the room asked for is a few times the
    // piece, not a few times the text.
    static constexpr size_t kQuotedPiece = 4096;

    void Grow(size_t bytes);
    void PutLongQuoted(const char* units, size_t count);

    std::string& mStorage;
    Growth mGrowth;
    size_t mStart;  // the length of the text the storage held before
    char* mAt;
    char* mEnd;
};

}  // namespace notation

#endif
