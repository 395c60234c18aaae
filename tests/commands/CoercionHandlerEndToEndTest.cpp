// Coercion handlers a host installs, seen through the loaded bundle: every route that reads a
// value through a coercion (a record key's text, a 'magn', text of another type, the text of a
// load) calls the handler, and a native value (numbers, 'utxt' text) is read without one.
#include <gtest/gtest.h>

#include <string>

#include "commands/CommandTestSupport.h"
#include "commands/LoadedBundleTest.h"
#include "host/EventSender.h"

namespace {

OSErr Refuse(const AEDesc*, DescType, SRefCon, AEDesc*) {
    return errAEWrongDataType;
}

OSErr RefuseAsNoCoercion(const AEDesc*, DescType, SRefCon, AEDesc*) {
    return errAECoercionFail;
}

// Answers with the descriptor its refcon points to, whatever it is asked.
OSErr Answer(const AEDesc*, DescType, SRefCon refcon, AEDesc* result) {
    return AEDuplicateDesc(static_cast<const AEDesc*>(refcon), result);
}

// 'utxt' → 'utf8' of ASCII text, quoted: "name" becomes "'name'".
OSErr Quote(const AEDesc* from, DescType, SRefCon, AEDesc* result) {
    const std::string units = DataOf(*from);
    std::string quoted = "'";
    for (size_t i = 0; i + 1 < units.size(); i += 2) quoted += units[i];
    quoted += "'";
    return AECreateDesc(typeUTF8Text, quoted.data(), static_cast<Size>(quoted.size()), result);
}

const char kKeys[] =
    "<plist><dict><key>name</key><integer>1</integer><key>'ab'</key><integer>2</integer>"
    "<key>'pnam'</key><integer>3</integer></dict></plist>";

OwnedDesc Long(int32_t value) {
    return MakeValue(typeSInt32, value);
}

struct Row {
    const char* what;
    DescType from, to;
    AECoerceDescProcPtr handler;  // nullptr: none installed
    const AEDesc* answer;         // the Answer handler's descriptor
    bool store;
    OwnedDesc value;
    std::string expected;  // load: the result described; store: a fragment of the XML
};

class CoercionHandlerEndToEndTest : public LoadedBundleTest {
protected:
    // "status N", the described load result, or the stored XML.
    static std::string Run(const Row& row) {
        if (row.handler) {
            EXPECT_EQ(AEInstallCoercionHandler(row.from, row.to, row.handler,
                                               const_cast<AEDesc*>(row.answer), true, false),
                      noErr);
        }
        EventOutcome outcome =
            row.store ? SendStorePList(*row.value, nullptr) : SendLoadPList(*row.value);
        if (row.handler) AERemoveCoercionHandler(row.from, row.to, row.handler, false);
        if (outcome.status != noErr) return "status " + std::to_string(outcome.status);
        OwnedDesc result;
        EXPECT_EQ(CopyDirectResult(outcome.reply.Get(), result), noErr);
        if (!row.store) return Describe(result.Get());
        OwnedDesc utf8;
        EXPECT_EQ(AECoerceDesc(&result.Get(), typeUTF8Text, utf8.Out()), noErr);
        return DataOf(utf8.Get());
    }
};

TEST_F(CoercionHandlerEndToEndTest, EveryRouteCallsTheHandlerWhereItCoercesAndOnlyThere) {
    const OwnedDesc fortyTwo = Long(42), otherText = MakeUnicode(u"other");
    const OwnedDesc otherXML = MakeBytes(typeUTF8Text, "<string>other</string>");
    const std::string plain = Describe(*MakeRecord(
        {{FourCC("pnam"), Long(3)},
         {keyASUserRecordFields, MakeUserFields({{u"name", Long(1)}, {u"'ab'", Long(2)}})}}));
    const std::string none = Describe(*MakeRecord({{keyASUserRecordFields, MakeList({})}}));
    const std::string quoted =
        Describe(*MakeRecord({{FourCC("name"), Long(1)},
                              {FourCC("'ab'"), Long(2)},
                              {keyASUserRecordFields, MakeUserFields({{u"'pnam'", Long(3)}})}}));
    const Row rows[] = {
        // Every key is read through 'utxt' → 'utf8'.
        {"keys", 0, 0, nullptr, nullptr, false, MakeBytes(typeUTF8Text, kKeys), plain},
        {"keys, refused", typeUnicodeText, typeUTF8Text, Refuse, nullptr, false,
         MakeBytes(typeUTF8Text, kKeys), none},
        {"keys, quoted", typeUnicodeText, typeUTF8Text, Quote, nullptr, false,
         MakeBytes(typeUTF8Text, kKeys), quoted},
        {"keys, any source", typeWildCard, typeUTF8Text, Quote, nullptr, false,
         MakeBytes(typeUTF8Text, kKeys), quoted},
        // The text of a load: 'utxt' is read as 'utf8'.
        {"load text, refused", typeUnicodeText, typeUTF8Text, Refuse, nullptr, false,
         MakeUnicode(u"<string>x</string>"), "status -1703"},
        {"load text, answered", typeUnicodeText, typeUTF8Text, Answer, &*otherXML, false,
         MakeUnicode(u"<string>x</string>"), Describe(*otherText)},
        // 'magn' is read as 'long'; only a value above 2^31 - 1 that is refused is kept whole.
        {"magn", 0, 0, nullptr, nullptr, true, MakeValue(typeUInt32, uint32_t(5)),
         "<integer>5</integer>"},
        {"magn, refused", typeUInt32, typeSInt32, RefuseAsNoCoercion, nullptr, true,
         MakeValue(typeUInt32, uint32_t(5)), "status -1700"},
        {"big magn, refused", typeUInt32, typeSInt32, RefuseAsNoCoercion, nullptr, true,
         MakeValue(typeUInt32, uint32_t(4000000000u)), "<integer>4000000000</integer>"},
        {"magn, answered", typeUInt32, typeSInt32, Answer, &*fortyTwo, true,
         MakeValue(typeUInt32, uint32_t(5)), "<integer>42</integer>"},
        {"big magn, answered", typeUInt32, typeSInt32, Answer, &*fortyTwo, true,
         MakeValue(typeUInt32, uint32_t(4000000000u)), "<integer>42</integer>"},
        // Text of another type is read as 'utxt'; 'utxt' itself and its keys are read as they are.
        {"utf8 text, refused", typeUTF8Text, typeUnicodeText, Refuse, nullptr, true,
         MakeBytes(typeUTF8Text, "x"), "status -1703"},
        {"utf8 text, answered", typeUTF8Text, typeUnicodeText, Answer, &*otherText, true,
         MakeBytes(typeUTF8Text, "x"), "<string>other</string>"},
        {"utxt text and key", typeUnicodeText, typeUTF8Text, Refuse, nullptr, true,
         MakeRecord({{keyASUserRecordFields, MakeUserFields({{u"k", MakeUnicode(u"x")}})}}),
         "<key>k</key>\n\t<string>x</string>"},
        // Numbers of the native types are read without a coercion.
        {"shor, answered", typeSInt16, typeSInt32, Answer, &*fortyTwo, true,
         MakeValue(typeSInt16, int16_t(5)), "<integer>5</integer>"},
        {"doub, refused", typeIEEE64BitFloatingPoint, typeIEEE64BitFloatingPoint, Refuse, nullptr,
         true, MakeValue(typeIEEE64BitFloatingPoint, 2.5), "<real>2.5</real>"},
        {"comp in a list, answered", typeSInt64, typeSInt32, Answer, &*fortyTwo, true,
         MakeList({MakeValue(typeSInt64, int64_t(1) << 40)}), "<integer>1099511627776</integer>"},
    };
    for (const Row& row : rows) {
        const std::string got = Run(row);
        if (row.store && got.rfind("status ", 0) != 0)
            EXPECT_NE(got.find(row.expected), std::string::npos) << row.what << ": " << got;
        else
            EXPECT_EQ(got, row.expected) << row.what;
    }
}

}  // namespace
