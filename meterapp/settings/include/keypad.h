// The on-screen keypad's editing logic, shared by the dialogs that take
// numbers (graph settings, pulse configuration, Ethernet). Pure: it edits a
// text of at most 20 characters and hands every change to its callback.
#pragma once

#include <array>

enum KeypadEvent {
  keyPad0 = 0,
  keyPad1,
  keyPad2,
  keyPad3,
  keyPad4,
  keyPad5,
  keyPad6,
  keyPad7,
  keyPad8,
  keyPad9,
  keyPadPeriod,
  keyPadSign,
  keyPadBackspace,
  keyPadClear,
  keyPadNext,
};

enum KeypadState { keyPadSelected = 0, keyPadEditing = 1 };

// Receives the edited text, and whether the whole text is to be selected.
using KeypadCallback = void (*)(const char* text, bool select);

struct CKeypadManager {
  KeypadState state = keyPadSelected;
  std::array<char, 21> text{};
  KeypadCallback callback = nullptr;
};

void CKeypadManager_Create(CKeypadManager* instance, const char* text, KeypadCallback callback);
void CKeypadManager_HandleNextField(CKeypadManager* instance, const char* text);
void CKeypadManager_HandleEvent(CKeypadManager* instance, int event);
