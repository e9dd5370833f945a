#include "base/registry_text.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

namespace reg = qbase::registry;
using reg::detail::formatHive;
using reg::detail::Hive;
using reg::detail::parseHive;

struct Case {
    const char* name;
    reg::Value value;
};

class RegistryTextRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RegistryTextRoundTrip, ValueReadsBackByteForByte) {
    Hive hive;
    bool created = false;
    hive.currentUser.create({"Software", "Talvenor"}, created)
        .values["x"] = reg::detail::NamedValue{GetParam().name, GetParam().value};
    const Hive back = parseHive(formatHive(hive));
    Hive copy = parseHive(formatHive(back));
    const reg::detail::Key* key = copy.currentUser.find({"software", "talvenor"});
    ASSERT_TRUE(key);
    ASSERT_EQ(key->values.size(), 1u);
    const auto& named = key->values.begin()->second;
    EXPECT_EQ(named.name, GetParam().name);
    EXPECT_EQ(named.value.type, GetParam().value.type);
    EXPECT_EQ(named.value.data, GetParam().value.data);
}

using B = std::vector<std::uint8_t>;
INSTANTIATE_TEST_SUITE_P(
    Values, RegistryTextRoundTrip,
    ::testing::Values(Case{"Distrib", reg::stringValue("5.0.3")}, Case{"", reg::stringValue("default")},
                      Case{"Quote \" and \\", reg::stringValue("C:\\Program Files\\\"x\"")},
                      Case{"Empty", reg::stringValue("")}, Case{"Dword", reg::dwordValue(0xDEADBEEF)},
                      Case{"Binary", {reg::ValueType::Binary, B{0, 1, 0xFF, 0x7F}}},
                      Case{"EmptyBinary", {reg::ValueType::Binary, B{}}},
                      Case{"Unterminated", {reg::ValueType::String, B{'a', 'b'}}},
                      Case{"Multi line", reg::stringValue("a\r\nb")},
                      Case{"ShortDword", {reg::ValueType::Dword, B{1, 2}}},
                      Case{"OtherType", {static_cast<reg::ValueType>(7), B{'a', 0, 0}}},
                      Case{"TypeAboveNine", {static_cast<reg::ValueType>(0x17), B{'a', 0}}}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* c = info.param.name; *c; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
        }
        return name.empty() ? std::string("Default") : name;
    });

TEST(RegistryText, ReadsContinuedHexAndSkipsDamage) {
    Hive hive = parseHive(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"Bin\"=hex:01,02,\\\n  03,04\n\"Bad\"=dword:xyz\n\"Half\"=\"open\n"
        "[HKEY_CLASSES_ROOT\\B]\n\"Ignored\"=dword:1\n[broken\n\"Orphan\"=dword:2\n[HKEY_LOCAL_MACHINE\\A\\C]\n");
    const reg::detail::Key* a = hive.localMachine.find({"a"});
    ASSERT_TRUE(a);
    ASSERT_EQ(a->values.size(), 1u);
    EXPECT_EQ(a->values.at("bin").value.data, (B{1, 2, 3, 4}));
    EXPECT_TRUE(a->subkeys.count("c"));
}

}  // namespace
