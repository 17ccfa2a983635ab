// Property lists as the plug-in and the dock read them: either format, types kept, and malformed
// or hostile data refused without crashing, hanging or exhausting memory.
#include "CaseName.h"
#include "PropertyListFile.h"
#include "PropertyListShape.h"
#include "StderrCapture.h"
#include "TemporaryDirectory.h"
#include "TestFiles.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zov::docktile::test {
namespace {

using zov::test::CaseName;
using zov::test::TemporaryDirectory;

class PropertyListFormats : public ::testing::TestWithParam<PlistFormat> {};

TEST_P(PropertyListFormats, ReadsValuesWithTheirTypes) {
    const auto original = dictionary({{"appIcon", plist_new_string("custom")},
                                      {"count", plist_new_uint(3)},
                                      {"path", plist_new_string("/tmp/ünïcode icon.png")}});

    const auto parsed = parsePropertyList(serialize(original.get(), GetParam()));

    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(stringValue(dictionaryValue(parsed.get(), "appIcon")), "custom");
    EXPECT_EQ(stringValue(dictionaryValue(parsed.get(), "path")), "/tmp/ünïcode icon.png");
    EXPECT_NE(dictionaryValue(parsed.get(), "count"), nullptr);
    EXPECT_EQ(stringValue(dictionaryValue(parsed.get(), "count")), std::nullopt);
    EXPECT_EQ(dictionaryValue(parsed.get(), "missing"), nullptr);
}

TEST_P(PropertyListFormats, ReadsNestingOfRealisticDepth) {
    PropertyList root(plist_new_array());
    plist_t inner = root.get();
    for (int i = 0; i < 64; ++i) {
        plist_t next = plist_new_array();
        plist_array_append_item(inner, next);
        inner = next;
    }

    EXPECT_NE(parsePropertyList(serialize(root.get(), GetParam())), nullptr);
}

std::string formatName(const ::testing::TestParamInfo<PlistFormat>& row) {
    return row.param == PlistFormat::xml ? "Xml" : "Binary";
}

INSTANTIATE_TEST_SUITE_P(Formats, PropertyListFormats,
                         ::testing::Values(PlistFormat::xml, PlistFormat::binary), formatName);

TEST(PropertyList, StringValueIsNoneForOtherTypesAndForNone) {
    const PropertyList number(plist_new_uint(1));
    const PropertyList boolean(plist_new_bool(1));
    const PropertyList data(plist_new_data("custom", 6));

    EXPECT_EQ(stringValue(nullptr), std::nullopt);
    EXPECT_EQ(stringValue(number.get()), std::nullopt);
    EXPECT_EQ(stringValue(boolean.get()), std::nullopt);
    EXPECT_EQ(stringValue(data.get()), std::nullopt);
    EXPECT_EQ(dictionaryValue(number.get(), "appIcon"), nullptr);
}

// A binary property list whose one object is a UTF-16 string "a", U+0000, "b". libplist keeps its
// length as three, but a copy of it (plist_copy, as preferences hand out values) holds only "a".
std::string binaryStringWithNul() {
    const unsigned char bytes[] = {
        'b',  'p', 'l', 'i', 's', 't', '0', '0', // the header
        0x63, 0,   'a', 0,   0,   0,   'b',      // a string of 3 UTF-16 code units
        0x08,                                    // the offset table: the object at 8
        0,    0,   0,   0,   0,   0,             // the trailer: unused bytes,
        1,    1,                                 // offset and reference sizes,
        0,    0,   0,   0,   0,   0,   0,   1,   // one object,
        0,    0,   0,   0,   0,   0,   0,   0,   // the top one first,
        0,    0,   0,   0,   0,   0,   0,   15,  // the offset table at 15
    };
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST(PropertyList, StringValueIsNoneForAStringWithANul) {
    const auto parsed = parsePropertyList(binaryStringWithNul());
    ASSERT_NE(parsed, nullptr);
    const PropertyList copy(plist_copy(parsed.get()));

    EXPECT_EQ(stringValue(parsed.get()), std::nullopt);
    EXPECT_EQ(stringValue(copy.get()), std::nullopt);
}

struct HostileCase {
    const char* name;
    std::function<std::string()> data;
};

class HostilePropertyList : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostilePropertyList, IsRefusedQuietly) {
    const StderrCapture stderrCapture;

    EXPECT_EQ(parsePropertyList(GetParam().data()), nullptr);
    EXPECT_EQ(stderrCapture.text(), "");
}

std::string truncated(std::string data, std::size_t removed) {
    data.resize(data.size() - removed);
    return data;
}

std::string validBinary() {
    const auto root = dictionary({{"appIcon", plist_new_string("custom")}});
    return serialize(root.get(), PlistFormat::binary);
}

INSTANTIATE_TEST_SUITE_P(
    Data, HostilePropertyList,
    ::testing::Values(HostileCase{"Empty", [] { return std::string(); }},
                      HostileCase{"Text", [] { return std::string("appIcon = custom"); }},
                      HostileCase{"UnclosedXml",
                                  [] {
                                      return std::string(
                                          "<?xml version=\"1.0\"?><plist version=\"1.0\">"
                                          "<dict><key>a</key>");
                                  }},
                      HostileCase{"TruncatedBinary", [] { return truncated(validBinary(), 5); }},
                      HostileCase{"BinaryHeaderOnly", [] { return std::string("bplist00"); }},
                      HostileCase{
                          "BinaryReferenceOutOfRange",
                          [] {
                              return binaryPropertyList({binaryArray({7}), binaryInteger(1)});
                          }},
                      HostileCase{"DeepXml", [] { return nestedXmlArrays(1'000'000); }},
                      HostileCase{"DeepBinary", [] { return nestedBinaryArrays(200'000); }},
                      HostileCase{"BinarySharedObjectsExpandingWithoutBound",
                                  [] { return sharedBinaryArrays(64); }},
                      HostileCase{"BinaryCycle", cyclicBinaryArray}),
    CaseName());

TEST(PropertyListFile, ReadsRegularFilesOnly) {
    const TemporaryDirectory directory;
    const auto root = dictionary({{"CFBundleIdentifier", plist_new_string("com.example.Zov")}});
    writePropertyList(directory / "Info.plist", root.get(), PlistFormat::binary);
    ASSERT_EQ(mkfifo((directory / "fifo.plist").c_str(), 0600), 0);

    EXPECT_NE(readPropertyListFile(directory / "Info.plist"), nullptr);
    EXPECT_EQ(readPropertyListFile(directory / "missing.plist"), nullptr);
    EXPECT_EQ(readPropertyListFile(directory.path()), nullptr);
    EXPECT_EQ(readPropertyListFile(directory / "fifo.plist"), nullptr);
    EXPECT_EQ(readPropertyListFile("/dev/zero"), nullptr);
    EXPECT_EQ(readPropertyListFile(std::string("Info.plist\0x", 12)), nullptr);
}

TEST(PropertyListFile, RefusesFilesLargerThanAnyPropertyListADockReads) {
    const TemporaryDirectory directory;
    std::string large = nestedXmlArrays(1);
    large.insert(large.find("<array>"), std::string(maxPropertyListBytes, ' '));
    writeFile(directory / "large.plist", large);

    EXPECT_EQ(readPropertyListFile(directory / "large.plist"), nullptr);
}

} // namespace
} // namespace zov::docktile::test
