// The answers typed at the prompts, read from one stream of items.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "console/prompt_number.h"
#include "terminal/input.h"

namespace beatmarks {
namespace {

// Puts a typed text in place of standard input for one test.
class Typed {
 public:
  explicit Typed(std::string text) : input_(std::move(text)) { SetTerminalInput(&input_); }
  ~Typed() { SetTerminalInput(nullptr); }
  std::string NextWord() {
    std::array<char, 128> word{};
    return ReadWord(input_, word) == WordStatus::kRead ? word.data() : "<none>";
  }

 private:
  Input input_;
};

template <class T>
std::optional<T> Answer(std::optional<T> (*prompt)(const char*)) {
  ::testing::internal::CaptureStdout();
  std::optional<T> value = prompt("Prompt\n");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Prompt\n");
  return value;
}

TEST(PromptForInteger, LeavesWhatIsNotANumber) {
  struct Case {
    const char* typed;
    std::optional<std::int32_t> value;
    const char* next;
  };
  const Case cases[] = {
      {"12abc p", 12, "abc"},   {"abc p", std::nullopt, "abc"}, {"0x7d00\np", 32000, "p"},
      {"0x q", 0, "x"},         {"-5 q", -5, "q"},                {"", std::nullopt, "<none>"},
      {"+ q", std::nullopt, "+"}, {"017 q", 15, "q"},
  };
  for (const Case& c : cases) {
    Typed typed(c.typed);
    EXPECT_EQ(Answer(PromptForInteger), c.value) << c.typed;
    EXPECT_EQ(typed.NextWord(), c.next) << c.typed;
  }
}

TEST(PromptForDecimal, LeavesWhatIsNotANumber) {
  struct Case {
    const char* typed;
    std::optional<float> value;
    const char* next;
  };
  const Case cases[] = {
      {"96.5 q", 96.5f, "q"}, {"1e q", 1.0f, "e"}, {"inf q", std::nullopt, "inf"},
      {"5.p", 5.0f, "p"},     {".5", 0.5f, "<none>"}, {"- 3", std::nullopt, "-"},
  };
  for (const Case& c : cases) {
    Typed typed(c.typed);
    EXPECT_EQ(Answer(PromptForDecimal), c.value) << c.typed;
    EXPECT_EQ(typed.NextWord(), c.next) << c.typed;
  }
}

TEST(ReadWord, WordsAreReadWholeAndStoredOnlyWhenTheyFit) {
  Input input(std::string("seven77 eight888\tx") + '\0' + "y " + std::string(200, 'n'));
  std::array<char, 8> word{};
  EXPECT_EQ(ReadWord(input, word), WordStatus::kRead);
  EXPECT_STREQ(word.data(), "seven77");
  EXPECT_EQ(ReadWord(input, word), WordStatus::kTooLong);
  EXPECT_STREQ(word.data(), "seven77");
  EXPECT_EQ(ReadWord(input, word), WordStatus::kRead);
  EXPECT_STREQ(word.data(), "x");
  EXPECT_EQ(ReadWord(input, word), WordStatus::kRead);  // a zero byte separates words
  EXPECT_STREQ(word.data(), "y");
  EXPECT_EQ(ReadWord(input, word), WordStatus::kTooLong);
  EXPECT_EQ(ReadWord(input, word), WordStatus::kEnded);
}

}  // namespace
}  // namespace beatmarks
