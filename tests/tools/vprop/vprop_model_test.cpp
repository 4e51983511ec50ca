#include "VpropModel.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using Vantor_cfgmgr::PropertySubsystem;
using Vantor_cfgmgr::SubsystemVprop;

TEST(VpropPropertySubsystem, IndexRange)
{
    EXPECT_NO_THROW(PropertySubsystem(999, "a", "", "", ""));
    try {
        PropertySubsystem sut(1000, "a", "", "", "");
        FAIL() << "index 1000 accepted";
    } catch (const std::range_error& e) {
        EXPECT_STREQ(e.what(), "initIndex was 1000, but must be in the range [0..999]");
    }
}

TEST(VpropSubsystemVprop, RepeatedIndexKeepsFirstRecord)
{
    SubsystemVprop sut;
    EXPECT_TRUE(sut.AddSubsystem(4, "first", "d1", "/in1", "/out1"));
    EXPECT_FALSE(sut.AddSubsystem(4, "second", "d2", "/in2", "/out2"));
    ASSERT_EQ(sut.Subsystems().size(), 1u);
    EXPECT_EQ(sut.Subsystems().at(4)->Name(), "first");
    EXPECT_EQ(sut.GetSubsystem("second"), nullptr);
}

TEST(VpropSubsystemVprop, GetSubsystemTakesFirstMatchInIndexOrder)
{
    SubsystemVprop sut;
    sut.AddSubsystem(7, "net", "late", "", "");
    sut.AddSubsystem(2, "net", "early", "", "");
    sut.AddSubsystem(5, "time", "", "", "");
    const PropertySubsystem* found = sut.GetSubsystem("net");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Index(), 2u);
    EXPECT_EQ(found->Description(), "early");
    EXPECT_EQ(sut.GetSubsystem(""), nullptr);
    EXPECT_EQ(sut.GetSubsystem("ne"), nullptr);
}

TEST(VpropPropertySubsystem, KeepsLoadedTree)
{
    PropertySubsystem sut(0, "a", "", "", "");
    EXPECT_EQ(sut.PrevConfOut(), nullptr);
    auto* tree = new Vantor_cfgmgr::ValueObject();
    sut.SetPrevConfOut(tree);
    EXPECT_EQ(sut.PrevConfOut(), tree);
    EXPECT_EQ(tree->GetRefCount(), 1);
}

} // namespace
