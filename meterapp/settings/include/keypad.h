// The on-screen keypad's editing logic, shared by the dialogs that take
// numbers (graph settings, pulse configuration, Ethernet). Pure: it edits a
// text of at most 20 characters and hands every change to its callback; the
// dialog decides which entry the text belongs to.
#pragma once

#include <array>

enum enKeypadState {
  keyPadSelected = 0,  // the field's whole text is selected: the next key replaces it
  keyPadInteger = 1,   // typing, no decimal point yet
  keyPadFloat = 2,     // typing, after the decimal point
};

enum enKeypadEvent { evClear = 0, evSign = 1, evAddChar = 2, evDecimal = 3, evBackSp = 4 };

struct CKeypadManager_Event {
  enKeypadEvent eventID = evClear;
  char data = '\0';  // the character of evAddChar
};

// Receives the edited text, and whether the whole text is to be selected
// (only while the field is freshly selected).
using KeypadUpdateTarget = void (*)(const char* text, bool select);

constexpr int kKeypadMaxText = 20;

struct CKeypadManager_Instance {
  enKeypadState state = keyPadSelected;
  std::array<char, kKeypadMaxText + 1> targetText{};
  KeypadUpdateTarget pUpdateTarget = nullptr;
};

// Selects `text` (cut to 20 characters) as the field being edited and hands
// it to `callback` with the select flag set.
void CKeypadManager_Create(CKeypadManager_Instance* instance, const char* text, KeypadUpdateTarget callback);
// The same for a newly focused field; the callback stays.
void CKeypadManager_HandleNextField(CKeypadManager_Instance* instance, const char* text);
// One key. Only digits and "." are taken as characters ("." is the decimal
// point, so a text holds at most one); a text of 20 characters takes no more,
// not even the sign. The callback hears the text after every event.
void CKeypadManager_HandleEvent(CKeypadManager_Instance* instance, CKeypadManager_Event event);
