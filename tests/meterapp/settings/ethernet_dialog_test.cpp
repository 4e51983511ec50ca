// The Ethernet information and settings dialogs on a real display, over a
// scratch device root: its interfaces file, its live addresses and the
// recorded network restarts.
#include "ethernet_dialogs.h"

#include "gui_fixture.h"
#include "settings_menu.h"

namespace {

using namespace settings_gui;

constexpr const char* kStaticFile =
    "auto lo\n"
    "iface lo inet loopback\n"
    "\n"
    "auto eth0\n"
    "iface eth0 inet static\n"
    "    address 192.168.1.50\n"
    "    netmask 255.255.255.0\n"
    "    gateway 192.168.1.1\n"
    "\n"
    "auto eth0:0\n"
    "iface eth0:0 inet static\n"
    "    address 169.254.90.50\n"
    "    netmask 255.255.0.0\n";

constexpr const char* kAliasStanza =
    "auto eth0:0\n"
    "iface eth0:0 inet static\n"
    "    address 169.254.90.50\n"
    "    netmask 255.255.0.0\n";

GtkWidget* findById(GtkWidget* widget, const char* id) {
  if (GTK_IS_BUILDABLE(widget)) {
    const char* name = gtk_buildable_get_name(GTK_BUILDABLE(widget));
    if (name != nullptr && std::string(name) == id) return widget;
  }
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* c = children; c != nullptr && found == nullptr; c = c->next) found = findById(GTK_WIDGET(c->data), id);
  g_list_free(children);
  return found;
}

class EthernetDialogTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped()) return;
    root.write(DevicePath::kNetworkInterfaces, kStaticFile);
    setLive("eth0", "192.168.1.50", "255.255.255.0");
    setLive("eth0:0", "169.254.90.50", "255.255.0.0");
  }
  void TearDown() override {
    if (ETHCONFIG_S* open = EthernetDialogs_current()) {
      if (open->settingsDialog != nullptr) click(open->cancel);
      else if (open->infoDialog != nullptr) click(open->infoOk);
    }
    GuiTest::TearDown();
  }

  void setLive(const std::string& name, const std::string& address, const std::string& netmask) const {
    root.write("/sys/class/net/" + name + "/ipv4_address", address + "\n");
    root.write("/sys/class/net/" + name + "/ipv4_netmask", netmask + "\n");
  }
  std::string interfaces() const { return root.read(DevicePath::kNetworkInterfaces); }
  std::string restarts() const { return root.read("/var/log/commands.log"); }

  ETHCONFIG_S* openInfo() {
    ethInfoDialog_ButtonCallback(nullptr, nullptr);
    drainMainLoop();
    ETHCONFIG_S* config = EthernetDialogs_current();
    EXPECT_NE(config, nullptr);
    return config;
  }
  ETHCONFIG_S* openSettings() {
    ETHCONFIG_S* config = openInfo();
    if (config == nullptr) return nullptr;
    click(config->infoConfigure);
    EXPECT_EQ(config->infoDialog, nullptr);
    EXPECT_NE(config->settingsDialog, nullptr);
    return config->settingsDialog != nullptr ? config : nullptr;
  }
  void key(ETHCONFIG_S* config, const char* id) {
    GtkWidget* button = findById(config->settingsDialog, id);
    ASSERT_NE(button, nullptr) << id;
    click(button);
  }
  void keys(ETHCONFIG_S* config, const std::string& text) {
    for (const char c : text) {
      const std::string id = c == '.' ? std::string("numKeypadButtonPeriod") : "numKeypadButton" + std::string(1, c);
      key(config, id.c_str());
    }
  }
  // What a finger on the entry does.
  static void press(GtkWidget* entry) {
    GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(entry)));
    event->button.button = 1;
    event->button.send_event = TRUE;
    gtk_widget_event(entry, event);
    gdk_event_free(event);
    drainMainLoop();
  }
};

TEST_F(EthernetDialogTest, InformationShowsTheDevicesAddressesNotTheHosts) {
  ETHCONFIG_S* sut = openInfo();
  ASSERT_NE(sut, nullptr);
  EXPECT_EQ(labelText(sut->infoLabelIP1), "IP Addr");
  EXPECT_EQ(labelText(sut->infoLabelIP2), "192.168.1.50");
  EXPECT_EQ(labelText(sut->infoLabelStaticIP1), "IP Addr\n(Fixed)");
  EXPECT_EQ(labelText(sut->infoLabelStaticIP2), "169.254.90.50");
  EXPECT_FALSE(settingsMenuIsVisible());
  saveScreenshot(sut->infoDialog, "ethernet_info_dialog");
  click(sut->infoOk);
  EXPECT_EQ(EthernetDialogs_current(), nullptr);
}

