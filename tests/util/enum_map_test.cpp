#include "Vantor_util/Vantor_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

const Vantor_util::EnumPair_t colours[] = {{0, "red"}, {1, "green"}, {7, "blue"}, {-1, nullptr}};

int caseInsensitive(const char* a, const char* b) { return ::strcasecmp(a, b); }

TEST(EnumMap, MapsBothWays)
{
    Vantor_util::EnumMap_c map(colours, &std::strcmp);
    EXPECT_EQ(map.GetKey("green"), 1);
    EXPECT_EQ(map.GetKey("blue"), 7);
    EXPECT_EQ(map.GetKey("Blue"), -1);
    EXPECT_EQ(map.GetKey(nullptr), -1);
    EXPECT_STREQ(map.GetValue(7), "blue");
    EXPECT_EQ(map.GetValue(3), nullptr);
    EXPECT_EQ(map.Size(), 3u);

    Vantor_util::EnumMap_c relaxed(colours, &caseInsensitive);
    EXPECT_EQ(relaxed.GetKey("BLUE"), 7);
}

TEST(EnumImage, SafeImagesAndTheEmptyMap)
{
    Vantor_util::EnumImage_c image(colours);
    bool found = false;
    EXPECT_STREQ(image.GetImageSafe(1, &found), "green");
    EXPECT_TRUE(found);
    EXPECT_STREQ(image.GetImageSafe(42, &found), "(unknown)");
    EXPECT_FALSE(found);
    EXPECT_STREQ(image.GetImageSafe(-1), "(unknown)");

    const auto& empty = Vantor_util::EnumImage_c::EmptyEnumImage();
    EXPECT_EQ(empty.Size(), 0u);
    EXPECT_EQ(empty.GetKey("red"), -1);
    EXPECT_STREQ(empty.GetImageSafe(0, &found), "(unknown)");
    EXPECT_FALSE(found);
}

TEST(MapCompareChar, OrdersBytewise)
{
    std::map<const char*, int, Vantor_util::MapCompareChar> m;
    m["b"] = 1;
    m["B"] = 2;
    m["a"] = 3;
    m["\xc3\xa9"] = 4; // bytes above 0x7f sort after ASCII
    std::string order;
    for (const auto& [k, v] : m) {
        order += k;
        order += ',';
    }
    EXPECT_EQ(order, "B,a,b,\xc3\xa9,");
    Vantor_util::MapCompareChar less;
    EXPECT_FALSE(less("a", "a"));
}

} // namespace
