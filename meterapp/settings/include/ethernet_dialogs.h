// The Ethernet dialogs of "eth0": an information dialog with the live
// addresses, and a settings dialog with a numeric keypad that chooses DHCP or
// a static address and writes it to the interfaces file. Main loop only.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string_view>

#include "network.h"

// The values being edited in the settings dialog.
struct ETHCONFIG_NEWIP_S {
  int method;  // inet_method_t
  IpText ip;   // not used
  IpText address;
  IpText netmask;
  IpText gateway;
};

// The keypad's target entry; keys append while it holds fewer than
// kEthKeypadMaxLength characters.
constexpr int kEthKeypadMaxLength = 15;
struct NUMKEYPAD_S {
  GtkWidget* target;
  int length;
};

// The keypad keys, in the order of their buttons' user data.
enum EthKeypadKey {
  ethKey0 = 0,  // ... ethKey0 + 9 for the digit 9
  ethKeyPeriod = 10,
  ethKeyBackspace,
  ethKeyClear,
  ethKeyNext,
};

struct ETHCONFIG_S {
  int method;  // from the interfaces file: 0 DHCP, 1 static, -1 another method
  ETHCONFIG_IP_S ipDhcp;
  ETHCONFIG_IP_S ipStatic;
  ETHCONFIG_NEWIP_S newIp;
  bool (*checkIp)(std::string_view text);
  bool (*checkNetmask)(std::string_view text);
  // The information dialog.
  GtkWidget* infoDialog;
  GtkWidget* infoTable;
  GtkWidget* infoLabelIP1;
  GtkWidget* infoLabelIP2;
  GtkWidget* infoLabelStaticIP1;
  GtkWidget* infoLabelStaticIP2;
  GtkWidget* infoOk;
  GtkWidget* infoConfigure;
  // The settings dialog.
  GtkWidget* settingsDialog;
  GtkWidget* labelMethod;
  GtkWidget* radioDhcp;
  GtkWidget* radioStatic;
  GtkWidget* labelAddress;
  GtkWidget* entryAddress;
  GtkWidget* textAddress;
  GtkWidget* labelNetmask;
  GtkWidget* entryNetmask;
  GtkWidget* textNetmask;
  GtkWidget* labelGateway;
  GtkWidget* entryGateway;
  GtkWidget* textGateway;
  GtkWidget* apply;
  GtkWidget* cancel;
  GtkWidget* status;  // why an Apply did not go through
  NUMKEYPAD_S keypad;
};

// A record with the validators and the current configuration.
std::unique_ptr<ETHCONFIG_S> initEthConfig();
// Method from the interfaces file; live address, netmask and gateway of eth0,
// kept as the DHCP values or the static ones after the method. Returns 0, or
// 1 when the interfaces file cannot be read (method left as it was).
int ethernetGetConfig(ETHCONFIG_S* config);

// Results of ethernetSetConfig.
enum EthSetResult {
  ethSetDone = 0,
  ethSetNoAddress = -1,   // static without an address: nothing written
  ethSetWriteFailed = -2, // the interfaces file could not be written
};
// Writes the edited method (and for static the address, the netmask,
// "255.255.255.0" when none, and the gateway) to the interfaces file.
int ethernetSetConfig(ETHCONFIG_S* config);

// The panel's picture button ("./resources/Ethernet.png").
GtkWidget* ethConfig_Dialog_ButtonCreate();
// Opens the information dialog (once the GUI is up) and hides the panel.
void ethInfoDialog_ButtonCallback(GtkWidget* widget, gpointer data);

// Makes an entry of the settings dialog the keypad's target and selects its
// text (what a press on the entry does).
void EthSettings_selectTarget(ETHCONFIG_S* config, GtkWidget* entry);

// The open dialogs' record, or nullptr.
ETHCONFIG_S* EthernetDialogs_current();
// Seconds to wait after a static configuration is applied before looking
// whether eth0 has its address (the network is restarted once more if not).
constexpr unsigned kEthRecheckSeconds = 3;
