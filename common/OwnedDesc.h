// OwnedDesc: the one owner of an Apple Event descriptor outside the bundle (host, notation,
// tool, tests, fuzz targets, benchmarks). Move-only; disposes once in its destructor. The
// bundle has its own holder (CAEDesc), which throws bundle exceptions; everything else works
// with statuses, so it shares this small status-free one.
#ifndef COMMON_OWNEDDESC_H
#define COMMON_OWNEDDESC_H

#include <CoreServices/CoreServices.h>

#include <utility>

class OwnedDesc {
public:
    OwnedDesc() { AEInitializeDesc(&mDesc); }
    // Adopts a descriptor the caller owned (from a Create, Duplicate, Get…Desc or Coerce call).
    explicit OwnedDesc(const AEDesc& adopt) : mDesc(adopt) {}
    OwnedDesc(const OwnedDesc&) = delete;
    OwnedDesc& operator=(const OwnedDesc&) = delete;
    OwnedDesc(OwnedDesc&& other) noexcept : mDesc(other.Detach()) {}
    OwnedDesc& operator=(OwnedDesc&& other) noexcept {
        if (this != &other) {
            Dispose();
            mDesc = other.Detach();
        }
        return *this;
    }
    ~OwnedDesc() { Dispose(); }

    const AEDesc& Get() const { return mDesc; }
    const AEDesc& operator*() const { return mDesc; }
    const AEDesc* operator->() const { return &mDesc; }
    // For calls that change a list, record or event in place (AEPutDesc, AEPutParamDesc).
    AEDesc* Mutable() { return &mDesc; }
    // For out-parameters of Create-style calls: disposes what is held, then hands out the slot.
    AEDesc* Out() {
        Dispose();
        return &mDesc;
    }
    DescType Type() const { return mDesc.descriptorType; }
    bool IsNull() const { return mDesc.descriptorType == typeNull || mDesc.dataHandle == nullptr; }

    void Dispose() {
        if (mDesc.dataHandle != nullptr || mDesc.descriptorType != typeNull) AEDisposeDesc(&mDesc);
        AEInitializeDesc(&mDesc);
    }
    // Gives up ownership; the caller disposes the result.
    [[nodiscard]] AEDesc Detach() {
        AEDesc out = mDesc;
        AEInitializeDesc(&mDesc);
        return out;
    }

private:
    AEDesc mDesc;
};

#endif
