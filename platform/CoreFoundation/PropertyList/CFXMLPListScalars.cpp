// <integer>, <real> and <date> text rules.
#include "platform/CoreFoundation/PropertyList/CFXMLPListScalars.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace cf::plist {
namespace {

// Leading whitespace of <integer>: ASCII controls and space, plus the U+2000 block and the
// ideographic space (but not NBSP, which the real reader refuses there). Returns the length
// of the space at p, 0 when there is none.
size_t IntegerSpaceLength(const uint8_t* p, const uint8_t* end) {
    if (*p <= 0x20) return 1;
    if (end - p >= 3 && p[0] == 0xE2 && p[1] == 0x80 && p[2] <= 0x8A) return 3;
    if (end - p >= 3 && p[0] == 0xE3 && p[1] == 0x80 && p[2] == 0x80) return 3;
    return 0;
}

const uint8_t* SkipIntegerSpace(const uint8_t* p, const uint8_t* end) {
    while (p < end) {
        size_t n = IntegerSpaceLength(p, end);
        if (n == 0) break;
        p += n;
    }
    return p;
}

int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// Digits of an unsigned magnitude in base 10 or 16. Sets overflow rather than stopping so
// that a bad character later still wins over an overflow earlier, as readers expect.
IntegerStatus AccumulateDigits(const uint8_t* p, const uint8_t* end, bool hex, uint64_t& mag,
                               const uint8_t** bad) {
    bool overflow = false;
    mag = 0;
    const unsigned base = hex ? 16 : 10;
    for (; p < end; ++p) {
        int d = HexValue(*p);
        if (d < 0 || (!hex && d >= 10)) {
            if (bad) *bad = p;
            return d >= 10 ? IntegerStatus::kHexInDecimal : IntegerStatus::kBadCharacter;
        }
        uint64_t next = mag * base + static_cast<unsigned>(d);
        if (mag > (std::numeric_limits<uint64_t>::max() - static_cast<unsigned>(d)) / base)
            overflow = true;
        mag = next;
    }
    return overflow ? IntegerStatus::kOverflow : IntegerStatus::kOK;
}

bool EqualsIgnoringCase(const uint8_t* p, const uint8_t* end, const char* word) {
    size_t n = std::strlen(word);
    if (static_cast<size_t>(end - p) != n) return false;
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = p[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
        if (c != static_cast<uint8_t>(word[i])) return false;
    }
    return true;
}

bool IsCSpace(uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Length of a strtod-style decimal at p (sign, digits, fraction, exponent); 0 when none.
size_t DecimalLength(const uint8_t* p, const uint8_t* end) {
    const uint8_t* q = p;
    if (q < end && (*q == '+' || *q == '-')) ++q;
    size_t digits = 0;
    while (q < end && IsDigit(*q)) ++q, ++digits;
    if (q < end && *q == '.') {
        ++q;
        while (q < end && IsDigit(*q)) ++q, ++digits;
    }
    if (digits == 0) return 0;
    if (q < end && (*q == 'e' || *q == 'E')) {
        const uint8_t* e = q + 1;
        if (e < end && (*e == '+' || *e == '-')) ++e;
        if (e < end && IsDigit(*e)) {
            while (e < end && IsDigit(*e)) ++e;
            q = e;
        }
    }
    return static_cast<size_t>(q - p);
}

// True when a decimal that from_chars found out of range is huge rather than tiny: the
// power of ten of its first nonzero digit, plus its exponent, is not negative.
bool DecimalIsLarge(const uint8_t* p, const uint8_t* end) {
    int64_t power = 0;
    bool seenPoint = false, found = false;
    const uint8_t* q = p;
    for (; q < end && (IsDigit(*q) || *q == '.'); ++q) {
        if (*q == '.') {
            seenPoint = true;
        } else if (found) {
            if (!seenPoint) ++power;
        } else if (*q != '0') {
            found = true;
            if (seenPoint) --power;
        } else if (seenPoint) {
            --power;
        }
    }
    if (!found) return false;
    int64_t exponent = 0;
    if (q < end && (*q == 'e' || *q == 'E')) {
        ++q;
        bool negative = q < end && *q == '-';
        if (q < end && (*q == '+' || *q == '-')) ++q;
        for (; q < end && IsDigit(*q); ++q)
            if (exponent < 100000000) exponent = exponent * 10 + (*q - '0');
        if (negative) exponent = -exponent;
    }
    return power + exponent >= 0;
}

// Reads exactly two digits at p.
bool TwoDigits(const uint8_t* p, int64_t& out) {
    if (!IsDigit(p[0]) || !IsDigit(p[1])) return false;
    out = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

IntegerStatus ParseXMLInteger(const uint8_t* p, const uint8_t* end, IntegerValue& out,
                              const uint8_t** bad) {
    out = {};
    if (p == end) return IntegerStatus::kEmpty;
    p = SkipIntegerSpace(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        p = SkipIntegerSpace(p + 1, end);
    }
    bool hex = false;
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        hex = true;
        p += 2;
    }
    if (p == end) return IntegerStatus::kIncomplete;
    uint64_t mag = 0;
    IntegerStatus status = IntegerStatus::kOK;
    // Up to 18 decimal digits cannot overflow: the common integer takes one plain loop, and
    // anything else goes through the checked one for its verdict.
    const uint8_t* q = p;
    if (!hex && end - p <= 18)
        for (; q < end && IsDigit(*q); ++q) mag = mag * 10 + static_cast<unsigned>(*q - '0');
    if (q != end || p == end) status = AccumulateDigits(p, end, hex, mag, bad);
    if (status == IntegerStatus::kOverflow && negative) return IntegerStatus::kUnderflow;
    if (status != IntegerStatus::kOK) return status;
    out.magnitude = mag;
    if (negative) {
        if (mag > uint64_t{1} << 63) return IntegerStatus::kUnderflow;
        out.value = static_cast<int64_t>(0 - mag);  // two's complement, INT64_MIN included
    } else if (mag > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        out.isUnsigned = true;
    } else {
        out.value = static_cast<int64_t>(mag);
    }
    return IntegerStatus::kOK;
}

bool ParseXMLReal(const uint8_t* p, const uint8_t* end, double& out) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (EqualsIgnoringCase(p, end, "nan"))
        return out = std::numeric_limits<double>::quiet_NaN(), true;
    for (const char* name : {"inf", "+inf", "infinity", "+infinity"})
        if (EqualsIgnoringCase(p, end, name)) return out = kInf, true;
    for (const char* name : {"-inf", "-infinity"})
        if (EqualsIgnoringCase(p, end, name)) return out = -kInf, true;
    while (p < end && IsCSpace(*p)) ++p;
    size_t length = DecimalLength(p, end);
    if (length == 0 || length != static_cast<size_t>(end - p)) return false;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const char* first = reinterpret_cast<const char*>(p);
    const char* last = reinterpret_cast<const char*>(end);
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        value = DecimalIsLarge(p, end) ? kInf : 0.0;
    } else if (ec != std::errc() || ptr != last) {
        return false;
    }
    out = negative ? -value : value;
    return true;
}

