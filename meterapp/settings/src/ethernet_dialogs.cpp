#include "ethernet_dialogs.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dialog_support.h"
#include "log_manager.h"
#include "settings_menu.h"
#include "text_field.h"

namespace {

constexpr const char* kInfoFile = "ethInfoDialog.ui";
constexpr const char* kSettingsFile = "ethSettingsDialog.ui";
constexpr const char* kInterface = "eth0";
constexpr const char* kAliasInterface = "eth0:0";
constexpr const char* kDefaultNetmask = "255.255.255.0";
// The shortest dotted quad ("1.2.3.4").
constexpr std::size_t kMinAddressLength = 7;

// The record of the open dialogs (information, then settings).
std::unique_ptr<ETHCONFIG_S> ethConfig;

struct WidgetSlot {
  const char* id;
  GtkWidget* ETHCONFIG_S::*member;
};

constexpr WidgetSlot kInfoWidgets[] = {
    {"ethInfoDialog", &ETHCONFIG_S::infoDialog},
    {"ethInfoTable", &ETHCONFIG_S::infoTable},
    {"ethInfoLabelIP1", &ETHCONFIG_S::infoLabelIP1},
    {"ethInfoLabelIP2", &ETHCONFIG_S::infoLabelIP2},
    {"ethInfoLabelStaticIP1", &ETHCONFIG_S::infoLabelStaticIP1},
    {"ethInfoLabelStaticIP2", &ETHCONFIG_S::infoLabelStaticIP2},
    {"ethInfoDialog_ok", &ETHCONFIG_S::infoOk},
    {"ethInfoDialog_configure", &ETHCONFIG_S::infoConfigure},
};

constexpr WidgetSlot kSettingsWidgets[] = {
    {"ethSettingsDialog", &ETHCONFIG_S::settingsDialog},
    {"ethSettingsLabelMethod", &ETHCONFIG_S::labelMethod},
    {"ethSettingsRadioButton1", &ETHCONFIG_S::radioDhcp},
    {"ethSettingsRadioButton2", &ETHCONFIG_S::radioStatic},
    {"ethSettingsLabelAddress", &ETHCONFIG_S::labelAddress},
    {"ethSettingsEntryAddress", &ETHCONFIG_S::entryAddress},
    {"ethSettingsTextAddress", &ETHCONFIG_S::textAddress},
    {"ethSettingsLabelNetMask", &ETHCONFIG_S::labelNetmask},
    {"ethSettingsEntryNetMask", &ETHCONFIG_S::entryNetmask},
    {"ethSettingsTextNetMask", &ETHCONFIG_S::textNetmask},
    {"ethSettingsLabelGateway", &ETHCONFIG_S::labelGateway},
    {"ethSettingsEntryGateway", &ETHCONFIG_S::entryGateway},
    {"ethSettingsTextGateway", &ETHCONFIG_S::textGateway},
    {"ethSettingsDialog_apply", &ETHCONFIG_S::apply},
    {"ethSettingsDialog_cancel", &ETHCONFIG_S::cancel},
    {"ethSettingsLabelStatus", &ETHCONFIG_S::status},
};

struct KeypadButton {
  const char* id;
  int key;
};

constexpr KeypadButton kKeypadButtons[] = {
    {"numKeypadButton0", ethKey0},         {"numKeypadButton1", ethKey0 + 1},
    {"numKeypadButton2", ethKey0 + 2},     {"numKeypadButton3", ethKey0 + 3},
    {"numKeypadButton4", ethKey0 + 4},     {"numKeypadButton5", ethKey0 + 5},
    {"numKeypadButton6", ethKey0 + 6},     {"numKeypadButton7", ethKey0 + 7},
    {"numKeypadButton8", ethKey0 + 8},     {"numKeypadButton9", ethKey0 + 9},
    {"numKeypadButtonPeriod", ethKeyPeriod}, {"numKeypadButtonBackspace", ethKeyBackspace},
    {"numKeypadButtonClear", ethKeyClear}, {"numKeypadButtonNext", ethKeyNext},
};

template <std::size_t N>
bool loadWidgets(GtkBuilder* builder, ETHCONFIG_S* config, const WidgetSlot (&slots)[N]) {
  bool complete = true;
  for (const auto& slot : slots) {
    config->*slot.member = DialogSupport_widget(builder, slot.id);
    complete = complete && config->*slot.member != nullptr;
  }
  return complete;
}

void destroy(GtkWidget*& widget) {
  if (widget == nullptr) return;
  GtkWidget* shown = widget;
  widget = nullptr;
  gtk_widget_destroy(shown);
}

void closeAll() {
  if (!ethConfig) return;
  std::unique_ptr<ETHCONFIG_S> record = std::move(ethConfig);
  destroy(record->infoDialog);
  destroy(record->settingsDialog);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
  closeAll();
  return TRUE;
}

std::string entryText(GtkWidget* entry) { return gtk_entry_get_text(GTK_ENTRY(entry)); }

bool isStaticChosen(const ETHCONFIG_S* c) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->radioStatic)) != FALSE; }

