// The keypad's editing: key sequences from a selected field to the text.
#include "keypad.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Seen {
  std::string text;
  bool select = false;
  int calls = 0;
};
Seen seen;

void target(const char* text, bool select) {
  seen.text = text;
  seen.select = select;
  ++seen.calls;
}

// One key of a sequence: a character is a key of the pad (digits and "."
// as typed characters), the others are the pad's function keys.
CKeypadManager_Event key(char k) {
  switch (k) {
    case 'C': return {evClear, '\0'};
    case 'S': return {evSign, '\0'};
    case 'D': return {evDecimal, '\0'};
    case 'B': return {evBackSp, '\0'};
    default: return {evAddChar, k};
  }
}

struct Case {
  const char* start;
  const char* keys;
  const char* text;
  enKeypadState state;
};

TEST(KeypadTest, KeySequencesGiveTheText) {
  const Case cases[] = {
      {"12.5", "3D7", "3.7", keyPadFloat},
      {"12.5", "3D7D", "3.7", keyPadFloat},       // a second decimal key is ignored
      {"12.5", "3.7.", "3.7", keyPadFloat},       // so is a second typed "."
      {"12.5", "1.2.3", "1.23", keyPadFloat},     // "1.2.3" cannot be made
      {"12.5", "3D7BB", "3", keyPadInteger},      // removing the point goes back to integer entry
      {"12.5", "3D7BB4", "34", keyPadInteger},
      {"12.5", "S", "-12.5", keyPadSelected},      // the sign toggles the selected text
      {"-12.5", "S", "12.5", keyPadSelected},
      {"12.5", "5S", "-5", keyPadInteger},
      {"12.5", "5SS", "5", keyPadInteger},
      {"12.5", "B", "", keyPadInteger},           // backspace on a selected text clears it
      {"12.5", "D5", ".5", keyPadFloat},
      {"12.5", ".5", ".5", keyPadFloat},
      {"12.5", "9C", "", keyPadInteger},
      {"12.5", "C7", "7", keyPadInteger},
      {"12.5", "C.", ".", keyPadFloat},
      {"12.5", "a", "12.5", keyPadSelected},      // not a key of the pad
      {"12.5", "1x+e2", "12", keyPadInteger},
      {"", "BBB", "", keyPadInteger},
      {"7", "5DB", "5", keyPadInteger},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " + " + c.keys);
    CKeypadManager_Instance sut;
    CKeypadManager_Create(&sut, c.start, target);
    for (const char* k = c.keys; *k != '\0'; ++k) CKeypadManager_HandleEvent(&sut, key(*k));
    EXPECT_EQ(sut.targetText.data(), std::string(c.text));
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(sut.state, c.state);
    EXPECT_EQ(seen.select, c.state == keyPadSelected);
  }
}

TEST(KeypadTest, TheCallbackHearsEveryEventAndSelectsOnlyANewField) {
  CKeypadManager_Instance sut;
  seen = {};
  CKeypadManager_Create(&sut, "42", target);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_TRUE(seen.select);
  EXPECT_EQ(seen.text, "42");
  CKeypadManager_HandleEvent(&sut, key('1'));
  CKeypadManager_HandleEvent(&sut, key('D'));
  CKeypadManager_HandleEvent(&sut, key('D'));  // ignored, but still reported
  EXPECT_EQ(seen.calls, 4);
  EXPECT_FALSE(seen.select);
  CKeypadManager_HandleNextField(&sut, "0.25");
  EXPECT_EQ(seen.calls, 5);
  EXPECT_TRUE(seen.select);
  EXPECT_EQ(seen.text, "0.25");
  EXPECT_EQ(sut.state, keyPadSelected);
}

TEST(KeypadTest, TwentyCharactersAreTheLimit) {
  const std::string twenty(20, '9');
  CKeypadManager_Instance sut;
  CKeypadManager_Create(&sut, (twenty + "12345").c_str(), target);
  EXPECT_EQ(sut.targetText.data(), twenty);  // a longer text is cut

  CKeypadManager_HandleEvent(&sut, key('C'));
  for (int i = 0; i < 25; ++i) CKeypadManager_HandleEvent(&sut, key('8'));
  EXPECT_EQ(sut.targetText.data(), std::string(20, '8'));
  CKeypadManager_HandleEvent(&sut, key('D'));
  EXPECT_EQ(sut.targetText.data(), std::string(20, '8'));
  EXPECT_EQ(sut.state, keyPadInteger);
  // The sign would be a 21st character: refused, the text stays whole.
  CKeypadManager_HandleEvent(&sut, key('S'));
  EXPECT_EQ(sut.targetText.data(), std::string(20, '8'));
  EXPECT_EQ(sut.targetText[20], '\0');

  // A negative full text can still lose its sign.
  CKeypadManager_HandleNextField(&sut, ("-" + std::string(19, '1')).c_str());
  CKeypadManager_HandleEvent(&sut, key('S'));
  EXPECT_EQ(sut.targetText.data(), std::string(19, '1'));
  CKeypadManager_HandleEvent(&sut, key('S'));
  EXPECT_EQ(sut.targetText.data(), "-" + std::string(19, '1'));
}

TEST(KeypadTest, ANullTextOrCallbackIsHarmless) {
  CKeypadManager_Instance sut;
  CKeypadManager_Create(&sut, nullptr, nullptr);
  CKeypadManager_HandleEvent(&sut, key('5'));
  EXPECT_EQ(sut.targetText.data(), std::string("5"));
}

}  // namespace
