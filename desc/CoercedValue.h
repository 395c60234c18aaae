// The value a typed reader reads: the source descriptor, or the temporary its latest coercion
// made. A reader coerces until the value is of a type it reads natively, so a coercion handler
// that answers with yet another type still gets its answer read; one that keeps answering with
// types the reader must coerce again (its own source type, or two types that turn into each
// other) would coerce forever, and is stopped at kMaxCoercionsPerRead.
#ifndef DESC_COERCEDVALUE_H
#define DESC_COERCEDVALUE_H

#include <CoreServices/CoreServices.h>

#include <utility>

#include "desc/CAEDesc.h"
#include "shell/Exceptions.h"

class CCoercedValue {
public:
    // Views `source`, which must outlive this object; nothing is coerced yet.
    explicit CCoercedValue(const AEDesc& source) noexcept : mCurrent(&source) {}
    CCoercedValue(const CCoercedValue&) = delete;
    CCoercedValue& operator=(const CCoercedValue&) = delete;

    // The source, or the latest temporary.
    const AEDesc& Current() const noexcept { return *mCurrent; }

    // Makes a new temporary with `coerce(current, into)` (into starts null) and reads on from it;
    // the previous temporary is disposed. errAECoercionFail (-1700) instead, before any call,
    // when this read has already made kMaxCoercionsPerRead coercions. Whatever `coerce` throws
    // passes through, and the previous value stays current.
    template <class Coerce>
    void Step(Coerce&& coerce) {
        if (mCoercions == kMaxCoercionsPerRead) ThrowStatus(errAECoercionFail);
        ++mCoercions;
        CAEDesc next;
        std::forward<Coerce>(coerce)(*mCurrent, next);
        mTemp = std::move(next);
        mCurrent = &mTemp.mDesc;
    }

private:
    const AEDesc* mCurrent;
    CAEDesc mTemp;
    int mCoercions = 0;
};

#endif
