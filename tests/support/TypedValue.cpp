#include "support/TypedValue.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace testjson {
namespace {

uint64_t Hex(const std::string& text) {
    return std::strtoull(text.c_str(), nullptr, 16);
}

CFRef<CFTypeRef> BuildInteger(const Value& typed, const Value& payload) {
    const Value* cftype = typed.Find("cftype");
    std::string type = cftype ? cftype->Utf8() : "SInt64";
    long long value = std::strtoll(payload.Utf8().c_str(), nullptr, 10);
    if (type == "SInt8") {
        int8_t v = static_cast<int8_t>(value);
        return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberSInt8Type, &v));
    }
    if (type == "SInt16") {
        int16_t v = static_cast<int16_t>(value);
        return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberSInt16Type, &v));
    }
    if (type == "SInt32") {
        int32_t v = static_cast<int32_t>(value);
        return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberSInt32Type, &v));
    }
    int64_t v = value;
    return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberSInt64Type, &v));
}

CFRef<CFTypeRef> BuildReal(const Value& typed, const Value& payload) {
    const Value* cftype = typed.Find("cftype");
    const Value* bits = typed.Find("bits");
    if (cftype && cftype->Utf8() == "Float32") {
        float v = bits ? std::bit_cast<float>(static_cast<uint32_t>(Hex(bits->Utf8())))
                       : std::strtof(payload.Utf8().c_str(), nullptr);
        return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberFloat32Type, &v));
    }
    double v = bits ? std::bit_cast<double>(Hex(bits->Utf8()))
                    : std::strtod(payload.Utf8().c_str(), nullptr);
    return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberFloat64Type, &v));
}

CFRef<CFTypeRef> BuildData(const Value& payload) {
    std::string hex = payload.Utf8();
    std::vector<UInt8> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<UInt8>(Hex(hex.substr(i, 2))));
    return CFRef<CFTypeRef>(
        CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size())));
}

CFRef<CFTypeRef> BuildContainer(const std::string& kind, const Value& payload, std::string& error) {
    if (kind == "array") {
        CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        for (const Value& item : payload.array) {
            CFRef<CFTypeRef> element = BuildCF(item, error);
            if (!element) return {};
            CFArrayAppendValue(array.Get(), element.Get());
        }
        return CFRef<CFTypeRef>(array.Detach());
    }
    CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (const Value& pair : payload.array) {
        if (pair.array.size() != 2) {
            error = "dict pair without two members";
            return {};
        }
        CFRef<CFTypeRef> key = BuildCF(pair.array[0], error);
        CFRef<CFTypeRef> value = BuildCF(pair.array[1], error);
        if (!key || !value) return {};
        CFDictionarySetValue(dict.Get(), key.Get(), value.Get());
    }
    return CFRef<CFTypeRef>(dict.Detach());
}

}  // namespace

CFRef<CFTypeRef> BuildCF(const Value& typed, std::string& error) {
    for (const auto& [kind, payload] : typed.object) {
        if (kind == "string") {
            std::vector<UniChar> units(payload.string.begin(), payload.string.end());
            return CFRef<CFTypeRef>(CFStringCreateWithCharacters(
                nullptr, units.data(), static_cast<CFIndex>(units.size())));
        }
        if (kind == "integer") return BuildInteger(typed, payload);
        if (kind == "real") return BuildReal(typed, payload);
        if (kind == "date") {
            const Value* bits = typed.Find("bits");
            double t = bits ? std::bit_cast<double>(Hex(bits->Utf8()))
                            : std::strtod(payload.Utf8().c_str(), nullptr);
            return CFRef<CFTypeRef>(CFDateCreate(nullptr, t));
        }
        if (kind == "data") return BuildData(payload);
        if (kind == "bool")
            return CFRef<CFTypeRef>(CFRetain(payload.boolean ? kCFBooleanTrue : kCFBooleanFalse));
        if (kind == "array" || kind == "dict") return BuildContainer(kind, payload, error);
    }
    error = "value without a known type key";
    return {};
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

CFRef<CFDataRef> MakeData(const std::string& bytes) {
    return CFRef<CFDataRef>(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                         static_cast<CFIndex>(bytes.size())));
}

std::string Bytes(CFDataRef data) {
    if (!data) return {};
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                       static_cast<size_t>(CFDataGetLength(data)));
}

}  // namespace testjson
