#include "MediaLibrary.h"

#include <random>
#include <string>
#include <vector>

namespace {

const char* const kWords[] = {
    "Love",    "Night",  "Blue",   "Rock & Roll", "<Live>",   "Café",      "Über",
    "Señor",   "Ñandú",  "Straße", "Déjà Vu",     "Björk",    "Motörhead", "東京",
    "Мечта",   "Ελπίδα", "Remix",  "Version",     "\"Demo\"", "It's",      "Symphony No. 5",
    "Part II", "Intro",  "Outro",  "Sunrise",     "Moon",     "Heart"};

class Builder {
public:
    explicit Builder(uint32_t seed) : mRandom(seed) {}

    CFRef<CFDictionaryRef> Library(size_t tracks) {
        CFRef<CFMutableDictionaryRef> library(NewDictionary());
        SetInt(library.Get(), "Major Version", 1);
        SetInt(library.Get(), "Minor Version", 1);
        SetString(library.Get(), "Application Version", "9.2.1 <build & test>");
        SetDate(library.Get(), "Date", 300000000.0);
        CFRef<CFMutableDictionaryRef> all(NewDictionary());
        for (size_t i = 0; i < tracks; ++i) {
            CFRef<CFDictionaryRef> track = Track(static_cast<int64_t>(1000 + i));
            CFRef<CFStringRef> key(Text(std::to_string(1000 + i)));
            CFDictionarySetValue(all.Get(), key.Get(), track.Get());
        }
        CFDictionarySetValue(library.Get(), CFSTR("Tracks"), all.Get());
        return CFRef<CFDictionaryRef>(library.Detach());
    }

private:
    static CFMutableDictionaryRef NewDictionary() {
        return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                         &kCFTypeDictionaryValueCallBacks);
    }
    static CFStringRef Text(const std::string& utf8) {
        return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                       static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8,
                                       false);
    }
    static void Set(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
        CFRef<CFStringRef> name(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
        CFDictionarySetValue(dict, name.Get(), value);
        CFRelease(value);
    }
    static void SetInt(CFMutableDictionaryRef dict, const char* key, int64_t value) {
        Set(dict, key, CFNumberCreate(nullptr, kCFNumberSInt64Type, &value));
    }
    static void SetInt32(CFMutableDictionaryRef dict, const char* key, int32_t value) {
        Set(dict, key, CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    }
    static void SetString(CFMutableDictionaryRef dict, const char* key, const std::string& v) {
        Set(dict, key, Text(v));
    }
    static void SetDate(CFMutableDictionaryRef dict, const char* key, double at) {
        Set(dict, key, CFDateCreate(nullptr, at));
    }

    uint64_t Below(uint64_t n) { return mRandom() % n; }
    std::string Words(size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i) {
            if (i) text += ' ';
            text += kWords[Below(std::size(kWords))];
        }
        return text;
    }

    CFRef<CFDictionaryRef> Track(int64_t id) {
        CFRef<CFMutableDictionaryRef> t(NewDictionary());
        CFMutableDictionaryRef d = t.Get();
        SetInt32(d, "Track ID", static_cast<int32_t>(id));
        SetString(d, "Name", Words(2 + Below(4)));
        SetString(d, "Artist", Words(1 + Below(3)));
        SetString(d, "Album Artist", Words(1 + Below(2)));
        SetString(d, "Album", Words(1 + Below(4)));
        SetString(d, "Genre", Words(1));
        SetString(d, "Kind", "MPEG audio file");
        SetInt(d, "Size", static_cast<int64_t>(3000000 + Below(9000000000)));
        SetInt32(d, "Total Time", static_cast<int32_t>(60000 + Below(400000)));
        SetInt32(d, "Track Number", static_cast<int32_t>(1 + Below(20)));
        SetInt32(d, "Year", static_cast<int32_t>(1950 + Below(75)));
        SetDate(d, "Date Modified", static_cast<double>(Below(700000000)));
        SetDate(d, "Date Added", static_cast<double>(Below(700000000)) + 0.5);
        SetInt32(d, "Bit Rate", 320);
        SetInt(d, "Play Date", static_cast<int64_t>(3400000000 + Below(500000000)));
        double volume = static_cast<double>(Below(2000)) / 7.0 - 100.0;
        Set(d, "Volume Adjustment", CFNumberCreate(nullptr, kCFNumberFloat64Type, &volume));
        Set(d, "Loved", CFRetain(Below(2) ? kCFBooleanTrue : kCFBooleanFalse));
        char pid[17];
        snprintf(pid, sizeof pid, "%016llX", static_cast<unsigned long long>(mRandom()));
        SetString(d, "Persistent ID", pid);
        SetString(d, "Location",
                  "file:///Users/me/Music/" + std::to_string(id) + "%20Track%20&%20More.mp3");
        std::vector<UInt8> art(16 + Below(32));
        for (UInt8& b : art) b = static_cast<UInt8>(mRandom());
        Set(d, "Artwork Hash", CFDataCreate(nullptr, art.data(), static_cast<CFIndex>(art.size())));
        return CFRef<CFDictionaryRef>(t.Detach());
    }

    std::mt19937_64 mRandom;
};

}  // namespace

CFRef<CFDictionaryRef> CreateMediaLibrary(size_t tracks) {
    return Builder(2024).Library(tracks);
}
