#include "window/layout.h"

#include <cstdint>
#include <cstdlib>

namespace ruvo {

int MulDivRounded(int number, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  const std::int64_t half = std::llabs(denominator) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const std::int64_t magnitude = (std::llabs(product) + half) / std::llabs(denominator);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

int TwipsToPixels(int twips, int dpi) {
  return MulDivRounded(twips, dpi, kTwipsPerInch);
}

PixelRect PixelBounds(const ControlRecord& control, int dpi) {
  const TwipsRect& twips = control.rect;
  const int left = TwipsToPixels(twips.left, dpi);
  const int top = TwipsToPixels(twips.top, dpi);
  PixelRect bounds{left, top, TwipsToPixels(twips.left + twips.width, dpi) - left,
                   TwipsToPixels(twips.top + twips.height, dpi) - top};
  if (control.kind == ControlKind::StraightLine) {
    if (bounds.height == 0) bounds.height = 1;
    if (bounds.width == 0) bounds.width = 1;
  }
  return bounds;
}

int FontPixelHeight(const FontRecord& font, int dpi) {
  return MulDivRounded(font.hundredthsOfPoint, dpi, kPointsPerInch * 100);
}

}  // namespace ruvo
