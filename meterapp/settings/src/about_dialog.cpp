#include "about_dialog.h"

#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"
#include "dialog_support.h"
#include "meter_identity.h"
#include "settings_menu.h"
#include "text_field.h"

namespace {

constexpr const char* kAboutFile = "aboutDialog.ui";
constexpr const char* kResources = "./resources/";

// One of the two text pages: its definition, object prefix and text file.
struct TextPage {
  const char* uiFile;
  const char* dialogId;
  const char* textBufferId;
  const char* switchId;  // the button to the other page
  const char* okId;
  const char* textFile;
};

constexpr TextPage kRegulatory{"aboutDialogRegulatory.ui", "aboutDialogRegulatory", "aboutDialogRegTextbuffer",
                               "aboutDialogReg_license", "aboutDialogReg_ok", "regulatory.txt"};
constexpr TextPage kLicense{"aboutDialogLicense.ui", "aboutDialogLicense", "aboutDialogLicTextbuffer",
                            "aboutDialogLic_regulatory", "aboutDialogLic_ok", "license.txt"};

std::unique_ptr<aboutDialog> about;

std::vector<std::string_view> wordsOf(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while ((i = text.find_first_not_of(' ', i)) != std::string_view::npos) {
    const std::size_t end = std::min(text.find(' ', i), text.size());
    words.push_back(text.substr(i, end - i));
    i = end;
  }
  return words;
}

void closeTextPage() {
  if (about == nullptr || about->textDialog == nullptr) return;
  GtkWidget* page = about->textDialog;
  about->textDialog = nullptr;
  gtk_widget_destroy(page);
}

void closeAll() {
  if (!about) return;
  closeTextPage();
  std::unique_ptr<aboutDialog> record = std::move(about);
  if (record->dialog != nullptr) gtk_widget_destroy(record->dialog);
}

void openTextPage(const TextPage& page);

void onShowRegulatory(GtkWidget*, gpointer) { openTextPage(kRegulatory); }
void onShowLicense(GtkWidget*, gpointer) { openTextPage(kLicense); }
void onTextOk(GtkWidget*, gpointer) { closeTextPage(); }
void onOk(GtkWidget*, gpointer) { closeAll(); }
gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
  closeAll();
  return TRUE;
}
gboolean onTextDelete(GtkWidget*, GdkEvent*, gpointer) {
  closeTextPage();
  return TRUE;
}

void openTextPage(const TextPage& page) {
  if (!about) return;
  closeTextPage();
  GtkBuilder* builder = DialogSupport_load(page.uiFile);
  if (builder == nullptr) return;
  GtkWidget* dialog = DialogSupport_widget(builder, page.dialogId);
  GObject* buffer = gtk_builder_get_object(builder, page.textBufferId);
  GtkWidget* other = DialogSupport_widget(builder, page.switchId);
  GtkWidget* ok = DialogSupport_widget(builder, page.okId);
  g_object_unref(builder);
  if (dialog == nullptr || buffer == nullptr || !GTK_IS_TEXT_BUFFER(buffer) || other == nullptr || ok == nullptr) {
    if (dialog != nullptr) gtk_widget_destroy(dialog);
    return;
  }
  std::string text;
  const std::string path = std::string(kResources) + page.textFile;
  if (!AtomicFile_read(path, text)) {
    DIAGNOSTIC("Cannot read %s\n", path.c_str());
    text = "The text is missing from this installation.";
  }
  gtk_text_buffer_set_text(GTK_TEXT_BUFFER(buffer), text.c_str(), static_cast<int>(text.size()));
  g_signal_connect(other, "clicked", G_CALLBACK(&page == &kRegulatory ? onShowLicense : onShowRegulatory), nullptr);
  g_signal_connect(ok, "clicked", G_CALLBACK(onTextOk), nullptr);
  g_signal_connect(dialog, "delete-event", G_CALLBACK(onTextDelete), nullptr);
  about->textDialog = dialog;
  DialogSupport_present(dialog);
}

bool buildDialog(aboutDialog* a) {
  GtkBuilder* builder = DialogSupport_load(kAboutFile);
  if (builder == nullptr) return false;
  a->dialog = DialogSupport_widget(builder, "aboutDialog");
  a->labelModelStr = DialogSupport_widget(builder, "aboutDialogLabelModelStr");
  a->labelSerialStr = DialogSupport_widget(builder, "aboutDialogLabelSerialStr");
  a->labelFwRevStr = DialogSupport_widget(builder, "aboutDialogLabelFwRevStr");
  a->regulatory = DialogSupport_widget(builder, "aboutDialog_regulatory");
  a->license = DialogSupport_widget(builder, "aboutDialog_license");
  a->ok = DialogSupport_widget(builder, "aboutDialog_ok");
  g_object_unref(builder);
  if (a->dialog == nullptr || a->labelModelStr == nullptr || a->labelSerialStr == nullptr ||
      a->labelFwRevStr == nullptr || a->regulatory == nullptr || a->license == nullptr || a->ok == nullptr) {
    if (a->dialog != nullptr) gtk_widget_destroy(a->dialog);
    return false;
  }
  gtk_label_set_text(GTK_LABEL(a->labelModelStr), a->modelNum.data());
  gtk_label_set_text(GTK_LABEL(a->labelSerialStr), a->serialNum.data());
  gtk_label_set_text(GTK_LABEL(a->labelFwRevStr), a->fwVersion.data());
  g_signal_connect(a->regulatory, "clicked", G_CALLBACK(onShowRegulatory), nullptr);
  g_signal_connect(a->license, "clicked", G_CALLBACK(onShowLicense), nullptr);
  g_signal_connect(a->ok, "clicked", G_CALLBACK(onOk), nullptr);
  g_signal_connect(a->dialog, "delete-event", G_CALLBACK(onDelete), nullptr);
  return true;
}

}  // namespace

void About_reshapeFirmware(std::array<char, 128>& text, bool fromBuildRecord) {
  if (!fromBuildRecord) return;
  const std::string original(TextField_view(text));
  const auto words = wordsOf(original);
  if (words.size() < 3) return;
  const std::string shaped = std::string(words[0]) + " " + std::string(words[1]) + "\n" + std::string(words[2]);
  TextField_copy(text, shaped);
}

std::unique_ptr<aboutDialog> initAbout() {
  auto a = DialogSupport_newRecord<aboutDialog>(__func__, "about");
  const MeterIdentity& identity = MeterIdentity_get();
  TextField_copy(a->modelNum, TextField_view(identity.model));
  TextField_copy(a->serialNum, TextField_view(identity.serial));
  const bool fromBuildRecord = getFwVersion(a->fwVersion);
  About_reshapeFirmware(a->fwVersion, fromBuildRecord);
  return a;
}

GtkWidget* about_Dialog_ButtonCreate() {
  return DialogSupport_pictureButton("about.png", "About button", G_CALLBACK(aboutDialog_ButtonCallback));
}

void aboutDialog_ButtonCallback(GtkWidget*, gpointer) {
  if (!AppSettingsMenu_guiReady()) return;
  if (about) {
    gtk_window_present(GTK_WINDOW(about->dialog));
    return;
  }
  auto record = initAbout();
  if (!buildDialog(record.get())) return;
  about = std::move(record);
  DialogSupport_present(about->dialog);
  AppSettingsMenu_hide();
}

aboutDialog* AboutDialog_current() { return about.get(); }
