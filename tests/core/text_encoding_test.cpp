#include "core/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace beatmarks {
namespace {

// Every name reaches JSON as a valid string: escapes where JSON needs them,
// well-formed UTF-8 kept, anything else one U+FFFD a byte.
TEST(TextEncoding, JsonStrings) {
  const struct {
    std::string text, json;
  } cases[] = {
      {"Bridge in three", "\"Bridge in three\""},
      {"Say \"hi\"\\", "\"Say \\\"hi\\\"\\\\\""},
      {std::string("a\0b\x1f\x7f", 5), "\"a\\u0000b\\u001f\\u007f\""},
      {"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5", "\"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5\""},
      {"Caf\xe9", "\"Caf\\ufffd\""},                    // Latin-1, as old MIDI markers are
      {"\xc0\x80", "\"\\ufffd\\ufffd\""},               // an overlong zero
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},    // a surrogate
      {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // past U+10FFFF
      {"\xe2\x82", "\"\\ufffd\\ufffd\""},               // cut short at the end
      {"\xe2\x82x", "\"\\ufffd\\ufffdx\""},             // cut short by an ASCII byte
  };
  for (const auto& c : cases) {
    std::string json;
    AppendJsonString(json, c.text);
    EXPECT_EQ(json, c.json);
  }
}

// A column of names is as wide as its characters: one a code point, one a
// stray byte.
TEST(TextEncoding, CharactersCounted) {
  const struct {
    std::string text;
    std::size_t count;
  } cases[] = {{"", 0}, {"Intro", 5}, {"Caf\xc3\xa9", 4}, {"\xf0\x9f\x8e\xb5!", 2},
               {"Caf\xe9", 4}, {"\xe2\x82", 2}};
  for (const auto& c : cases) EXPECT_EQ(CountCharacters(c.text), c.count) << c.text;
}

}  // namespace
}  // namespace beatmarks
