#include "platform/standalone/fltk/images.h"

#include <cstdio>

namespace ruvo::fltk {
namespace {

constexpr const char* kBannerName = "banner.jpg";
constexpr const char* kPackageIconName = "package-48.png";

void ReportIfUndecoded(Fl_Image& image, const char* name) {
  if (image.fail() == 0 && image.w() > 0 && image.h() > 0) return;
  std::fprintf(stderr, "ruvo-linklens: the built-in picture %s could not be decoded (%d)\n", name,
               image.fail());
}

}  // namespace

EmbeddedImages::EmbeddedImages()
    : banner_(kBannerName, kBannerJpeg),
      packageIcon_(kPackageIconName, kPackagePng, static_cast<int>(kPackagePngSize)) {
  ReportIfUndecoded(banner_, kBannerName);
  ReportIfUndecoded(packageIcon_, kPackageIconName);
}

const Fl_Image* EmbeddedImages::Banner() const {
  return banner_.w() > 0 && banner_.h() > 0 ? &banner_ : nullptr;
}

const Fl_RGB_Image* EmbeddedImages::PackageIcon() const {
  return packageIcon_.w() > 0 && packageIcon_.h() > 0 ? &packageIcon_ : nullptr;
}

}  // namespace ruvo::fltk
