#include "window/layout.h"

#include <gtest/gtest.h>

#include <set>

namespace ruvo {
namespace {

TEST(LayoutTest, ConvertsTwipsAndPointsAsTheSystemRounds) {
  struct Case {
    int value;
    int dpi;
    int pixels;
  };
  // MulDiv rounds halves away from zero: 2153 twips is 143.53 pixels at 96 dpi.
  for (const Case& c : {Case{5640, 96, 376}, Case{3045, 96, 203}, Case{2153, 96, 144},
                        Case{8, 96, 1}, Case{7, 96, 0}, Case{5655, 96, 377}, Case{585, 96, 39},
                        Case{5640, 120, 470}, Case{3045, 144, 305}, Case{-8, 96, -1}}) {
    EXPECT_EQ(TwipsToPixels(c.value, c.dpi), c.pixels) << c.value << " twips at " << c.dpi;
  }
  EXPECT_EQ(FontPixelHeight(kTextLineFont, 96), 11);
  EXPECT_EQ(FontPixelHeight(kTextLineFont, 120), 14);  // 13.75
  EXPECT_EQ(FontPixelHeight(kTextLineFont, 144), 17);  // 16.5
  EXPECT_EQ(MulDivRounded(3, 1, -2), -2);
}

TEST(LayoutTest, FocusGoesToTheButtonFirstThenThePictureAreaOnly) {
  std::set<std::string_view> focusable;
  int lowestTab = 1000;
  std::string_view first;
  for (const ControlRecord& control : kControls) {
    if (!control.takesFocus) continue;
    focusable.insert(control.name);
    if (control.tabIndex < lowestTab) {
      lowestTab = control.tabIndex;
      first = control.name;
    }
  }
  EXPECT_EQ(focusable, (std::set<std::string_view>{"ActionButton", "RuvoImage"}));
  EXPECT_EQ(first, "ActionButton");
  EXPECT_EQ(kControls[0].name, "RuvoImage") << "creation order starts with the picture area";
}

TEST(LayoutTest, ButtonIsCentredAndThePictureOverhangsTheClientArea) {
  // The committed banner's size in pixels, which check-images.sh holds the file to.
  constexpr int kBannerWidth = 377, kBannerHeight = 41;
  const ControlRecord& button = kControls[kActionButtonIndex];
  EXPECT_EQ(button.rect.left, (kMainWindow.clientWidth - button.rect.width + 1) / 2);
  EXPECT_EQ(kMainWindow.clientHeight - (button.rect.top + button.rect.height), 270);
  EXPECT_EQ(button.font, nullptr) << "the button starts in the window's font";
  const ControlRecord& picture = kControls[kPictureAreaIndex];
  EXPECT_EQ(picture.rect.left + picture.rect.width - kMainWindow.clientWidth, 23);
  EXPECT_EQ(TwipsToPixels(picture.rect.width, 96), kBannerWidth);
  EXPECT_LT(TwipsToPixels(picture.rect.height, 96), kBannerHeight) << "banner is clipped";
  const ControlRecord& line = kControls[ControlIndex("Line1")];
  EXPECT_EQ(line.rect.top, picture.rect.top + picture.rect.height + 15);
  EXPECT_EQ(ControlIndex("Nothing"), std::size(kControls));
}

}  // namespace
}  // namespace ruvo