const uint8_t* SkipDecodedRealSpace(const uint8_t* p, const uint8_t* end) {
    for (;;) {
        if (p < end && IsCSpace(*p))
            ++p;
        else if (end - p >= 2 && p[0] == 0xC2 && p[1] == 0xA0)
            p += 2;
        else
            return p;
    }
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeapYear(int64_t y) {
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

// Days of the year before the first of `month`. Month 13 is the next year's January; any other
// month outside 1-12 counts no days at all, which is how the real reader normalises it
// (2011-00-04 reads as 2011-01-04, 5043-53-73 as day 73 of 5043).
int64_t DaysBeforeMonth(int64_t year, int64_t month) {
    static constexpr int64_t kBefore[] = {0,   0,   31,  59,  90,  120, 151,
                                          181, 212, 243, 273, 304, 334, 365};
    if (month < 1 || month > 13) return 0;
    return kBefore[month] + (month >= 3 && IsLeapYear(year) ? 1 : 0);
}

bool ParseXMLDate(const uint8_t* p, const uint8_t* end, double& out) {
    bool negative = p < end && *p == '-';
    if (negative) ++p;
    int64_t year = 0;
    const uint8_t* digits = p;
    while (p < end && IsDigit(*p)) {
        // A year this long has no meaning; refuse rather than overflow.
        if (p - digits >= 12) return false;
        year = year * 10 + (*p++ - '0');
    }
    if (p == digits) return false;
    if (negative) year = -year;
    // The rest is fixed: -MM-DDTHH:MM:SSZ, 16 bytes.
    if (end - p != 16 || p[0] != '-' || p[3] != '-' || p[6] != 'T' || p[9] != ':' || p[12] != ':' ||
        p[15] != 'Z')
        return false;
    int64_t month, day, hour, minute, second;
    if (!TwoDigits(p + 1, month) || !TwoDigits(p + 4, day) || !TwoDigits(p + 7, hour) ||
        !TwoDigits(p + 10, minute) || !TwoDigits(p + 13, second))
        return false;
    int64_t days = DaysFromCivil(year, 1, 1) + DaysBeforeMonth(year, month) + (day - 1) -
                   DaysFromCivil(2001, 1, 1);
    out = static_cast<double>(days) * 86400.0 +
          static_cast<double>(hour * 3600 + minute * 60 + second);
    return true;
}

}  // namespace cf::plist
