// The window's two pictures, compiled into the program (program.cmake generates the
// byte arrays from src/window/images at build time).
#pragma once

#include <FL/Fl_JPEG_Image.H>
#include <FL/Fl_PNG_Image.H>

#include <cstddef>

namespace ruvo::fltk {

extern const unsigned char kBannerJpeg[];
extern const std::size_t kBannerJpegSize;
extern const unsigned char kPackagePng[];
extern const std::size_t kPackagePngSize;

// The decoded banner and the 48-pixel package-box icon. A picture that does not
// decode is reported on stderr and left empty: the window still works without it.
class EmbeddedImages {
 public:
  EmbeddedImages();
  EmbeddedImages(const EmbeddedImages&) = delete;
  EmbeddedImages& operator=(const EmbeddedImages&) = delete;

  // nullptr when the picture did not decode.
  const Fl_Image* Banner() const;
  const Fl_RGB_Image* PackageIcon() const;

 private:
  Fl_JPEG_Image banner_;
  Fl_PNG_Image packageIcon_;
};

}  // namespace ruvo::fltk
