// The RS-232 settings dialog on a real display, over a pseudo-terminal that
// stands in for the command port.
#include "serial_settings_dialog.h"

#include <fcntl.h>
#include <termios.h>

#include "gui_fixture.h"
#include "serial_port.h"
#include "settings_menu.h"
#include "unique_fd.h"

namespace {

using namespace settings_gui;

std::string comboText(GtkWidget* combo) {
  gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(combo));
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

void chooseCombo(GtkWidget* combo, const std::string& label) {
  GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
  const int count = gtk_tree_model_iter_n_children(model, nullptr);
  for (int i = 0; i < count; ++i) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), i);
    if (comboText(combo) == label) return;
  }
  ADD_FAILURE() << "no entry " << label;
}

std::vector<std::string> comboEntries(GtkWidget* combo) {
  std::vector<std::string> entries;
  const int saved = gtk_combo_box_get_active(GTK_COMBO_BOX(combo));
  const int count = gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)), nullptr);
  for (int i = 0; i < count; ++i) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), i);
    entries.push_back(comboText(combo));
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), saved);
  return entries;
}

class SerialDialogTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped()) return;
    pty.linkAs(root, DevicePath::kCommandPort);
    ASSERT_GE(SerialPort_Open(Platform_path(DevicePath::kCommandPort).c_str()), 0);
    // A second descriptor of the same line: what the port really holds.
    line = UniqueFd(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_TRUE(line.valid());
  }
  void TearDown() override {
    if (SERCONFIG_S* open = SerialSettingsDialog_current()) click(open->cancel);
    SerialPort_Close();
    GuiTest::TearDown();
  }

  struct termios portSettings() const {
    struct termios t {};
    EXPECT_EQ(::tcgetattr(line.get(), &t), 0);
    return t;
  }
  void setPort(speed_t speed, std::int8_t data, std::int8_t stop, std::int8_t parity) const {
    struct termios t = portSettings();
    SerialConfig_TermiosPutSpeed(&t, speed);
    SerialConfig_TermiosPutDataBits(&t, data);
    SerialConfig_TermiosPutStopBits(&t, stop);
    SerialConfig_TermiosPutParity(&t, parity);
    ASSERT_EQ(::tcsetattr(line.get(), TCSANOW, &t), 0);
  }
  SERCONFIG_S* openDialog() {
    SerialSettingsDialog_ButtonCallback(nullptr, nullptr);
    drainMainLoop();
    SERCONFIG_S* dialog = SerialSettingsDialog_current();
    EXPECT_NE(dialog, nullptr);
    return dialog;
  }

  test_support::PseudoTerminal pty;
  UniqueFd line;
};

// The meter's own port settings, as a remote RS-232 restart leaves them.
// A pseudo-terminal holds the speed and the stop bits itself; the port
// remembers the data bits and parity it was given, which a pseudo-terminal
// cannot hold.
void setPortThroughTheMeter(speed_t speed, std::int8_t data, std::int8_t stop, std::int8_t parity) {
  struct termios t {};
  ASSERT_EQ(SerialPort_GetConfig(&t), 0);
  SerialConfig_TermiosPutSpeed(&t, speed);
  SerialConfig_TermiosPutDataBits(&t, data);
  SerialConfig_TermiosPutStopBits(&t, stop);
  SerialConfig_TermiosPutParity(&t, parity);
  ASSERT_EQ(SerialPort_SetConfig(&t), 0);
}

TEST_F(SerialDialogTest, OpensShowingThePortsSettingsInTableOrder) {
  setPortThroughTheMeter(B4800, DATA_BITS_7, STOP_BITS_2, PARITY_EVEN);
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  EXPECT_EQ(comboEntries(sut->comboSpeed), (std::vector<std::string>{"300", "600", "1200", "2400", "4800", "9600"}));
  EXPECT_EQ(comboEntries(sut->comboParity), (std::vector<std::string>{"NONE", "ODD", "EVEN"}));
  EXPECT_EQ(comboText(sut->comboSpeed), "4800");
  EXPECT_TRUE(active(sut->radioStop2));
  EXPECT_FALSE(active(sut->radioStop1));
  EXPECT_TRUE(active(sut->radioData7));
  EXPECT_FALSE(active(sut->radioData8));
  EXPECT_EQ(comboText(sut->comboParity), "EVEN");
  EXPECT_FALSE(shown(sut->status));
  saveScreenshot(sut->dialog, "serial_settings_dialog");
}

// Settings changed on the line behind the meter's back (the speed and stop
// bits a pseudo-terminal holds) are what the dialog shows.
TEST_F(SerialDialogTest, OpensShowingWhatTheLineHoldsNow) {
  setPort(B1200, DATA_BITS_8, STOP_BITS_2, PARITY_NONE);
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  EXPECT_EQ(comboText(sut->comboSpeed), "1200");
  EXPECT_TRUE(active(sut->radioStop2));
  EXPECT_TRUE(active(sut->radioData8));
  EXPECT_EQ(comboText(sut->comboParity), "NONE");
}

TEST_F(SerialDialogTest, ApplySetsThePortAndWritesTheSettingsLines) {
  setPort(B9600, DATA_BITS_8, STOP_BITS_1, PARITY_NONE);
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  chooseCombo(sut->comboSpeed, "1200");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sut->radioStop2), TRUE);
  click(sut->apply);

  EXPECT_EQ(SerialSettingsDialog_current(), nullptr) << "Apply closes the dialog";
  const struct termios t = portSettings();
  EXPECT_EQ(cfgetospeed(&t), B1200);
  EXPECT_EQ(cfgetispeed(&t), B1200);
  EXPECT_NE(t.c_cflag & CSTOPB, 0U);
  for (const char* expected : {"serialSpeed 1200", "serialDataBits 8", "serialStopBits 2", "serialParity NONE"}) {
    SCOPED_TRACE(expected);
    EXPECT_TRUE(settingsHas(expected)) << settingsFile();
  }
}

