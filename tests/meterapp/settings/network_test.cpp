#include "network.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "device_fixtures.h"
#include "text_field.h"

namespace {

using test_support::ScratchRoot;

constexpr const char* kInterfaces = "/etc/network/interfaces";

TEST(NetworkValidation, Addresses) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {
      {"10.0.0.5", true},         {"0.0.0.0", true},        {"255.255.255.255", true},
      {"192.168.001.010", true},  {"10.0.0", false},        {"10.0.0.256", false},
      {"10..0.0.5", false},       {".10.0.0.5", false},     {"10.0.0.5.", false},
      {"10.0.0.5.6", false},      {"", false},              {"1.2.3.4 ", false},
      {" 1.2.3.4", false},        {"1.2.3.-4", false},      {"1.2.3.+4", false},
      {"a.b.c.d", false},         {"1.2.3.4a", false},      {"1.2.3.0004", false},
      {"99999999999.1.1.1", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(validate_ip(c.text), c.valid);
  }
}

TEST(NetworkValidation, Netmasks) {
  struct Case {
    const char* text;
    bool valid;
  } cases[] = {
      {"255.255.255.0", true},   {"255.255.255.255", true}, {"255.255.255.252", true}, {"128.0.0.0", true},
      {"255.255.128.0", true},   {"255.0.255.0", false},    {"0.0.0.0", false},        {"0.255.255.255", false},
      {"255.255.255.1", false},  {"255.255.256.0", false},  {"255.255.255", false},    {"255.255.255.0 x", false},
      {"255.255.255.0.0", false}, {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(validate_netmask(c.text), c.valid);
  }
}

const std::string kHead =
    "# interfaces(5) file used by ifup(8) and ifdown(8)\n"
    "auto lo\n"
    "iface lo inet loopback\n"
    "\n"
    "auto eth0\n";
const std::string kAlias =
    "auto eth0:0\n"
    "iface eth0:0 inet static\n"
    "\taddress 192.168.100.1\n"
    "\tnetmask 255.255.255.0\n";
const std::string kStatic =
    "iface eth0 inet static\n"
    "    address 10.0.0.5\n"
    "    netmask 255.255.255.0\n"
    "    gateway 10.0.0.1\n"
    "\n";
const std::string kStaticNoGateway =
    "iface eth0 inet static\n"
    "    address 172.16.4.2\n"
    "    netmask 255.255.0.0\n"
    "\n";
const std::string kDhcp = "iface eth0 inet dhcp\n\n";

struct StanzaCase {
  const char* what;
  std::string before;
  int method;
  const char* address;
  const char* netmask;
  const char* gateway;
  std::string after;
};

class NetworkFileTest : public ::testing::Test {
 protected:
  ScratchRoot root;
};

TEST_F(NetworkFileTest, SetConfInetRoundTrips) {
  const StanzaCase cases[] = {
      {"dhcp to static with gateway", kHead + kDhcp + kAlias, 1, "10.0.0.5", "255.255.255.0", "10.0.0.1",
       kHead + kStatic + kAlias},
      {"static to static without gateway", kHead + kStatic + kAlias, 1, "172.16.4.2", "255.255.0.0", "",
       kHead + kStaticNoGateway + kAlias},
      {"static to dhcp", kHead + kStatic + kAlias, 0, "", "", "", kHead + kDhcp + kAlias},
      {"dhcp to dhcp", kHead + kDhcp + kAlias, 0, "", "", "", kHead + kDhcp + kAlias},
      {"no eth0 stanza: inserted before the alias with its auto line",
       "auto lo\niface lo inet loopback\n\n" + kAlias, 0, "", "", "",
       "auto lo\niface lo inet loopback\n\nauto eth0\n" + kDhcp + kAlias},
      {"no eth0 stanza but an auto line", kHead + kAlias, 1, "10.0.0.5", "255.255.255.0", "10.0.0.1",
       kHead + kStatic + kAlias},
      {"no alias: the stanzas after eth0 are kept", kHead + kDhcp + "auto eth1\niface eth1 inet dhcp\n", 1,
       "10.0.0.5", "255.255.255.0", "10.0.0.1", kHead + kStatic + "auto eth1\niface eth1 inet dhcp\n"},
      {"eth0 stanza last in the file", kHead + "iface eth0 inet dhcp", 1, "172.16.4.2", "255.255.0.0", "",
       kHead + kStaticNoGateway},
      {"neither stanza: appended", "auto lo\niface lo inet loopback", 0, "", "", "",
       "auto lo\niface lo inet loopback\n\nauto eth0\n" + kDhcp},
      {"empty file", "", 1, "10.0.0.5", "255.255.255.0", "10.0.0.1", "auto eth0\n" + kStatic},
      {"other stanzas of the same interface are not ours",
       kHead + "#iface eth0 inet static\niface eth0 inet6 auto\n\n" + kStatic + kAlias, 0, "", "", "",
       kHead + "#iface eth0 inet static\niface eth0 inet6 auto\n\n" + kDhcp + kAlias},
      {"options and inner comments go, a comment before the next stanza stays",
       kHead + "iface eth0 inet static\n  address 1.2.3.4\n  # old gateway\n  dns-nameservers 8.8.8.8\n\n\n"
               "# service alias\n" + kAlias,
       0, "", "", "", kHead + kDhcp + "# service alias\n" + kAlias},
      {"a comment among the options does not split the stanza",
       kHead + "iface eth0 inet static\n    address 1.2.3.4\n# gateway off\n    netmask 255.0.0.0\n\n" + kAlias, 0,
       "", "", "", kHead + kDhcp + kAlias},
      {"an option with a trailing remark is still replaced",
       kHead + "iface eth0 inet static\n    address 1.2.3.4\n    gateway 1.2.3.1 # office\n" + kAlias, 0, "", "",
       "", kHead + kDhcp + kAlias},
      {"alias stanza before eth0", "auto eth0:0\niface eth0:0 inet dhcp\n\nauto eth0\n" + kDhcp, 1, "10.0.0.5",
       "255.255.255.0", "10.0.0.1", "auto eth0:0\niface eth0:0 inet dhcp\n\nauto eth0\n" + kStatic},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    root.write(kInterfaces, c.before);
    ASSERT_EQ(set_conf_inet("eth0", c.method, c.address, c.netmask, c.gateway), 0);
    EXPECT_EQ(root.read(kInterfaces), c.after);

    int method = 99;
    IpText address{}, netmask{}, gateway{};
    ASSERT_EQ(get_conf_inet("eth0", method, address, netmask, gateway), 0);
    EXPECT_EQ(method, c.method);
    EXPECT_EQ(TextField_view(address), c.address);
    EXPECT_EQ(TextField_view(netmask), c.netmask);
    EXPECT_EQ(TextField_view(gateway), c.gateway);
  }
}

TEST_F(NetworkFileTest, SetConfInetRefusesWhatWouldBreakTheFile) {
  const std::string before = kHead + kDhcp + kAlias;
  root.write(kInterfaces, before);
  EXPECT_EQ(set_conf_inet("eth0", 1, "10.0.0.5\nauto eth9", "255.0.0.0", ""), 1);
  EXPECT_EQ(set_conf_inet("eth0", 1, "", "255.0.0.0", ""), 1);
  EXPECT_EQ(set_conf_inet("eth0", 1, "10.0.0.5", "255.0.0.0", "1.2.3.4 #"), 1);
  EXPECT_EQ(set_conf_inet("eth0", 2, "", "", ""), 1);
  EXPECT_EQ(set_conf_inet("", 0, "", "", ""), 1);
  EXPECT_EQ(root.read(kInterfaces), before);

  std::filesystem::remove(root / kInterfaces);
  EXPECT_EQ(set_conf_inet("eth0", 0, "", "", ""), 1);  // nothing to read: nothing invented
  EXPECT_FALSE(std::filesystem::exists(root / kInterfaces));
}

TEST_F(NetworkFileTest, SetConfInetKeepsThePermissionsAndLeavesNoTemporaryFile) {
  root.write(kInterfaces, kHead + kDhcp + kAlias);
  std::filesystem::permissions(root / kInterfaces, std::filesystem::perms(0600));
  ASSERT_EQ(set_conf_inet("eth0", 0, "", "", ""), 0);
  EXPECT_EQ(std::filesystem::status(root / kInterfaces).permissions(), std::filesystem::perms(0600));
  EXPECT_FALSE(std::filesystem::exists(root / "/etc/network/interfaces.new"));
}

TEST_F(NetworkFileTest, GetConfInetReadsCommentsAndOddSpacing) {
  struct Case {
    const char* what;
    std::string file;
    int method;
    const char* address;
    const char* netmask;
    const char* gateway;
  } cases[] = {
      {"tabs, blanks and comments",
       "#iface eth0 inet dhcp\n# address 1.1.1.1\n\n  iface\teth0   inet \t static  \r\n"
       "\taddress\t10.1.2.3   \n# netmask 1.1.1.1\n   netmask    255.255.0.0\n  gateway 10.1.0.1 # office\n",
       1, "10.1.2.3", "255.255.0.0", ""},
      {"options in any order, others between", "iface eth0 inet static\nmtu 1400\ngateway 10.0.0.1\naddress 10.0.0.2\n"
       "netmask 255.0.0.0\n\nauto eth0:0\niface eth0:0 inet static\naddress 9.9.9.9\n",
       1, "10.0.0.2", "255.0.0.0", "10.0.0.1"},
      {"dhcp", "auto eth0\niface eth0 inet dhcp\n", 0, "", "", ""},
      {"other method", "iface eth0 inet manual\n", -1, "", "", ""},
      {"method missing", "iface eth0 inet\n", -1, "", "", ""},
      {"no stanza for eth0", "iface eth00 inet static\naddress 1.2.3.4\n", -1, "", "", ""},
      {"value too long for an address", "iface eth0 inet static\naddress 1234567890.1234567890\nnetmask 255.0.0.0\n",
       1, "", "255.0.0.0", ""},
      {"first stanza wins", "iface eth0 inet dhcp\niface eth0 inet static\naddress 1.2.3.4\n", 0, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    root.write(kInterfaces, c.file);
    int method = 99;
    IpText address{}, netmask{}, gateway{};
    TextField_copy(gateway, "stale");
    ASSERT_EQ(get_conf_inet("eth0", method, address, netmask, gateway), 0);
    EXPECT_EQ(method, c.method);
    EXPECT_EQ(TextField_view(address), c.address);
    EXPECT_EQ(TextField_view(netmask), c.netmask);
    EXPECT_EQ(TextField_view(gateway), c.gateway);
  }
}

TEST_F(NetworkFileTest, GetConfInetWithoutFileChangesNothing) {
  int method = 7;
  IpText address{}, netmask{}, gateway{};
  TextField_copy(address, "1.2.3.4");
  EXPECT_EQ(get_conf_inet("eth0", method, address, netmask, gateway), 1);
  root.write(kInterfaces, kHead + kDhcp);
  EXPECT_EQ(get_conf_inet("", method, address, netmask, gateway), 1);
  EXPECT_EQ(method, 7);
  EXPECT_EQ(TextField_view(address), "1.2.3.4");
}

TEST_F(NetworkFileTest, GatewayFromTheRoutingTable) {
  const std::string table =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
      "wlan0\t00000000\tFE01A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth0\t00000000\t0201A8C0\t0003\t0\t0\t200\t00000000\t0\t0\t0\n"
      "eth1\tZZ\t0101A8C0\n";
  root.write("/route", table);
  const std::string file = (root / "/route").string();
  EXPECT_EQ(get_gateway_from(file, "eth0"), "192.168.1.1");
  EXPECT_EQ(get_gateway_from(file, "wlan0"), "192.168.1.254");
  EXPECT_EQ(get_gateway_from(file, "eth1"), "");
  EXPECT_EQ(get_gateway_from(file, "eth"), "");
  EXPECT_EQ(get_gateway_from((root / "/missing").string(), "eth0"), "");
}

TEST_F(NetworkFileTest, GatewayOfTheDeviceNotOfTheHost) {
  EXPECT_EQ(get_gateway("eth0"), "");  // a device root without a routing table
  root.write("/proc/net/route",
             "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
             "eth0\t00000000\t0A00000A\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
  EXPECT_EQ(get_gateway("eth0"), "10.0.0.10");
}

// The Ethernet dialog and the SCPI servers may change the file at the same
// moment: every change must succeed and the file must end as one of them.
TEST_F(NetworkFileTest, ConcurrentChangesAllSucceedAndLeaveOneWholeFile) {
  root.write(kInterfaces, kHead + kDhcp + kAlias);
  constexpr int kRounds = 150;
  std::atomic<int> failures{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < 3; ++w) {
    writers.emplace_back([w, &failures] {
      for (int i = 0; i < kRounds; ++i) {
        const int result = w == 0 ? set_conf_inet("eth0", 0, "", "", "")
                           : w == 1 ? set_conf_inet("eth0", 1, "10.0.0.5", "255.255.255.0", "10.0.0.1")
                                    : set_conf_inet("eth0", 1, "172.16.4.2", "255.255.0.0", "");
        if (result != 0) ++failures;
      }
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(failures.load(), 0);
  const std::string text = root.read(kInterfaces);
  EXPECT_TRUE(text == kHead + kDhcp + kAlias || text == kHead + kStatic + kAlias ||
              text == kHead + kStaticNoGateway + kAlias)
      << text;
  EXPECT_FALSE(std::filesystem::exists(root / "/etc/network/interfaces.new"));
}

TEST_F(NetworkFileTest, MacAddressFromSysfs) {
  root.write("/sys/class/net/eth0/address", "00:1a:2b:3c:4d:5e\n");
  root.write("/sys/class/net/eth1/address", "00:1a:2b:3c:4d:5e:ff:ee\n");
  EXPECT_EQ(get_mac_address("eth0"), "00:1a:2b:3c:4d:5e");
  EXPECT_EQ(get_mac_address("eth1"), "00:1a:2b:3c:4d:5e");  // at most 17 characters
  EXPECT_EQ(get_mac_address("eth2"), "");
  EXPECT_EQ(get_mac_address("../../../etc"), "");
  EXPECT_NE(root.messages().find("fopen " + Platform_path("/sys/class/net/eth2/address")), std::string::npos);
}

TEST_F(NetworkFileTest, RestartIsRecordedUnderTheDeviceRoot) {
  EXPECT_EQ(network_restart(), 0);
  EXPECT_EQ(root.read("/var/log/commands.log"), "/etc/init.d/network restart\n");
}

TEST(NetworkLive, LoopbackAddresses) {
  EXPECT_EQ(get_ip_address("lo"), "127.0.0.1");
  EXPECT_EQ(get_netmask("lo"), "255.0.0.0");
  EXPECT_EQ(get_ip_address("no-such-interface"), "");
  EXPECT_EQ(get_netmask("no-such-interface"), "");
}

}  // namespace