TEST_F(EthernetDialogTest, SettingsOpenOnTheStaticValues) {
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  EXPECT_TRUE(active(sut->radioStatic));
  EXPECT_EQ(entryText(sut->entryAddress), "192.168.1.50");
  EXPECT_EQ(entryText(sut->entryNetmask), "255.255.255.0");
  EXPECT_EQ(entryText(sut->entryGateway), "192.168.1.1");
  EXPECT_TRUE(shown(sut->entryAddress));
  EXPECT_FALSE(shown(sut->textAddress));
  EXPECT_EQ(sut->keypad.target, sut->entryAddress);
  saveScreenshot(sut->settingsDialog, "ethernet_settings_dialog");
}

TEST_F(EthernetDialogTest, KeypadAppendsUpToFifteenCharactersAndNextClearBackspaceWork) {
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  press(sut->entryGateway);
  EXPECT_EQ(sut->keypad.target, sut->entryGateway);
  key(sut, "numKeypadButtonClear");
  EXPECT_EQ(entryText(sut->entryGateway), "");
  keys(sut, "192.168.100.2005");  // one character more than fits
  EXPECT_EQ(entryText(sut->entryGateway), "192.168.100.200");
  key(sut, "numKeypadButtonBackspace");
  key(sut, "numKeypadButtonBackspace");
  EXPECT_EQ(entryText(sut->entryGateway), "192.168.100.2");
  key(sut, "numKeypadButtonNext");
  EXPECT_EQ(sut->keypad.target, sut->entryAddress) << "Next goes round from the gateway to the address";
  key(sut, "numKeypadButtonNext");
  EXPECT_EQ(sut->keypad.target, sut->entryNetmask);
  key(sut, "numKeypadButtonNext");
  EXPECT_EQ(sut->keypad.target, sut->entryGateway);
  key(sut, "numKeypadButton7");
  EXPECT_EQ(entryText(sut->entryGateway), "192.168.100.27");
  EXPECT_EQ(entryText(sut->entryAddress), "192.168.1.50") << "only the target changes";
}

TEST_F(EthernetDialogTest, StaticWithoutANetmaskWritesTheClassCNetmask) {
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  press(sut->entryAddress);
  key(sut, "numKeypadButtonClear");
  keys(sut, "10.1.2.3");
  press(sut->entryNetmask);
  key(sut, "numKeypadButtonClear");
  press(sut->entryGateway);
  key(sut, "numKeypadButtonClear");
  click(sut->apply);
  EXPECT_EQ(EthernetDialogs_current(), nullptr);
  EXPECT_EQ(interfaces(),
            "auto lo\niface lo inet loopback\n\nauto eth0\n"
            "iface eth0 inet static\n    address 10.1.2.3\n    netmask 255.255.255.0\n\n" +
                std::string(kAliasStanza));
  EXPECT_EQ(restarts(), "/etc/init.d/network restart\n");
  // eth0 has its address when the 3 s check comes: no second restart.
  runMainLoopFor(std::chrono::milliseconds(kEthRecheckSeconds * 1000 + 800));
  EXPECT_EQ(restarts(), "/etc/init.d/network restart\n");
}

TEST_F(EthernetDialogTest, StaticAddressStillMissingAfterTheWaitRestartsOnceMore) {
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  std::filesystem::remove(root / "/sys/class/net/eth0/ipv4_address");
  click(sut->apply);
  EXPECT_EQ(restarts(), "/etc/init.d/network restart\n");
  runMainLoopFor(std::chrono::milliseconds(kEthRecheckSeconds * 1000 + 800));
  EXPECT_EQ(restarts(), "/etc/init.d/network restart\n/etc/init.d/network restart\n");
}