void setButtonsSensitive(ETHCONFIG_S* c, bool on) {
  gtk_widget_set_sensitive(c->apply, on ? TRUE : FALSE);
  gtk_widget_set_sensitive(c->cancel, on ? TRUE : FALSE);
}

// DHCP shows the addresses the server gave as plain texts; static shows the
// entries the keypad edits.
void showMethod(ETHCONFIG_S* c) {
  const bool isStatic = isStaticChosen(c);
  c->newIp.method = isStatic ? INET_METHOD_STATIC : INET_METHOD_DHCP;
  GtkWidget* entries[] = {c->entryAddress, c->entryNetmask, c->entryGateway};
  GtkWidget* texts[] = {c->textAddress, c->textNetmask, c->textGateway};
  const IpText* dhcp[] = {&c->ipDhcp.address, &c->ipDhcp.netmask, &c->ipDhcp.gateway};
  for (int i = 0; i < 3; ++i) {
    gtk_widget_set_visible(entries[i], isStatic);
    gtk_editable_set_editable(GTK_EDITABLE(entries[i]), isStatic);
    gtk_widget_set_visible(texts[i], !isStatic);
    gtk_label_set_text(GTK_LABEL(texts[i]), dhcp[i]->data());
  }
  if (isStatic && c->keypad.target == nullptr) EthSettings_selectTarget(c, c->entryAddress);
  if (!isStatic) c->keypad.target = nullptr;
}

void onMethodToggled(GtkToggleButton* button, gpointer) {
  if (ethConfig == nullptr || gtk_toggle_button_get_active(button) == FALSE) return;
  DialogSupport_setStatus(ethConfig->status, "");
  showMethod(ethConfig.get());
}

gboolean onEntryPressed(GtkWidget* entry, GdkEvent*, gpointer) {
  if (ethConfig != nullptr) EthSettings_selectTarget(ethConfig.get(), entry);
  return FALSE;
}

void setTargetText(ETHCONFIG_S* c, const std::string& text) {
  gtk_entry_set_text(GTK_ENTRY(c->keypad.target), text.c_str());
  c->keypad.length = static_cast<int>(text.size());
  gtk_editable_set_position(GTK_EDITABLE(c->keypad.target), -1);
}

GtkWidget* nextEntry(const ETHCONFIG_S* c, GtkWidget* entry) {
  if (entry == c->entryAddress) return c->entryNetmask;
  if (entry == c->entryNetmask) return c->entryGateway;
  return c->entryAddress;
}

void onKey(GtkWidget*, gpointer data) {
  ETHCONFIG_S* c = ethConfig.get();
  if (c == nullptr || c->keypad.target == nullptr) return;
  const int key = GPOINTER_TO_INT(data);
  std::string text = entryText(c->keypad.target);
  switch (key) {
    case ethKeyBackspace:
      if (!text.empty()) text.pop_back();
      break;
    case ethKeyClear:
      text.clear();
      break;
    case ethKeyNext:
      EthSettings_selectTarget(c, nextEntry(c, c->keypad.target));
      return;
    default:
      if (text.size() >= static_cast<std::size_t>(kEthKeypadMaxLength)) return;
      text += key == ethKeyPeriod ? '.' : static_cast<char>('0' + key - ethKey0);
      break;
  }
  setTargetText(c, text);
}

// The first edited value that is set but invalid, or nullptr.
GtkWidget* firstInvalid(ETHCONFIG_S* c) {
  const std::string_view address = TextField_view(c->newIp.address);
  const std::string_view netmask = TextField_view(c->newIp.netmask);
  const std::string_view gateway = TextField_view(c->newIp.gateway);
  if (!address.empty() && !c->checkIp(address)) return c->entryAddress;
  if (!netmask.empty() && (!c->checkIp(netmask) || !c->checkNetmask(netmask))) return c->entryNetmask;
  if (!gateway.empty() && !c->checkIp(gateway)) return c->entryGateway;
  return nullptr;
}

bool readEntries(ETHCONFIG_S* c) {
  c->newIp.method = isStaticChosen(c) ? INET_METHOD_STATIC : INET_METHOD_DHCP;
  if (c->newIp.method != INET_METHOD_STATIC) return true;
  return TextField_copy(c->newIp.address, entryText(c->entryAddress)) &&
         TextField_copy(c->newIp.netmask, entryText(c->entryNetmask)) &&
         TextField_copy(c->newIp.gateway, entryText(c->entryGateway));
}

