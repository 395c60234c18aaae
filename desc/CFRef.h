// CFRef<T>: the one owner of a CoreFoundation reference in our own code. Move-only; releases
// once in its destructor. Ownership leaves only through Detach(), into a documented out-parameter
// or an owned result.
#ifndef DESC_CFREF_H
#define DESC_CFREF_H

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

template <class T>
class CFRef {
public:
    CFRef() = default;
    // Adopts a +1 reference (from a Create or Copy function); NULL is allowed.
    explicit CFRef(T ref) : mRef(ref) {}
    CFRef(const CFRef&) = delete;
    CFRef& operator=(const CFRef&) = delete;
    CFRef(CFRef&& other) noexcept : mRef(other.Detach()) {}
    CFRef& operator=(CFRef&& other) noexcept {
        Reset(other.Detach());
        return *this;
    }
    ~CFRef() { Reset(); }

    T Get() const { return mRef; }
    explicit operator bool() const { return mRef != nullptr; }

    // Releases what is held and adopts `ref`.
    void Reset(T ref = nullptr) {
        T old = std::exchange(mRef, ref);
        if (old) CFRelease(old);
    }
    // Gives up ownership without releasing.
    [[nodiscard]] T Detach() { return std::exchange(mRef, nullptr); }
    // For Create-style out-parameters: releases what is held, then hands out the slot.
    T* Out() {
        Reset();
        return &mRef;
    }

private:
    T mRef = nullptr;
};

#endif
