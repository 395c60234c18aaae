#include "convert/DescBuilders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void Check(OSErr err, const char* what) {
    if (err != noErr) ADD_FAILURE() << what << " failed with " << err;
}

std::string CodeText(FourCharCode code) {
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char c = static_cast<unsigned char>(code >> shift);
        if (c >= 0x20 && c < 0x7F && c != '\'' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text + "'";
}

std::string Hex(const std::string& bytes) {
    std::string text;
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", c);
        text += pair;
    }
    return text;
}

std::string DescribeUnicode(const std::string& bytes) {
    std::string text = "\"";
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t unit;
        std::memcpy(&unit, bytes.data() + i, 2);
        if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\') {
            text += static_cast<char>(unit);
        } else {
            char escaped[7];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", unit);
            text += escaped;
        }
    }
    if (bytes.size() % 2) text += "<odd byte>";
    return text + "\"";
}

long CountOf(const AEDesc& desc) {
    long count = 0;
    Check(AECountItems(&desc, &count), "AECountItems");
    return count;
}

OwnedDesc NthItem(const AEDesc& desc, long index, AEKeyword* keyword = nullptr) {
    OwnedDesc item;
    AEKeyword ignored = 0;
    Check(AEGetNthDesc(&desc, index, typeWildCard, keyword ? keyword : &ignored, item.Out()),
          "AEGetNthDesc");
    return item;
}

std::string DescribeUserFields(const AEDesc& list) {
    if (list.descriptorType != typeAEList) return Describe(list);
    long count = CountOf(list);
    std::vector<std::string> pairs;
    for (long i = 1; i + 1 <= count; i += 2)
        pairs.push_back(Describe(*NthItem(list, i)) + ":" + Describe(*NthItem(list, i + 1)));
    std::sort(pairs.begin(), pairs.end());
    std::string text = "[";
    for (size_t i = 0; i < pairs.size(); ++i) text += (i ? ", " : "") + pairs[i];
    if (count % 2) text += " + odd " + Describe(*NthItem(list, count));
    return text + "]";
}

std::string DescribeRecord(const AEDesc& record) {
    std::vector<std::string> fields;
    long count = CountOf(record);
    for (long i = 1; i <= count; ++i) {
        AEKeyword keyword = 0;
        OwnedDesc value = NthItem(record, i, &keyword);
        fields.push_back(
            CodeText(keyword) + ":" +
            (keyword == keyASUserRecordFields ? DescribeUserFields(*value) : Describe(*value)));
    }
    std::sort(fields.begin(), fields.end());
    std::string text =
        record.descriptorType == typeAERecord ? "{" : CodeText(record.descriptorType) + "{";
    for (size_t i = 0; i < fields.size(); ++i) text += (i ? ", " : "") + fields[i];
    return text + "}";
}

OwnedDesc Coerced(const AEDesc& desc, DescType type) {
    OwnedDesc result;
    Check(AECoerceDesc(&desc, type, result.Out()), "AECoerceDesc");
    return result;
}

int64_t IntegerOf(const AEDesc& desc) {
    int64_t value = 0;
    OwnedDesc wide = Coerced(desc, typeSInt64);
    AEGetDescData(&wide.Get(), &value, sizeof value);
    return value;
}

}  // namespace

OwnedDesc CoercedTo(const AEDesc& desc, DescType type) {
    return Coerced(desc, type);
}

OwnedDesc MakeBytes(DescType type, std::string_view bytes) {
    OwnedDesc desc;
    Check(AECreateDesc(type, bytes.data(), static_cast<Size>(bytes.size()), desc.Out()),
          "AECreateDesc");
    return desc;
}

OwnedDesc MakeUnicode(std::u16string_view text) {
    return MakeBytes(typeUnicodeText,
                     std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * 2));
}

OwnedDesc MakeNull() {
    return OwnedDesc();
}

OwnedDesc MakeList(std::initializer_list<OwnedDesc> items) {
    OwnedDesc list;
    Check(AECreateList(nullptr, 0, false, list.Out()), "AECreateList");
    for (const OwnedDesc& item : items)
        Check(AEPutDesc(list.Mutable(), 0, &item.Get()), "AEPutDesc");
    return list;
}

OwnedDesc MakeRecord(std::initializer_list<Field> fields, DescType type) {
    OwnedDesc record;
    Check(AECreateList(nullptr, 0, true, record.Out()), "AECreateList");
    AEDesc* target = record.Mutable();
    for (const Field& field : fields)
        Check(AEPutParamDesc(target, field.key, &field.value.Get()), "AEPutParamDesc");
    if (type == typeAERecord) return record;
    return Coerced(*record, type);
}