// The network comes up some time after the restart: a static address that is
// still missing then gets one more restart.
gboolean recheckAddress(gpointer) {
  if (get_ip_address(kInterface).empty()) {
    DIAGNOSTIC("%s has no address after the restart: restarting the network again\n", kInterface);
    network_restart();
  }
  return G_SOURCE_REMOVE;
}

void onApply(GtkWidget*, gpointer) {
  ETHCONFIG_S* c = ethConfig.get();
  if (c == nullptr) return;
  setButtonsSensitive(c, false);
  DialogSupport_setStatus(c->status, "");
  if (!readEntries(c)) {
    EthSettings_selectTarget(c, c->entryAddress);
    setButtonsSensitive(c, true);
    return;
  }
  if (c->newIp.method == INET_METHOD_STATIC) {
    if (GtkWidget* invalid = firstInvalid(c)) {
      EthSettings_selectTarget(c, invalid);
      setButtonsSensitive(c, true);
      return;
    }
  }
  switch (ethernetSetConfig(c)) {
    case ethSetNoAddress:
      DialogSupport_setStatus(c->status, "Enter the address for a static configuration.");
      EthSettings_selectTarget(c, c->entryAddress);
      setButtonsSensitive(c, true);
      return;
    case ethSetWriteFailed:
      USER_WARNING("The network settings could not be written\n");
      DialogSupport_setStatus(c->status, "The network settings could not be written: nothing changed.");
      setButtonsSensitive(c, true);
      return;
    default:
      break;
  }
  const bool isStatic = c->newIp.method == INET_METHOD_STATIC;
  closeAll();
  network_restart();
  if (isStatic) g_timeout_add(kEthRecheckSeconds * 1000, recheckAddress, nullptr);
}

void onCancel(GtkWidget*, gpointer) { closeAll(); }

bool openSettings(ETHCONFIG_S* c) {
  GtkBuilder* builder = DialogSupport_load(kSettingsFile);
  if (builder == nullptr) return false;
  const bool complete = loadWidgets(builder, c, kSettingsWidgets);
  std::vector<std::pair<GtkWidget*, int>> keys;
  bool keypadComplete = true;
  for (const auto& button : kKeypadButtons) {
    GtkWidget* widget = DialogSupport_widget(builder, button.id);
    keypadComplete = keypadComplete && widget != nullptr;
    keys.emplace_back(widget, button.key);
  }
  g_object_unref(builder);
  if (!complete || !keypadComplete) {
    destroy(c->settingsDialog);
    return false;
  }
  for (const auto& [widget, key] : keys) g_signal_connect(widget, "clicked", G_CALLBACK(onKey), GINT_TO_POINTER(key));

  // Editing starts from the static values.
  c->newIp.address = c->ipStatic.address;
  c->newIp.netmask = c->ipStatic.netmask;
  c->newIp.gateway = c->ipStatic.gateway;
  gtk_entry_set_text(GTK_ENTRY(c->entryAddress), c->newIp.address.data());
  gtk_entry_set_text(GTK_ENTRY(c->entryNetmask), c->newIp.netmask.data());
  gtk_entry_set_text(GTK_ENTRY(c->entryGateway), c->newIp.gateway.data());
  for (GtkWidget* entry : {c->entryAddress, c->entryNetmask, c->entryGateway}) {
    gtk_entry_set_max_length(GTK_ENTRY(entry), kEthKeypadMaxLength);
    g_signal_connect(entry, "button-press-event", G_CALLBACK(onEntryPressed), nullptr);
  }
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->method == INET_METHOD_STATIC ? c->radioStatic : c->radioDhcp), TRUE);
  g_signal_connect(c->radioDhcp, "toggled", G_CALLBACK(onMethodToggled), nullptr);
  g_signal_connect(c->radioStatic, "toggled", G_CALLBACK(onMethodToggled), nullptr);
  g_signal_connect(c->apply, "clicked", G_CALLBACK(onApply), nullptr);
  g_signal_connect(c->cancel, "clicked", G_CALLBACK(onCancel), nullptr);
  g_signal_connect(c->settingsDialog, "delete-event", G_CALLBACK(onDelete), nullptr);
  DialogSupport_present(c->settingsDialog);
  DialogSupport_setStatus(c->status, "");
  showMethod(c);
  return true;
}

void onInfoOk(GtkWidget*, gpointer) { closeAll(); }

void onConfigure(GtkWidget*, gpointer) {
  ETHCONFIG_S* c = ethConfig.get();
  if (c == nullptr) return;
  destroy(c->infoDialog);
  if (!openSettings(c)) closeAll();
}

