#include "platform/text.h"

#include <gtest/gtest.h>

namespace ruvo {
namespace {

TEST(TextTest, RoundTripsEveryPlane) {
  const std::wstring samples[] = {L"",         L"RUVO LinkLens",  L"caf\u00e9",
                                  L"\u20ac 5", L"\U0001F4E6 box", L"c:\\Program Files\\ruvo"};
  for (const std::wstring& sample : samples) {
    EXPECT_EQ(FromUtf8(ToUtf8(sample)), sample);
  }
  EXPECT_EQ(ToUtf8(L"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(ToUtf8(L"\U0001F4E6"), "\xF0\x9F\x93\xA6");
}

TEST(TextTest, MalformedUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string bytes;
    std::wstring text;
  };
  const Case cases[] = {
      {"a\xFF"
       "b",
       L"a\uFFFDb"},                            // never a lead byte
      {"\xC3", L"\uFFFD"},                      // cut short
      {"\xC0\xAF", L"\uFFFD\uFFFD"},            // overlong slash
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},  // a surrogate
      {"\xE2\x82", L"\uFFFD\uFFFD"},            // cut short inside
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FromUtf8(c.bytes), c.text);
  }
}

}  // namespace
}  // namespace ruvo