OwnedDesc MakeUserFields(std::initializer_list<std::pair<std::u16string_view, OwnedDesc>> pairs) {
    OwnedDesc list;
    Check(AECreateList(nullptr, 0, false, list.Out()), "AECreateList");
    AEDesc* target = list.Mutable();
    for (const auto& [key, value] : pairs) {
        OwnedDesc keyDesc = MakeUnicode(key);
        Check(AEPutDesc(target, 0, &keyDesc.Get()), "AEPutDesc");
        Check(AEPutDesc(target, 0, &value.Get()), "AEPutDesc");
    }
    return list;
}

std::string DataOf(const AEDesc& desc) {
    std::string bytes(static_cast<size_t>(AEGetDescDataSize(&desc)), '\0');
    if (!bytes.empty())
        Check(AEGetDescData(&desc, bytes.data(), static_cast<Size>(bytes.size())), "AEGetDescData");
    return bytes;
}

std::string Describe(const AEDesc& desc) {
    if (desc.descriptorType == typeAEList) {
        std::string text = "[";
        long count = CountOf(desc);
        for (long i = 1; i <= count; ++i) text += (i > 1 ? ", " : "") + Describe(*NthItem(desc, i));
        return text + "]";
    }
    if (desc.descriptorType != typeNull && desc.descriptorType != typeAppleEvent &&
        AECheckIsRecord(&desc))
        return DescribeRecord(desc);
    std::string bytes = DataOf(desc);
    if (desc.descriptorType == typeIEEE64BitFloatingPoint && bytes.size() == 8) {
        double value;
        std::memcpy(&value, bytes.data(), 8);
        char text[40];
        std::snprintf(text, sizeof text, "doub(%.17g)", value);
        return text;
    }
    if (desc.descriptorType == typeUnicodeText) return "utxt" + DescribeUnicode(bytes);
    return CodeText(desc.descriptorType) + "(" + Hex(bytes) + ")" +
           (desc.dataHandle ? "" : "<no data>");
}

OwnedDesc ExpectedAfterRoundTrip(const AEDesc& desc) {
    switch (desc.descriptorType) {
        case typeUnicodeText:
        case typeUTF8Text:
        case typeChar:
        case typeStyledText:
        case typeStyledUnicodeText:
        case typeIntlText:
            return Coerced(desc, typeUnicodeText);
        case typeSInt16:
        case typeSInt32:
        case typeUInt32:
        case typeSInt64: {
            int64_t value = IntegerOf(desc);
            if (value >= -2147483647 && value <= 2147483647)
                return MakeValue(typeSInt32, int32_t(value));
            return MakeValue(typeSInt64, value);
        }
        case typeIEEE32BitFloatingPoint:
            return Coerced(desc, typeIEEE64BitFloatingPoint);
        case typeBoolean:
            return MakeValue(typeBoolean, uint8_t(DataOf(desc) != std::string(1, '\0')));
        case typeTrue:
            return MakeValue(typeBoolean, uint8_t(1));
        case typeFalse:
            return MakeValue(typeBoolean, uint8_t(0));
        case typeAEList: {
            OwnedDesc list = MakeList({});
            for (long i = 1; i <= CountOf(desc); ++i)
                Check(
                    AEPutDesc(list.Mutable(), 0, &ExpectedAfterRoundTrip(*NthItem(desc, i)).Get()),
                    "AEPutDesc");
            return list;
        }
        case typeAERecord: {
            OwnedDesc record = MakeRecord({});
            OwnedDesc userFields = MakeList({});
            AEDesc* target = record.Mutable();
            for (long i = 1; i <= CountOf(desc); ++i) {
                AEKeyword keyword = 0;
                OwnedDesc value = NthItem(desc, i, &keyword);
                if (keyword != keyASUserRecordFields) {
                    Check(AEPutParamDesc(target, keyword, &ExpectedAfterRoundTrip(*value).Get()),
                          "AEPutParamDesc");
                    continue;
                }
                long count = CountOf(*value);
                for (long k = 1; k + 1 <= count; k += 2)
                    for (long j : {k, k + 1})
                        Check(AEPutDesc(userFields.Mutable(), 0,
                                        &ExpectedAfterRoundTrip(*NthItem(*value, j)).Get()),
                              "AEPutDesc");
            }
            Check(AEPutParamDesc(target, keyASUserRecordFields, &userFields.Get()),
                  "AEPutParamDesc");
            return record;
        }
        default: {
            OwnedDesc copy;
            Check(AEDuplicateDesc(&desc, copy.Out()), "AEDuplicateDesc");
            return copy;
        }
    }
}
