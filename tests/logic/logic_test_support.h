// Shared set-up for the sequence tests: a fake platform and short names for the
// registration record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "fake_platform.h"
#include "registration/messages.h"
#include "registration/record.h"

namespace ruvo::testing_support {

inline const Text kKey{kExtensionKeyPath};
inline const Text kPage{kHandlerPagePath};
inline const Text kFolder{kInstallFolderPath};
inline const Text kKeyName =
    L"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt\\Open with Ruvo "
    L"Office Suite";

// The expected page with the default addresses, each put in its configured place.
inline std::string ExpectedPage() {
  std::ifstream in(RUVO_TEST_DATA_DIR "/expected_ruvo.htm", std::ios::binary);
  std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::istringstream swaps(RUVO_TEST_ADDRESS_SWAPS);
  std::string from, to;
  while (swaps >> from >> to) {
    const std::string quoted = "'" + from + "/";  // as the page quotes an address
    for (std::size_t at = page.find(quoted); at != std::string::npos;
         at = page.find(quoted, at + to.size())) {
      page.replace(at + 1, from.size(), to);
    }
  }
  return page;
}

inline std::vector<std::uint8_t> UrlBytesWithZero() {
  std::vector<std::uint8_t> bytes(kHandlerPageUrl.begin(), kHandlerPageUrl.end());
  bytes.push_back(0);
  return bytes;
}

class SequenceTest : public ::testing::Test {
 protected:
  fake::FakePlatform fake;

  void Install() {
    fake.registry.AddKey(kHkeyCurrentUser, kKey);
    fake.files.AddFolder(kFolder);
    fake.files.AddFile(kPage, ExpectedPage());
  }

  std::vector<Text> MessageTexts() const {
    std::vector<Text> texts;
    for (const auto& message : fake.ui.messages()) texts.push_back(message.text);
    return texts;
  }

  std::size_t JournalIndex(const std::string& call) const {
    const auto found = std::find(fake.journal.begin(), fake.journal.end(), call);
    return static_cast<std::size_t>(found - fake.journal.begin());
  }

  void ExpectOneMessage(std::wstring_view text, MessageIcon icon) const {
    ASSERT_EQ(fake.ui.messages().size(), 1u);
    EXPECT_EQ(fake.ui.messages()[0].text, text);
    EXPECT_EQ(fake.ui.messages()[0].icon, icon);
  }
};

}  // namespace ruvo::testing_support
