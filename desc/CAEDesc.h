// CAEDescReader, the read-only view of a descriptor through which every typed reader reads, and
// CAEDesc, the owner of one descriptor's storage.
//
// Readers return a value or throw a 32-bit status (shell/Exceptions.h); they read their native
// types directly and coerce any other type into a temporary CAEDesc first, which they then read
// the same way (coercing it again when a coercion handler answered with a type they do not read
// natively). A 'null' descriptor, or one without data that would need a coercion, gives
// errAECoercionFail (-1700), and so does a value still not readable after
// kMaxCoercionsPerRead coercions. Temporaries are disposed on every path; the viewed descriptor
// is never changed.
#ifndef DESC_CAEDESC_H
#define DESC_CAEDESC_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cstdint>
#include <string>

#include "desc/CFRef.h"
#include "desc/TCLString.h"

// The most coercions one read makes of one value. The built-in coercions reach a readable type
// in one or two (text through styled text); more can only come from coercion handlers that keep
// answering with a type that must be coerced again, which would otherwise go on without end.
inline constexpr int kMaxCoercionsPerRead = 8;

class CAEDescReader {
public:
    // The null state: {typeNull, NULL}.
    CAEDescReader() noexcept : mDesc{typeNull, nullptr} {}
    // A view of `desc` (NULL gives the null state): copies its two fields, owns nothing. A
    // parameter put through the view lands in the viewed descriptor.
    explicit CAEDescReader(const AEDesc* desc) noexcept;

    // True when the type is 'null' or there is no data handle: the system-wide "no value" test.
    bool IsNull() const noexcept;

    // Scalar readers. Native types are read at their exact width with AEGetDescData; data of
    // any other size fails with errAECorruptData (-1702).
    // 'doub' 'sing' 'fixd' 'long' 'shor'; others coerced to the first of those five that the
    // Apple Event Manager accepts (a status other than -1700 stops the chain and is thrown).
    double GetDouble() const;
    // 'long' 'shor'; others coerced to 'long'.
    int32_t GetSInt32() const;
    // 'comp' read whole; everything else through GetSInt32, sign-extended.
    int64_t GetSInt64() const;
    // 'enum' 'type' 'abso'; others coerced to 'enum'.
    DescType GetEnum() const;
    // 'type' 'enum' 'abso' 'prop'; others coerced to 'type'.
    DescType GetTypeCode() const;
    // 'bool' (non-zero byte is true), 'true' and 'fals' (no data read); others coerced to 'bool'.
    bool GetBoolean() const;
    // 'ldt '; others coerced to 'ldt '.
    LongDateTime GetLongDateTime() const;

    // Text readers; each overwrites its output whole.
    // 'utxt' read directly (an odd last byte is dropped); others coerced to 'utxt', and when that
    // is refused with -50 or -1700, to 'STXT'. Styled text itself gets no fallback (it would be
    // coerced to itself): its refusal to become 'utxt' is thrown. memFullErr when the units
    // cannot be stored. `output` is untouched after a failure.
    void GetTCLString(TCLString& output) const;
    // Bytes of 'TEXT' 'aprl' 'furl' 'utf8' as they are; 'utxt' coerced to 'utf8' (UTF-8 bytes);
    // others coerced to 'TEXT' (system encoding), and on -50 to 'STXT', whose own refusal to
    // become 'TEXT' is thrown. `output` may have been resized when a read fails.
    void GetString(std::string& output) const;
    // Bytes of 'TEXT' 'aprl' 'furl' 'utf8' as they are (so 'TEXT' stays in the system encoding);
    // others coerced to 'utf8'.
    void GetUTF8String(std::string& output) const;
    // A new string owned by the caller, stored into `held`; a different string `held` had before
    // is released first. 'TEXT' decodes GetString's bytes in the system encoding; 'aprl' 'furl'
    // 'bund' decode them as UTF-8; others go through GetTCLString. memFullErr when no string can
    // be made (bytes invalid in the encoding, or no memory); `held` is untouched after a failure.
    void GetCFString(CFStringRef& held) const;
    // The same for a holder.
    void GetCFString(CFRef<CFStringRef>& held) const;

    // The descriptor viewed; handed by address to platform calls.
    AEDesc mDesc;
};

// Owns the storage of the descriptor in mDesc and disposes it exactly once. Move-only; copying a
// descriptor goes through AEDuplicateDesc (assignment from const AEDesc&).
class CAEDesc : public CAEDescReader {
public:
    // The null state; no platform call.
    CAEDesc() noexcept = default;
    CAEDesc(const CAEDesc&) = delete;
    CAEDesc& operator=(const CAEDesc&) = delete;
    // Takes over `other`'s descriptor; `other` is left null.
    CAEDesc(CAEDesc&& other) noexcept;
    CAEDesc& operator=(CAEDesc&& other) noexcept;
    // Disposes the descriptor when it holds data; never throws.
    virtual ~CAEDesc();

    // AEDisposeDesc when there is a data handle, nothing otherwise; AEDisposeDesc leaves the
    // null state. Its status is ignored.
    virtual void Dispose() noexcept;

    // Disposes, then duplicates `source` with AEDuplicateDesc unless it is null by IsNull (the
    // target then stays null, no further call). Throws a failing duplication's status.
    CAEDesc& operator=(const AEDesc& source);

    // Disposes, then coerces `source` (never NULL) into this object with AECoerceDesc, unless
    // the source is null by IsNull: the target then stays null and nothing is reported. Throws
    // the coercion's status unchanged.
    void CoerceTo(const AEDesc* source, DescType type);

    // Makes this a 'utxt' descriptor of `string`'s UTF-16 code units (host order, no BOM, no
    // terminator); a NULL string just disposes. memFullErr, with this object unchanged, when
    // the copy buffer cannot be had; a failing AECreateDesc's status.
    void SetCFString(CFStringRef string);

    // Disposes and hands out mDesc as the out-parameter of a platform call that fills it.
    AEDesc* Out() noexcept {
        Dispose();
        return &mDesc;
    }
};

#endif
