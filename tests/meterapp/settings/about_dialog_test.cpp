// The About dialog on a real display: the meter's identity and firmware, and
// the two text pages.
#include "about_dialog.h"

#include "gui_fixture.h"
#include "meter_identity.h"
#include "settings_menu.h"
#include "text_field.h"

namespace {

using namespace settings_gui;

std::string reshaped(const std::string& text, bool fromBuildRecord) {
  std::array<char, 128> field{};
  TextField_copy(field, text);
  About_reshapeFirmware(field, fromBuildRecord);
  return std::string(TextField_view(field));
}

TEST(AboutFirmwareText, OnlyABuildRecordTextIsReshaped) {
  struct Case {
    const char* text;
    bool fromBuildRecord;
    const char* shown;
  };
  const Case cases[] = {
      {"2024-10-10 18:59:38  5f0c2a1e-77aa-4c1b-9d3e-0a1b2c3d4e5f", true,
       "2024-10-10 18:59:38\n5f0c2a1e-77aa-4c1b-9d3e-0a1b2c3d4e5f"},
      {"unknown: Oct 10 2024 18:59:38", false, "unknown: Oct 10 2024 18:59:38"},
      {"2024-10-10 18:59:38", true, "2024-10-10 18:59:38"},  // no build id: kept
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(reshaped(c.text, c.fromBuildRecord), c.shown);
  }
}

class AboutDialogTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped()) return;
    root.write(DevicePath::kMeterIdentityFile, "model R9050\nserial 905012345\n");
    MeterIdentity_reload();
  }
  void TearDown() override {
    if (aboutDialog* open = AboutDialog_current()) click(open->ok);
    GuiTest::TearDown();
  }
  aboutDialog* open() {
    aboutDialog_ButtonCallback(nullptr, nullptr);
    drainMainLoop();
    aboutDialog* about = AboutDialog_current();
    EXPECT_NE(about, nullptr);
    return about;
  }
  static GtkTextBuffer* pageText(GtkWidget* page) {
    GtkWidget* view = nullptr;
    std::vector<GtkWidget*> todo{page};
    while (!todo.empty() && view == nullptr) {
      GtkWidget* w = todo.back();
      todo.pop_back();
      if (GTK_IS_TEXT_VIEW(w)) view = w;
      if (GTK_IS_CONTAINER(w)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(w));
        for (GList* c = children; c != nullptr; c = c->next) todo.push_back(GTK_WIDGET(c->data));
        g_list_free(children);
      }
    }
    return view != nullptr ? gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)) : nullptr;
  }
  static std::string bufferText(GtkTextBuffer* buffer) {
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string result = text;
    g_free(text);
    return result;
  }
};

TEST_F(AboutDialogTest, ShowsTheIdentityAndTheBuildRecordOnTwoLines) {
  root.write(DevicePath::kBuildInstalled,
             "BUILD_HOSTNAME=builder\nBUILD_DATE=2026-01-15T10:00:00\nBUILD_UUID=0a1b2c3d-0000-4000-8000-000000009050\n");
  aboutDialog* sut = open();
  ASSERT_NE(sut, nullptr);
  EXPECT_EQ(labelText(sut->labelModelStr), "R9050");
  EXPECT_EQ(labelText(sut->labelSerialStr), "905012345");
  EXPECT_EQ(labelText(sut->labelFwRevStr), "2026-01-15 10:00:00\n0a1b2c3d-0000-4000-8000-000000009050");
  EXPECT_FALSE(settingsMenuIsVisible());
  saveScreenshot(sut->dialog, "about_dialog");
}

TEST_F(AboutDialogTest, WithoutABuildRecordShowsTheProgramsOwnTextWhole) {
  aboutDialog* sut = open();
  ASSERT_NE(sut, nullptr);
  std::array<char, 128> expected{};
  ASSERT_FALSE(getFwVersion(expected));
  EXPECT_EQ(labelText(sut->labelFwRevStr), std::string(TextField_view(expected)));
  EXPECT_EQ(labelText(sut->labelFwRevStr).find('\n'), std::string::npos);
  EXPECT_EQ(labelText(sut->labelFwRevStr).rfind("unknown: ", 0), 0U);
}

TEST_F(AboutDialogTest, RegulatoryAndLicensePagesSwitchAndClose) {
  aboutDialog* sut = open();
  ASSERT_NE(sut, nullptr);
  click(sut->regulatory);
  ASSERT_NE(sut->textDialog, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(sut->textDialog)), "Regulatory Information");
  GtkTextBuffer* text = pageText(sut->textDialog);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(bufferText(text).find("R9050"), std::string::npos);
  saveScreenshot(sut->textDialog, "about_regulatory_dialog");

  GtkWidget* regulatoryPage = sut->textDialog;
  GtkWidget* toLicense = nullptr;
  GList* windows = gtk_window_list_toplevels();
  g_list_free(windows);
  // The page's own button to the other page.
  std::vector<GtkWidget*> todo{regulatoryPage};
  while (!todo.empty()) {
    GtkWidget* w = todo.back();
    todo.pop_back();
    if (GTK_IS_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)) != nullptr &&
        std::string(gtk_button_get_label(GTK_BUTTON(w))) == "License") {
      toLicense = w;
    }
    if (GTK_IS_CONTAINER(w)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* c = children; c != nullptr; c = c->next) todo.push_back(GTK_WIDGET(c->data));
      g_list_free(children);
    }
  }
  ASSERT_NE(toLicense, nullptr);
  click(toLicense);
  ASSERT_NE(sut->textDialog, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(sut->textDialog)), "Licenses");
  EXPECT_NE(bufferText(pageText(sut->textDialog)).find("GNU Lesser General Public License"), std::string::npos);

  click(sut->ok);
  EXPECT_EQ(AboutDialog_current(), nullptr);
}

}  // namespace
