#include "JsonWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zov::Message;
using zov::StringMap;

TEST(JsonWriter, WritesCompactLinesWithSortedKeys) {
    const Message message = {{"type", "error"},
                             {"state", StringMap{{"zeta", "1"}, {"Alpha", "2"}, {"alpha", "3"}}},
                             {"message", "m"}};
    EXPECT_EQ(zov::jsonLine(message),
              R"({"message":"m","state":{"Alpha":"2","alpha":"3","zeta":"1"},"type":"error"})"
              "\n");
}

TEST(JsonWriter, WritesAnEmptyMapAsAnEmptyObject) {
    EXPECT_EQ(zov::jsonLine({{"state", StringMap{}}}), "{\"state\":{}}\n");
}

TEST(JsonWriter, NeverWritesARawLineFeed) {
    const std::string line = zov::jsonLine({{"a\nb", "c\nd"}, {"e", StringMap{{"\n", "\r\n"}}}});
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.find('\r'), std::string::npos);
}

} // namespace
