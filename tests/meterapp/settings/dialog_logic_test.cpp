// The settings dialogs' logic that needs no display: the warning dialog's
// requests and the Ethernet settings written to the interfaces file.
#include <gtest/gtest.h>

#include "device_fixtures.h"
#include "ethernet_dialogs.h"
#include "text_field.h"
#include "warning_dialog.h"

namespace {

using test_support::ScratchRoot;

TEST(WarningDialogRequests, ShowAndCloseReplaceEachOther) {
  WarningDialog sut;
  WarningDialog_create(&sut, nullptr, "Battery low");
  EXPECT_STREQ(sut.message.data(), "Battery low");
  WarningDialog_show(&sut);
  EXPECT_TRUE(sut.showSignal);
  EXPECT_FALSE(sut.closeSignal);
  WarningDialog_close(&sut);
  EXPECT_FALSE(sut.showSignal);
  EXPECT_TRUE(sut.closeSignal);
  // Shown and closed before the display pass: nothing is created.
  WarningDialog_handleState(&sut);
  EXPECT_EQ(sut.dialog, nullptr);
  EXPECT_FALSE(sut.closeSignal);
}

TEST(WarningDialogRequests, MessageIsCutToOneHundredCharacters) {
  WarningDialog sut;
  WarningDialog_create(&sut, nullptr, std::string(150, 'x').c_str());
  EXPECT_EQ(std::string(sut.message.data()), std::string(100, 'x'));
}

class EthernetSetConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root.write(DevicePath::kNetworkInterfaces,
               "auto eth0\niface eth0 inet dhcp\n\nauto eth0:0\niface eth0:0 inet static\n    address 169.254.90.50\n"
               "    netmask 255.255.0.0\n");
    root.write("/sys/class/net/eth0/ipv4_address", "10.0.0.9\n");
    root.write("/sys/class/net/eth0/ipv4_netmask", "255.0.0.0\n");
    sut = initEthConfig();
  }
  std::string file() const { return root.read(DevicePath::kNetworkInterfaces); }
  ScratchRoot root;
  std::unique_ptr<ETHCONFIG_S> sut;
};

TEST_F(EthernetSetConfigTest, GetConfigReadsTheMethodAndTheDevicesLiveAddresses) {
  EXPECT_EQ(sut->method, INET_METHOD_DHCP);
  EXPECT_STREQ(sut->ipDhcp.address.data(), "10.0.0.9");
  EXPECT_STREQ(sut->ipDhcp.netmask.data(), "255.0.0.0");
  EXPECT_STREQ(sut->ipStatic.address.data(), "");
  EXPECT_EQ(sut->checkIp, &validate_ip);
  EXPECT_EQ(sut->checkNetmask, &validate_netmask);
}

TEST_F(EthernetSetConfigTest, StaticWithoutNetmaskTakesTheClassCNetmask) {
  sut->newIp.method = INET_METHOD_STATIC;
  TextField_copy(sut->newIp.address, "10.1.2.3");
  EXPECT_EQ(ethernetSetConfig(sut.get()), ethSetDone);
  EXPECT_STREQ(sut->ipStatic.netmask.data(), "255.255.255.0");
  EXPECT_EQ(sut->method, INET_METHOD_STATIC);
  EXPECT_NE(file().find("iface eth0 inet static\n    address 10.1.2.3\n    netmask 255.255.255.0\n\n"),
            std::string::npos);
  EXPECT_NE(file().find("auto eth0:0\niface eth0:0 inet static\n"), std::string::npos);
}

TEST_F(EthernetSetConfigTest, StaticWithoutAddressWritesNothingAndRevertsTheMethod) {
  const std::string before = file();
  sut->newIp.method = INET_METHOD_STATIC;
  EXPECT_EQ(ethernetSetConfig(sut.get()), ethSetNoAddress);
  EXPECT_EQ(sut->newIp.method, INET_METHOD_DHCP);
  EXPECT_EQ(file(), before);
}

TEST_F(EthernetSetConfigTest, AFileThatCannotBeWrittenIsAFailure) {
  root.write(std::string(DevicePath::kNetworkInterfaces) + ".new/blocker", "x");
  sut->newIp.method = INET_METHOD_DHCP;
  EXPECT_EQ(ethernetSetConfig(sut.get()), ethSetWriteFailed);
}

TEST_F(EthernetSetConfigTest, OffTheDeviceAddressesComeFromTheDeviceRoot) {
  EXPECT_EQ(get_ip_address("eth0"), "10.0.0.9");
  EXPECT_EQ(get_netmask("eth0"), "255.0.0.0");
  EXPECT_EQ(get_ip_address("eth0:0"), "") << "no file: no address";
  EXPECT_EQ(get_ip_address("lo"), "") << "the host's interfaces are not asked";
  EXPECT_EQ(get_ip_address("../../etc"), "");
}

}  // namespace
