// The notation parser: recursive descent over a {begin, cur, end} cursor, every read checked
// against end. The first error is kept and unwinds the parse by returning false; its line and
// column are worked out only then. This file holds the structure; the value readers are in
// NotationParserValues.cpp.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"
#include "notation/NotationParser.h"
#include "notation/NotationText.h"

using namespace notation;

namespace notation::detail {

bool Parser::ParseValue(OwnedDesc& out, int depth, bool inContainer) {
    mMayDefer = inContainer;
    if (mCur == mEnd) return Fail(mCur, "expected a value, found the end");
    const char c = *mCur;
    if (c == '"') {
        const char* start = mCur;
        mUnits.Clear();
        if (!ParseString(mUnits)) return false;
        return Create(typeUnicodeText, mUnits.Data(), mUnits.Size() * 2, out, start);
    }
    if (c == '\'') return ParseAfterCode(out, depth);
    if (c == '[' || c == '{') {
        if (depth >= kMaxDepth) return FailTooDeep();
        return c == '[' ? ParseList(out, depth) : ParseRecord(out, depth, typeAERecord, nullptr);
    }
    if (c == '-' || (c >= '0' && c <= '9')) return ParseBareNumber(out);
    if (IsWordChar(c)) return ParseWord(out);
    if (AtText(kOpenData))
        return Fail(mCur, "data needs a type in front, as in 'rdat'(\u00AB0AFF\u00BB)");
    return Fail(mCur, "expected a value");
}

// After a code: a typed value, a typed record, or the code alone as a 'type'.
bool Parser::ParseAfterCode(OwnedDesc& out, int depth) {
    const char* start = mCur;
    FourCharCode code;
    if (!ParseCode(code)) return false;
    if (At('(')) {
        ++mCur;
        return ParseTyped(code, start, out);
    }
    if (At('{')) {
        if (depth >= kMaxDepth) return FailTooDeep();
        return ParseRecord(out, depth, code, start);
    }
    return CreateScalar(typeType, code, out, start);
}

bool Parser::ParseItem(OwnedDesc& list, OwnedDesc& item, int depth) {
    const char* start = mCur;
    if (mCur != mEnd) {
        if (*mCur == '"') {
            // Most strings are short ASCII: their closing quote ends the first run.
            mUnits.Clear();
            const char* p = TakeASCIIBlocks(mCur + 1, mEnd, mUnits);
            if (p != mEnd && *p == '"') {
                mCur = p + 1;
            } else {
                mCur = p;
                if (!ParseStringRest(mUnits)) return false;
            }
            return PutItem(list, typeUnicodeText, mUnits.Data(), mUnits.Size() * 2, start);
        }
        const bool numeric = *mCur == '-' || static_cast<unsigned>(*mCur - '0') < 10;
        if (int64_t value; numeric && TakeShortInteger(value)) {
            if (value >= INT32_MIN && value <= INT32_MAX) {
                const auto narrow = static_cast<int32_t>(value);
                return PutItem(list, typeSInt32, &narrow, sizeof narrow, start);
            }
            return PutItem(list, typeSInt64, &value, sizeof value, start);
        }
    }
    if (!ParseValue(item, depth, true)) return false;
    if (OSErr err = AddItem(list, item)) return Fail(start, "cannot add the item to the list", err);
    return true;
}

bool Parser::PutItem(OwnedDesc& list, DescType type, const void* bytes, size_t size,
                     const char* itemStart) {
    if (OSErr err = AEPutPtr(list.Mutable(), 0, type, bytes, static_cast<Size>(size)))
        return Fail(itemStart, "cannot add the item to the list", err);
    return true;
}

bool Parser::ParseList(OwnedDesc& out, int depth) {
    OwnedDesc list;
    if (OSErr err = AECreateList(nullptr, 0, false, list.Out()))
        return Fail(mCur, "cannot make a list", err);
    ++mCur;  // '['
    SkipSpace();
    if (At(']')) {
        ++mCur;
        out = std::move(list);
        return true;
    }
    OwnedDesc item;  // one holder for every item: most are put from the scratch and never use it
    for (;;) {
        SkipSpace();
        if (!ParseItem(list, item, depth + 1)) return false;
        // The printer's ", " between items, taken at once.
        if (mEnd - mCur >= 2 && mCur[0] == ',' && mCur[1] == ' ') {
            mCur += 2;
            continue;
        }
        SkipSpace();
        if (At(']')) break;
        if (!At(',')) return FailUnexpected("',' or ']'");
        ++mCur;
    }
    ++mCur;
    out = std::move(list);
    return true;
}

bool Parser::ParseRecord(OwnedDesc& out, int depth, DescType type, const char* typeStart) {
    OwnedDesc record;
    if (OSErr err = AECreateList(nullptr, 0, true, record.Out()))
        return Fail(mCur, "cannot make a record", err);
    ++mCur;  // '{'
    SkipSpace();
    bool empty = At('}');
    OwnedDesc item;
    bool first = true;
    while (!empty) {
        SkipSpace();
        const char* keyStart = mCur;
        FourCharCode keyword;
        if (!At('\'')) return FailUnexpected("a keyword such as 'pnam'");
        if (!ParseCode(keyword) || !Expect(':', "':'")) return false;
        SkipSpace();
        if (!ParseValue(item, depth + 1, true)) return false;
        DescType existingType;
        Size existingSize;
        // The first field has nothing to repeat: most records are one 'usrf' list.
        if (!first &&
            AESizeOfParam(&record.Get(), keyword, &existingType, &existingSize) == noErr) {
            std::string message = "duplicate keyword ";
            AppendCode(keyword, message);
            return Fail(keyStart, message);
        }
        first = false;
        if (OSErr err = AddField(record, keyword, item))
            return Fail(keyStart, "cannot add the field to the record", err);
        SkipSpace();
        if (At('}')) break;
        if (!At(',')) return FailUnexpected("',' or '}'");
        ++mCur;
    }
    ++mCur;
    if (type == typeAERecord) {
        out = std::move(record);
        return true;
    }
    if (OSErr err = AECoerceDesc(&record.Get(), type, out.Out())) {
        std::string message = "cannot make a record of type ";
        AppendCode(type, message);
        return Fail(typeStart, message, err);
    }
    return true;
}

OSErr Parser::AddItem(OwnedDesc& list, OwnedDesc& item) {
    if (mPending) {
        mPending = false;
        return AEPutPtr(list.Mutable(), 0, mPendingType, mPendingData,
                        static_cast<Size>(mPendingSize));
    }
    const OSErr err = AEPutDesc(list.Mutable(), 0, &item.Get());
    item.Dispose();
    return err;
}

OSErr Parser::AddField(OwnedDesc& record, AEKeyword keyword, OwnedDesc& item) {
    if (mPending) {
        mPending = false;
        return AEPutParamPtr(record.Mutable(), keyword, mPendingType, mPendingData,
                             static_cast<Size>(mPendingSize));
    }
    const OSErr err = AEPutParamDesc(record.Mutable(), keyword, &item.Get());
    item.Dispose();
    return err;
}

// After "'code'(": nothing, «hex» data, or the value of the type's form; then ')'.
bool Parser::ParseTyped(DescType type, const char* typeStart, OwnedDesc& out) {
    SkipSpace();
    const char* valueStart = mCur;
    Scratch<char>& bytes = mBytes;
    bytes.Clear();
    bool noData = At(')');
    if (!noData) {
        if (AtText(kOpenData)) {
            if (!ParseHex(bytes)) return false;
        } else if (const TypedForm* form = FindTypedForm(type)) {
            if (!ParseFormValue(*form, bytes)) return false;
        } else if (type == typeBoolean && (AtText("true") || AtText("false"))) {
            const bool value = AtText("true");
            bytes.Push(value ? 1 : 0);
            mCur += value ? 4 : 5;
        } else {
            std::string message;
            AppendCode(type, message);
            return Fail(mCur, message + " takes \u00ABhex\u00BB data or nothing");
        }
    }
    if (!Expect(')', "')'")) return false;
    if (type == typeNull) {
        if (!noData) return Fail(valueStart, "'null' holds no data");
        out.Dispose();
        return true;
    }
    return Create(type, bytes.Data(), bytes.Size(), out, typeStart);
}

bool Parser::CreateNow(DescType type, const void* bytes, size_t size, OwnedDesc& out,
                       const char* at) {
    if (OSErr err = AECreateDesc(type, bytes, static_cast<Size>(size), out.Out())) {
        std::string message = "cannot make a descriptor of type ";
        AppendCode(type, message);
        return Fail(at, message, err);
    }
    return true;
}

}  // namespace notation::detail

using notation::detail::Parser;

std::string NotationError::Describe() const {
    std::string where = "at ";
    if (line > 1) where += "line " + std::to_string(line) + ", ";
    return where + "column " + std::to_string(column) + ": " + message +
           (status != noErr ? " (" + std::to_string(status) + ")" : "");
}

bool ParseDesc(std::string_view text, OwnedDesc& out, NotationError& error) {
    out.Dispose();
    error = NotationError{};
    Parser parser(text, error);
    OwnedDesc result;
    if (!parser.ParseDocument(result)) {
        // Cold path: the line and the column (in characters, not bytes) of the offset.
        const size_t offset = std::min(error.offset, text.size());
        size_t lineStart = 0;
        for (size_t i = 0; i < offset; ++i) {
            if (text[i] == '\n') {
                ++error.line;
                lineStart = i + 1;
            }
        }
        for (size_t i = lineStart; i < offset; ++i)
            if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) ++error.column;
        return false;
    }
    out = std::move(result);
    return true;
}
