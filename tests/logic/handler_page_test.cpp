#include "handler_page/handler_page.h"

#include "logic_test_support.h"

namespace ruvo {
namespace {

using namespace testing_support;

TEST(HandlerPageTest, WrittenPageMatchesTheExpectedBytesExactly) {
  fake::FakePlatform run;
  ASSERT_TRUE(WriteHandlerPage(run.files).ok());
  const std::string page = run.files.FileBytes(kPage);
  const std::string expected = ExpectedPage();
  ASSERT_FALSE(expected.empty()) << "expected page missing from the test data";
  EXPECT_EQ(page, expected);

  // Structural checks that say what is wrong when the bytes differ.
  EXPECT_NE(page.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no byte-order mark";
  std::size_t lineEnds = 0;
  for (std::size_t at = page.find("\r\n"); at != std::string::npos;
       at = page.find("\r\n", at + 2)) {
    ++lineEnds;
  }
  EXPECT_EQ(lineEnds, 52u);
  EXPECT_EQ(page.find('\n'), page.find("\r\n") + 1);
  EXPECT_EQ(page.substr(page.size() - 9), "</html>\r\n");
  EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), 52);
  EXPECT_TRUE(std::all_of(page.begin(), page.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
}

TEST(HandlerPageTest, RewritingReplacesThePageAndAnExistingFolderIsNoFailure) {
  fake::FakePlatform run;
  run.files.AddFolder(kFolder);
  run.files.AddFile(kPage, std::string(5000, 'x'));
  EXPECT_TRUE(WriteHandlerPage(run.files).ok());
  EXPECT_EQ(run.files.FileBytes(kPage), ExpectedPage());
}

TEST(HandlerPageTest, AFolderThatCannotBeMadeIsIgnoredButAFailedWriteIsReported) {
  fake::FakePlatform run;
  run.files.FailNext("MakeFolder", FileFailure::Other, 5, L"Access is denied.");
  const FileResult written = WriteHandlerPage(run.files);
  ASSERT_FALSE(written.ok()) << "writing into a missing folder must fail";
  EXPECT_EQ(written.failure(), FileFailure::NotFound);
  EXPECT_EQ(written.reason(), L"The system cannot find the path specified.");
  EXPECT_FALSE(run.files.HasFile(kPage));
}

}  // namespace
}  // namespace ruvo
