#include "platform/standalone/fltk/look.h"

#include <FL/Fl.H>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "platform/text.h"

namespace ruvo::fltk {
namespace {

constexpr int kDefaultDpi = 96;
// Anything outside this range is a display reporting nonsense (a 0 mm screen, say).
constexpr int kLowestDpi = 48;
constexpr int kHighestDpi = 960;

// Faces to use where a Windows face is missing, best first, in lower case. The text
// lines were measured for MS Sans Serif, which is narrower than most sans faces at
// the same size: Liberation Sans Narrow (fonts-liberation) keeps every line whole,
// where Liberation Sans or DejaVu Sans would cut the longer lines short.
struct FaceSubstitutes {
  std::string_view face;
  std::array<std::string_view, 3> candidates;
  Fl_Font lastResort;
};

constexpr FaceSubstitutes kSubstitutes[] = {
    {"ms sans serif",
     {"microsoft sans serif", "liberation sans narrow", "dejavu sans condensed"},
     FL_HELVETICA},
    // Message boxes use the system's message font.
    {"tahoma", {"liberation sans", "dejavu sans", "arimo"}, FL_HELVETICA},
    // Only the button shows it, and only until the window loads: a fixed-width face
    // makes a missed switch to "MS Sans Serif" plain to see.
    {"comic sans ms", {"comic neue", "comic relief", "comic sans"}, FL_COURIER},
};

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

Fl_Color FltkColour(SystemColour colour) {
  switch (colour) {
    case SystemColour::Window:
      return fl_rgb_color(0xFF, 0xFF, 0xFF);
    case SystemColour::WindowText:
    case SystemColour::ButtonText:
      return fl_rgb_color(0x00, 0x00, 0x00);
    case SystemColour::ActiveBorder:
      return fl_rgb_color(0xB4, 0xB4, 0xB4);
    case SystemColour::ButtonFace:
      return fl_rgb_color(0xF0, 0xF0, 0xF0);
  }
  return fl_rgb_color(0xF0, 0xF0, 0xF0);
}

int ScreenDpi() {
  float horizontal = 0;
  float vertical = 0;
  Fl::screen_dpi(horizontal, vertical);
  const long dpi = std::lround(horizontal);
  return dpi >= kLowestDpi && dpi <= kHighestDpi ? static_cast<int>(dpi) : kDefaultDpi;
}

FltkFonts::FltkFonts() {
  const Fl_Font count = Fl::set_fonts(nullptr);
  for (Fl_Font font = 0; font < count; ++font) {
    int attributes = 0;
    const char* name = Fl::get_font_name(font, &attributes);
    if (name != nullptr && attributes == 0) regularFaces_.emplace(Lowered(name), font);
  }
}

Fl_Font FltkFonts::ForFace(std::wstring_view face) const {
  const std::string name = Lowered(ToUtf8(face));
  if (const Fl_Font* found = Find(name)) return *found;
  for (const FaceSubstitutes& substitutes : kSubstitutes) {
    if (name != substitutes.face) continue;
    for (const std::string_view candidate : substitutes.candidates) {
      if (const Fl_Font* found = Find(std::string(candidate))) return *found;
    }
    return substitutes.lastResort;
  }
  return FL_HELVETICA;
}

const Fl_Font* FltkFonts::Find(const std::string& loweredName) const {
  const auto found = regularFaces_.find(loweredName);
  return found != regularFaces_.end() ? &found->second : nullptr;
}

FltkFont ToFltkFont(const FltkFonts& fonts, const FontRecord& font, int dpi) {
  return {fonts.ForFace(font.face), FontPixelHeight(font, dpi)};
}

FltkFont MessageBoxFont(const FltkFonts& fonts, int dpi) {
  return {fonts.ForFace(L"Tahoma"), FontPixelHeight(kTextLineFont, dpi)};
}

}  // namespace ruvo::fltk