TEST_F(EthernetDialogTest, InvalidEntriesMoveTheKeypadAndWriteNothing) {
  struct Case {
    const char* entry;  // "address", "netmask", "gateway"
    const char* text;
  };
  const Case cases[] = {
      {"netmask", "255.0.255.0"}, {"netmask", "255.255.255.256"}, {"address", "10.0.0"},
      {"address", "10.0.0.256"},  {"gateway", "1.2.3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " " + c.text);
    ETHCONFIG_S* sut = openSettings();
    ASSERT_NE(sut, nullptr);
    GtkWidget* entry = std::string(c.entry) == "address"   ? sut->entryAddress
                       : std::string(c.entry) == "netmask" ? sut->entryNetmask
                                                           : sut->entryGateway;
    press(entry);
    key(sut, "numKeypadButtonClear");
    keys(sut, c.text);
    press(sut->entryAddress);  // the target is elsewhere when Apply is pressed
    if (entry == sut->entryAddress) press(sut->entryGateway);
    click(sut->apply);
    ASSERT_EQ(EthernetDialogs_current(), sut);
    EXPECT_EQ(sut->keypad.target, entry);
    EXPECT_TRUE(sensitive(sut->apply));
    EXPECT_TRUE(sensitive(sut->cancel));
    EXPECT_EQ(interfaces(), kStaticFile);
    EXPECT_EQ(restarts(), "");
    click(sut->cancel);
    EXPECT_EQ(EthernetDialogs_current(), nullptr);
  }
}

TEST_F(EthernetDialogTest, DhcpWritesTheDhcpStanzaKeepsTheAliasAndRestartsOnce) {
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sut->radioDhcp), TRUE);
  drainMainLoop();
  EXPECT_FALSE(shown(sut->entryAddress));
  EXPECT_TRUE(shown(sut->textAddress));
  click(sut->apply);
  EXPECT_EQ(EthernetDialogs_current(), nullptr);
  EXPECT_EQ(interfaces(), "auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet dhcp\n\n" + std::string(kAliasStanza));
  runMainLoopFor(std::chrono::milliseconds(kEthRecheckSeconds * 1000 + 800));
  EXPECT_EQ(restarts(), "/etc/init.d/network restart\n");
}

TEST_F(EthernetDialogTest, DhcpShowsTheLeasedValuesReadOnly) {
  root.write(DevicePath::kNetworkInterfaces, "auto eth0\niface eth0 inet dhcp\n\n" + std::string(kAliasStanza));
  setLive("eth0", "172.16.5.9", "255.255.240.0");
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  EXPECT_TRUE(active(sut->radioDhcp));
  EXPECT_EQ(labelText(sut->textAddress), "172.16.5.9");
  EXPECT_EQ(labelText(sut->textNetmask), "255.255.240.0");
  EXPECT_FALSE(shown(sut->entryAddress));
  EXPECT_FALSE(gtk_editable_get_editable(GTK_EDITABLE(sut->entryAddress)));
  key(sut, "numKeypadButton5");  // no target while DHCP is chosen
  EXPECT_EQ(entryText(sut->entryAddress), "");
  saveScreenshot(sut->settingsDialog, "ethernet_settings_dialog_dhcp");
}

TEST_F(EthernetDialogTest, StaticWithoutAnAddressLeavesApplyAndCancelUsable) {
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  press(sut->entryAddress);
  key(sut, "numKeypadButtonClear");
  press(sut->entryGateway);
  click(sut->apply);
  ASSERT_EQ(EthernetDialogs_current(), sut);
  EXPECT_TRUE(sensitive(sut->apply));
  EXPECT_TRUE(sensitive(sut->cancel));
  EXPECT_EQ(sut->keypad.target, sut->entryAddress);
  EXPECT_TRUE(shown(sut->status));
  EXPECT_EQ(interfaces(), kStaticFile);
  EXPECT_EQ(restarts(), "");
  // The user can put an address in and apply after all.
  keys(sut, "10.9.8.7");
  click(sut->apply);
  EXPECT_EQ(EthernetDialogs_current(), nullptr);
  EXPECT_NE(interfaces().find("    address 10.9.8.7\n"), std::string::npos);
  // The check after the restart finds eth0 up (and is over before the next test).
  runMainLoopFor(std::chrono::milliseconds(kEthRecheckSeconds * 1000 + 800));
  EXPECT_EQ(restarts(), "/etc/init.d/network restart\n");
}

TEST_F(EthernetDialogTest, AnInterfacesFileThatCannotBeWrittenIsShownAndNothingRestarts) {
  ETHCONFIG_S* sut = openSettings();
  ASSERT_NE(sut, nullptr);
  root.write(std::string(DevicePath::kNetworkInterfaces) + ".new/blocker", "x");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sut->radioDhcp), TRUE);
  click(sut->apply);
  ASSERT_EQ(EthernetDialogs_current(), sut);
  EXPECT_TRUE(shown(sut->status));
  EXPECT_NE(labelText(sut->status).find("could not be written"), std::string::npos);
  EXPECT_TRUE(sensitive(sut->apply));
  EXPECT_TRUE(sensitive(sut->cancel));
  EXPECT_EQ(interfaces(), kStaticFile);
  EXPECT_EQ(restarts(), "");
}

}  // namespace
