// Placeholder of the keypad logic, until it is built: the text is kept, and
// keys are ignored.
#include "keypad.h"
#include "text_field.h"

void CKeypadManager_Create(CKeypadManager* instance, const char* text, KeypadCallback callback) {
  instance->state = keyPadSelected;
  instance->callback = callback;
  CKeypadManager_HandleNextField(instance, text);
}

void CKeypadManager_HandleNextField(CKeypadManager* instance, const char* text) {
  instance->state = keyPadSelected;
  TextField_copy(instance->text, text != nullptr ? text : "");
  if (instance->callback != nullptr) instance->callback(instance->text.data(), true);
}

void CKeypadManager_HandleEvent(CKeypadManager*, int) {}
