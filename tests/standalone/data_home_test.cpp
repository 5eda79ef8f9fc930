#include <sys/stat.h>

#include "platform/standalone/data_home.h"
#include "standalone_test_support.h"

namespace ruvo::standalone_test {
namespace {

TEST(DataHome, FollowsXdgDataHomeOrFallsBackToTheHomeFolder) {
  struct Case {
    const char* name;
    std::optional<std::string> xdgDataHome;
    std::string expected;
  };
  const Case cases[] = {
      {"absolute XDG_DATA_HOME", "/srv/data", "/srv/data/ruvo-linklens"},
      {"trailing slash", "/srv/data/", "/srv/data/ruvo-linklens"},
      {"unset", std::nullopt, "/home/tester/.local/share/ruvo-linklens"},
      {"empty counts as unset", "", "/home/tester/.local/share/ruvo-linklens"},
      {"relative counts as unset", "data", "/home/tester/.local/share/ruvo-linklens"},
  };
  ScopedEnvironment home("HOME", "/home/tester");
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedEnvironment xdg("XDG_DATA_HOME", test.xdgDataHome);
    const std::filesystem::path expected(test.expected);
    EXPECT_EQ(RegistryStoreFile().lexically_normal(), expected / "registry.sqlite3");
    EXPECT_EQ(DriveCFolder().lexically_normal(), expected / "drive_c");
  }
}

TEST(DataHome, WithoutHomeTheUserDatabaseNamesTheHomeFolder) {
  ScopedEnvironment xdg("XDG_DATA_HOME", std::nullopt);
  ScopedEnvironment home("HOME", std::nullopt);
  const std::filesystem::path folder = RegistryStoreFile().parent_path();
  EXPECT_TRUE(folder.is_absolute()) << folder;
  EXPECT_EQ(folder.filename(), "ruvo-linklens");
}

TEST(DataHome, MissingFoldersAreCreatedPrivateToTheUserAndAFileInTheWayIsReported) {
  TemporaryFolder temporary;
  const std::filesystem::path deep = temporary.path() / "a" / "b" / "c";
  CreatePrivateFolders(deep);
  CreatePrivateFolders(deep);  // existing folders are no failure
  for (const auto& folder : {temporary.path() / "a", temporary.path() / "a" / "b", deep}) {
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0) << folder;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  }
  WriteBytes(deep / "file", "x");
  for (const auto& folder : {deep / "file", deep / "file" / "sub"}) {
    EXPECT_THROW(CreatePrivateFolders(folder), std::filesystem::filesystem_error) << folder;
  }
}

}  // namespace
}  // namespace ruvo::standalone_test
