// Keypad editing: a small state machine over one text field.
#include "keypad.h"

#include <cstring>
#include <string_view>

#include "text_field.h"

namespace {

std::size_t textLength(const CKeypadManager_Instance& k) { return TextField_view(k.targetText).size(); }

void setText(CKeypadManager_Instance& k, std::string_view text) { TextField_copy(k.targetText, text); }

void append(CKeypadManager_Instance& k, char c) {
  const std::size_t length = textLength(k);
  if (length >= static_cast<std::size_t>(kKeypadMaxText)) return;
  k.targetText[length] = c;
  k.targetText[length + 1] = '\0';
}

void toggleSign(CKeypadManager_Instance& k) {
  const std::size_t length = textLength(k);
  char* text = k.targetText.data();
  if (length > 0 && text[0] == '-') {
    std::memmove(text, text + 1, length);  // moves the terminator too
    return;
  }
  // A full field cannot take the sign without losing its last character.
  if (length >= static_cast<std::size_t>(kKeypadMaxText)) return;
  std::memmove(text + 1, text, length + 1);
  text[0] = '-';
}

void backspace(CKeypadManager_Instance& k) {
  const std::size_t length = textLength(k);
  if (length == 0) return;
  const char removed = k.targetText[length - 1];
  k.targetText[length - 1] = '\0';
  if (removed == '.') k.state = keyPadInteger;
}

void decimalPoint(CKeypadManager_Instance& k) {
  switch (k.state) {
    case keyPadSelected:
      setText(k, ".");
      k.state = keyPadFloat;
      break;
    case keyPadInteger:
      if (textLength(k) < static_cast<std::size_t>(kKeypadMaxText)) {
        append(k, '.');
        k.state = keyPadFloat;
      }
      break;
    case keyPadFloat:
      break;  // one decimal point only
  }
}

void addChar(CKeypadManager_Instance& k, char c) {
  if (c == '.') {
    decimalPoint(k);
    return;
  }
  if (c < '0' || c > '9') return;
  if (k.state == keyPadSelected) {
    const char text[2] = {c, '\0'};
    setText(k, text);
    k.state = keyPadInteger;
    return;
  }
  append(k, c);
}

void notify(const CKeypadManager_Instance& k) {
  if (k.pUpdateTarget != nullptr) k.pUpdateTarget(k.targetText.data(), k.state == keyPadSelected);
}

}  // namespace

void CKeypadManager_Create(CKeypadManager_Instance* instance, const char* text, KeypadUpdateTarget callback) {
  instance->pUpdateTarget = callback;
  CKeypadManager_HandleNextField(instance, text);
}

void CKeypadManager_HandleNextField(CKeypadManager_Instance* instance, const char* text) {
  instance->state = keyPadSelected;
  setText(*instance, text != nullptr ? text : "");
  notify(*instance);
}

void CKeypadManager_HandleEvent(CKeypadManager_Instance* instance, CKeypadManager_Event event) {
  CKeypadManager_Instance& k = *instance;
  switch (event.eventID) {
    case evClear:
      setText(k, "");
      k.state = keyPadInteger;
      break;
    case evSign:
      toggleSign(k);
      break;
    case evAddChar:
      addChar(k, event.data);
      break;
    case evDecimal:
      decimalPoint(k);
      break;
    case evBackSp:
      if (k.state == keyPadSelected) {
        setText(k, "");
        k.state = keyPadInteger;
      } else {
        backspace(k);
      }
      break;
  }
  notify(k);
}