TEST_F(SerialDialogTest, ApplyOfSevenBitsEvenParityTwoStopBits) {
  setPort(B9600, DATA_BITS_8, STOP_BITS_1, PARITY_NONE);
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  chooseCombo(sut->comboSpeed, "600");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sut->radioData7), TRUE);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sut->radioStop2), TRUE);
  chooseCombo(sut->comboParity, "EVEN");
  click(sut->apply);
  EXPECT_EQ(SerialSettingsDialog_current(), nullptr) << labelText(sut->status);
  const struct termios t = portSettings();
  EXPECT_EQ(cfgetospeed(&t), B600);
  EXPECT_NE(t.c_cflag & CSTOPB, 0U);
  for (const char* expected : {"serialSpeed 600", "serialDataBits 7", "serialStopBits 2", "serialParity EVEN"}) {
    SCOPED_TRACE(expected);
    EXPECT_TRUE(settingsHas(expected)) << settingsFile();
  }
  // and the dialog opened again shows them
  SERCONFIG_S* again = openDialog();
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(active(again->radioData7));
  EXPECT_EQ(comboText(again->comboParity), "EVEN");
}

TEST_F(SerialDialogTest, CancelChangesNothing) {
  setPort(B2400, DATA_BITS_8, STOP_BITS_1, PARITY_ODD);
  ASSERT_EQ(configuration_saveSettings(), 0);
  const std::string before = settingsFile();
  const struct termios portBefore = portSettings();
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  chooseCombo(sut->comboSpeed, "300");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sut->radioData7), TRUE);
  click(sut->cancel);
  EXPECT_EQ(SerialSettingsDialog_current(), nullptr);
  const struct termios portAfter = portSettings();
  EXPECT_EQ(portAfter.c_cflag, portBefore.c_cflag);
  EXPECT_EQ(cfgetospeed(&portAfter), B2400);
  EXPECT_EQ(settingsFile(), before);
}

// A remote RS-232 restart may change the port while the dialog is open:
// Apply changes only the dialog's four settings on the port as it is then.
TEST_F(SerialDialogTest, ApplyKeepsWhatChangedOnThePortMeanwhile) {
  setPort(B9600, DATA_BITS_8, STOP_BITS_1, PARITY_NONE);
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  struct termios meanwhile = portSettings();
  meanwhile.c_cc[VTIME] = 7;
  meanwhile.c_cc[VMIN] = 3;
  meanwhile.c_cflag |= CLOCAL;
  ASSERT_EQ(::tcsetattr(line.get(), TCSANOW, &meanwhile), 0);

  chooseCombo(sut->comboSpeed, "2400");
  click(sut->apply);
  EXPECT_EQ(SerialSettingsDialog_current(), nullptr);
  const struct termios t = portSettings();
  EXPECT_EQ(t.c_cc[VTIME], 7);
  EXPECT_EQ(t.c_cc[VMIN], 3);
  EXPECT_NE(t.c_cflag & CLOCAL, 0U);
  EXPECT_EQ(cfgetospeed(&t), B2400);
  EXPECT_TRUE(settingsHas("serialSpeed 2400"));
}

TEST_F(SerialDialogTest, APortThatCannotBeSetIsReportedAndTheFileKeepsItsLines) {
  setPort(B9600, DATA_BITS_8, STOP_BITS_1, PARITY_NONE);
  ASSERT_EQ(configuration_saveSettings(), 0);
  const std::string before = settingsFile();
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  chooseCombo(sut->comboParity, "EVEN");
  SerialPort_Close();  // the port went away
  click(sut->apply);
  ASSERT_EQ(SerialSettingsDialog_current(), sut) << "the dialog stays open to show why";
  EXPECT_TRUE(shown(sut->status));
  EXPECT_NE(labelText(sut->status).find("RS-232 port"), std::string::npos) << labelText(sut->status);
  EXPECT_EQ(settingsFile(), before);
  EXPECT_NE(root.messages().find("USER_WARNING:  The RS-232 port"), std::string::npos);
}

TEST_F(SerialDialogTest, ASettingsFileThatCannotBeWrittenIsReported) {
  setPort(B9600, DATA_BITS_8, STOP_BITS_1, PARITY_NONE);
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  // The file is replaced through a ".new" file beside it: a folder there
  // makes every write fail.
  root.write(std::string(DevicePath::kSettingsFile) + ".new/blocker", "x");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sut->radioStop2), TRUE);
  click(sut->apply);
  ASSERT_EQ(SerialSettingsDialog_current(), sut);
  EXPECT_NE(labelText(sut->status).find("settings file could not be written"), std::string::npos);
  EXPECT_NE(portSettings().c_cflag & CSTOPB, 0U) << "the port itself took the change";
}

TEST_F(SerialDialogTest, OpeningHidesTheSettingsPanelAndASecondClickOpensNoSecondDialog) {
  SERCONFIG_S* sut = openDialog();
  ASSERT_NE(sut, nullptr);
  EXPECT_FALSE(settingsMenuIsVisible());
  SerialSettingsDialog_ButtonCallback(nullptr, nullptr);
  EXPECT_EQ(SerialSettingsDialog_current(), sut);
}

}  // namespace