bool openInfo(ETHCONFIG_S* c) {
  GtkBuilder* builder = DialogSupport_load(kInfoFile);
  if (builder == nullptr) return false;
  const bool complete = loadWidgets(builder, c, kInfoWidgets);
  g_object_unref(builder);
  if (!complete) {
    destroy(c->infoDialog);
    return false;
  }
  gtk_label_set_text(GTK_LABEL(c->infoLabelIP1), "IP Addr");
  gtk_label_set_text(GTK_LABEL(c->infoLabelIP2), get_ip_address(kInterface).c_str());
  gtk_label_set_text(GTK_LABEL(c->infoLabelStaticIP1), "IP Addr\n(Fixed)");
  gtk_label_set_text(GTK_LABEL(c->infoLabelStaticIP2), get_ip_address(kAliasInterface).c_str());
  g_signal_connect(c->infoOk, "clicked", G_CALLBACK(onInfoOk), nullptr);
  g_signal_connect(c->infoConfigure, "clicked", G_CALLBACK(onConfigure), nullptr);
  g_signal_connect(c->infoDialog, "delete-event", G_CALLBACK(onDelete), nullptr);
  DialogSupport_present(c->infoDialog);
  return true;
}

void copyIp(IpText& field, const std::string& text) {
  if (!TextField_copy(field, text)) field[0] = '\0';
}

}  // namespace

std::unique_ptr<ETHCONFIG_S> initEthConfig() {
  auto c = DialogSupport_newRecord<ETHCONFIG_S>(__func__, "ethConfig");
  c->checkIp = validate_ip;
  c->checkNetmask = validate_netmask;
  c->method = INET_METHOD_UNKNOWN;
  ethernetGetConfig(c.get());
  return c;
}

int ethernetGetConfig(ETHCONFIG_S* config) {
  IpText address{};
  IpText netmask{};
  IpText gateway{};
  const int result = get_conf_inet(kInterface, config->method, address, netmask, gateway);
  ETHCONFIG_IP_S& live = config->method == INET_METHOD_STATIC ? config->ipStatic : config->ipDhcp;
  copyIp(live.address, get_ip_address(kInterface));
  copyIp(live.netmask, get_netmask(kInterface));
  copyIp(live.gateway, get_gateway(kInterface));
  // A static interface that is not up yet still has its configured values.
  if (config->method == INET_METHOD_STATIC) {
    if (live.address[0] == '\0') live.address = address;
    if (live.netmask[0] == '\0') live.netmask = netmask;
    if (live.gateway[0] == '\0') live.gateway = gateway;
  }
  return result;
}

int ethernetSetConfig(ETHCONFIG_S* config) {
  ETHCONFIG_NEWIP_S& edited = config->newIp;
  if (edited.method == INET_METHOD_DHCP) {
    if (set_conf_inet(kInterface, INET_METHOD_DHCP, "", "", "") != 0) return ethSetWriteFailed;
    config->method = INET_METHOD_DHCP;
    return ethSetDone;
  }
  if (std::strlen(edited.address.data()) < kMinAddressLength) {
    edited.method = config->method;
    return ethSetNoAddress;
  }
  if (edited.netmask[0] == '\0') TextField_copy(edited.netmask, kDefaultNetmask);
  config->ipStatic.address = edited.address;
  config->ipStatic.netmask = edited.netmask;
  config->ipStatic.gateway = edited.gateway;
  if (set_conf_inet(kInterface, INET_METHOD_STATIC, config->ipStatic.address.data(), config->ipStatic.netmask.data(),
                    config->ipStatic.gateway.data()) != 0) {
    return ethSetWriteFailed;
  }
  config->method = INET_METHOD_STATIC;
  return ethSetDone;
}

GtkWidget* ethConfig_Dialog_ButtonCreate() {
  return DialogSupport_pictureButton("Ethernet.png", "Ethernet button", G_CALLBACK(ethInfoDialog_ButtonCallback));
}

void ethInfoDialog_ButtonCallback(GtkWidget*, gpointer) {
  if (!AppSettingsMenu_guiReady()) return;
  if (ethConfig) {
    GtkWidget* open = ethConfig->settingsDialog != nullptr ? ethConfig->settingsDialog : ethConfig->infoDialog;
    if (open != nullptr) gtk_window_present(GTK_WINDOW(open));
    return;
  }
  auto record = initEthConfig();
  if (!openInfo(record.get())) return;
  ethConfig = std::move(record);
  AppSettingsMenu_hide();
}

void EthSettings_selectTarget(ETHCONFIG_S* config, GtkWidget* entry) {
  if (entry == nullptr) return;
  config->keypad.target = entry;
  config->keypad.length = static_cast<int>(std::strlen(gtk_entry_get_text(GTK_ENTRY(entry))));
  gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
}

ETHCONFIG_S* EthernetDialogs_current() { return ethConfig.get(); }
