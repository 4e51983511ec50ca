// The warning dialog on a real display: requests from any thread, carried out
// by the display pass.
#include "warning_dialog.h"

#include <thread>
#include <vector>

#include "gui_fixture.h"

namespace {

using namespace settings_gui;

int countToplevels(const char* title) {
  GList* windows = gtk_window_list_toplevels();
  int count = 0;
  for (GList* w = windows; w != nullptr; w = w->next) {
    const char* t = gtk_window_get_title(GTK_WINDOW(w->data));
    if (t != nullptr && std::string(t) == title && gtk_widget_get_visible(GTK_WIDGET(w->data))) ++count;
  }
  g_list_free(windows);
  return count;
}

class WarningDialogTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped()) return;
    parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    WarningDialog_create(&sut, parent, "Warning: Battery is critically low.\r\nConnect AC to continue operating.");
  }
  void TearDown() override {
    WarningDialog_close(&sut);
    WarningDialog_handleState(&sut);
    if (parent != nullptr) gtk_widget_destroy(parent);
    GuiTest::TearDown();
  }
  WarningDialog sut;
  GtkWidget* parent = nullptr;
};

TEST_F(WarningDialogTest, ShowThenHandleShowsOneDialogWithTheMessage) {
  WarningDialog_show(&sut);
  EXPECT_EQ(sut.dialog, nullptr) << "only the display pass creates the dialog";
  WarningDialog_handleState(&sut);
  ASSERT_NE(sut.dialog, nullptr);
  EXPECT_EQ(countToplevels("Warning"), 1);
  gchar* text = nullptr;
  g_object_get(sut.dialog, "text", &text, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "Warning: Battery is critically low.\r\nConnect AC to continue operating.");
  g_free(text);
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(sut.dialog)));
  saveScreenshot(sut.dialog, "warning_dialog");
}

TEST_F(WarningDialogTest, ShownAndClosedBeforeTheDisplayPassLeavesNoDialog) {
  WarningDialog_show(&sut);
  WarningDialog_close(&sut);
  WarningDialog_handleState(&sut);
  EXPECT_EQ(sut.dialog, nullptr);
  EXPECT_EQ(countToplevels("Warning"), 0);
}

TEST_F(WarningDialogTest, RepeatedShowsDoNotStackDialogs) {
  for (int i = 0; i < 3; ++i) {
    WarningDialog_show(&sut);
    WarningDialog_handleState(&sut);
    WarningDialog_show(&sut);
    WarningDialog_handleState(&sut);
  }
  EXPECT_EQ(countToplevels("Warning"), 1);
  WarningDialog_close(&sut);
  WarningDialog_handleState(&sut);
  EXPECT_EQ(sut.dialog, nullptr);
  EXPECT_EQ(countToplevels("Warning"), 0);
}

TEST_F(WarningDialogTest, OkClosesTheDialog) {
  WarningDialog_show(&sut);
  WarningDialog_handleState(&sut);
  ASSERT_NE(sut.dialog, nullptr);
  gtk_dialog_response(GTK_DIALOG(sut.dialog), GTK_RESPONSE_OK);
  drainMainLoop();
  EXPECT_EQ(sut.dialog, nullptr);
  EXPECT_EQ(countToplevels("Warning"), 0);
  // A later request shows it again.
  WarningDialog_show(&sut);
  WarningDialog_handleState(&sut);
  EXPECT_EQ(countToplevels("Warning"), 1);
}

TEST_F(WarningDialogTest, DestroyedWithItsParentIsForgotten) {
  WarningDialog_show(&sut);
  WarningDialog_handleState(&sut);
  ASSERT_NE(sut.dialog, nullptr);
  gtk_widget_destroy(parent);
  parent = nullptr;
  drainMainLoop();
  EXPECT_EQ(sut.dialog, nullptr);
}

// Workers show and close at random while the display pass runs: the two
// flags always change together, so the last request alone is carried out.
TEST_F(WarningDialogTest, RequestsFromThreadsEndInTheLastRequest) {
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([this, t] {
      for (int i = 0; i < 2000; ++i) ((i + t) % 2 == 0) ? WarningDialog_show(&sut) : WarningDialog_close(&sut);
    });
  }
  for (int pass = 0; pass < 50; ++pass) WarningDialog_handleState(&sut);
  for (auto& w : workers) w.join();
  WarningDialog_close(&sut);
  WarningDialog_handleState(&sut);
  EXPECT_EQ(sut.dialog, nullptr);
  EXPECT_EQ(countToplevels("Warning"), 0);
  {
    std::lock_guard guard(sut.signalLock);
    EXPECT_FALSE(sut.showSignal);
    EXPECT_FALSE(sut.closeSignal);
  }
}

}  // namespace
