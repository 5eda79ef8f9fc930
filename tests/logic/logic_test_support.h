// Shared by the sequence tests: short names for the registration record, the
// expected page, and checks on a fake platform.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

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

// The installed state: the key, the folder and the page in it.
inline void AddInstalled(fake::FakePlatform& run) {
  run.registry.AddKey(kHkeyCurrentUser, kKey);
  run.files.AddFolder(kFolder);
  run.files.AddFile(kPage, ExpectedPage());
}

inline std::vector<Text> MessageTexts(const fake::FakePlatform& run) {
  std::vector<Text> texts;
  for (const auto& message : run.ui.messages()) texts.push_back(message.text);
  return texts;
}

// Where `call` first appears in the journal; the journal's size when it never does.
inline std::size_t JournalIndex(const fake::FakePlatform& run, const std::string& call) {
  const auto found = std::find(run.journal.begin(), run.journal.end(), call);
  return static_cast<std::size_t>(found - run.journal.begin());
}

inline void ExpectOneMessage(const fake::FakePlatform& run, std::wstring_view text,
                             MessageIcon icon) {
  ASSERT_EQ(run.ui.messages().size(), 1u);
  EXPECT_EQ(run.ui.messages()[0].text, text);
  EXPECT_EQ(run.ui.messages()[0].icon, icon);
}

}  // namespace ruvo::testing_support
