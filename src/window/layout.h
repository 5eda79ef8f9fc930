// The installer window as a table: its frame and every control, in twips
// (1/1440 inch) from the client area's top-left corner. Both backends build the
// window from these records and nothing else.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

#include "registration/messages.h"

namespace ruvo {

// Windows system colour indexes (COLOR_*); each backend maps them to real colours.
enum class SystemColour : int {
  Window = 5,         // COLOR_WINDOW
  WindowText = 8,     // COLOR_WINDOWTEXT
  ActiveBorder = 10,  // COLOR_ACTIVEBORDER
  ButtonFace = 15,    // COLOR_BTNFACE
  ButtonText = 18,    // COLOR_BTNTEXT
};

struct FontRecord {
  std::wstring_view face;
  int hundredthsOfPoint;  // 825 is 8.25 pt
  int weight;             // 400 is normal
  int charset;            // 0 is ANSI_CHARSET
  bool italic;
  bool underline;
  bool strikeout;
};

inline constexpr FontRecord kWindowFont{L"Comic Sans MS", 825, 400, 0, false, false, false};
inline constexpr FontRecord kTextLineFont{L"MS Sans Serif", 825, 400, 0, false, false, false};

enum class ControlKind {
  PictureArea,  // shows the banner at its natural size, clipped
  PushButton,
  StraightLine,  // from (left, top) to (left + width, top + height)
  TextLine,      // single line, left-aligned, no wrap, opaque
};

struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

inline constexpr int kNoTabIndex = -1;

struct ControlRecord {
  std::string_view name;
  ControlKind kind;
  TwipsRect rect;
  int tabIndex;
  bool takesFocus;
  std::wstring_view text;
  const FontRecord* font;  // nullptr: the control takes the window's font
  SystemColour background;
  SystemColour foreground;
};

struct WindowRecord {
  std::wstring_view caption;
  int clientWidth;  // twips
  int clientHeight;
  const FontRecord* font;
  SystemColour background;
};

inline constexpr WindowRecord kMainWindow{kApplicationTitle, 5640, 3045, &kWindowFont,
                                          SystemColour::ButtonFace};

// In creation order. The button is first in the focus order, the picture area last;
// the text lines carry tab indexes but never take the focus. The picture area's text
// is never drawn: it is the banner's words, the name a screen reader says when the
// area takes the focus.
// clang-format off
inline constexpr ControlRecord kControls[] = {
    {"RuvoImage", ControlKind::PictureArea, {8, 0, 5655, 585}, 6, true,
     L"ruvo LinkLens Plugin Installer", nullptr, SystemColour::Window, SystemColour::WindowText},
    {"ActionButton", ControlKind::PushButton, {2153, 2400, 1335, 375}, 0, true, L"", nullptr,
     SystemColour::ButtonFace, SystemColour::ButtonText},
    {"Line1", ControlKind::StraightLine, {0, 600, 5640, 0}, kNoTabIndex, false, L"", nullptr,
     SystemColour::ActiveBorder, SystemColour::ActiveBorder},
    {"Label1", ControlKind::TextLine, {353, 840, 4935, 255}, 5, false,
     L"This exe, when installed in Internet Explorer 5.5 and above will let you", &kTextLineFont,
     SystemColour::ButtonFace, SystemColour::ButtonText},
    {"Label2", ControlKind::TextLine, {353, 1080, 4815, 255}, 4, false,
     L"have the option of opening/editing document, spreadsheet and", &kTextLineFont,
     SystemColour::ButtonFace, SystemColour::ButtonText},
    {"Label3", ControlKind::TextLine, {353, 1320, 4815, 255}, 3, false,
     L"presentation files on a web page in the browser itself. The extension", &kTextLineFont,
     SystemColour::ButtonFace, SystemColour::ButtonText},
    {"Label4", ControlKind::TextLine, {353, 1560, 4815, 255}, 2, false,
     L"works for .doc, .rtf, .sxw, .odt for documents, .xls, .sxc, .csv for", &kTextLineFont,
     SystemColour::ButtonFace, SystemColour::ButtonText},
    {"Label5", ControlKind::TextLine, {353, 1800, 4815, 255}, 1, false,
     L"spreadsheets and .pps, .ppt, .sxi for presentations. ", &kTextLineFont,
     SystemColour::ButtonFace, SystemColour::ButtonText},
};
// clang-format on

inline constexpr std::string_view kActionButtonName = "ActionButton";
inline constexpr std::string_view kPictureAreaName = "RuvoImage";

// The dots per inch the pictures are drawn for: at another DPI they are scaled.
inline constexpr int kDesignDpi = 96;

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kPointsPerInch = 72;

// Rounds as the system's MulDiv does: to nearest, halves away from zero.
int MulDivRounded(int number, int numerator, int denominator);
int TwipsToPixels(int twips, int dpi);

// A control's place in pixels at `dpi`, as both windows use it: each edge converted
// on its own (so neighbouring controls keep their overlaps and gaps), and a straight
// line one pixel thick whatever the DPI.
struct PixelRect {
  int x;
  int y;
  int width;
  int height;
};
PixelRect PixelBounds(const ControlRecord& control, int dpi);
// Character height in pixels for a font size at `dpi`; the Win32 backend passes its
// negation as LOGFONT's lfHeight.
int FontPixelHeight(const FontRecord& font, int dpi);

// The place of the control called `name` in kControls; the table's size when there
// is none. Lookups of the table's own names are checked when the program is built.
constexpr std::size_t ControlIndex(std::string_view name) {
  std::size_t index = 0;
  while (index < std::size(kControls) && kControls[index].name != name) ++index;
  return index;
}

inline constexpr std::size_t kActionButtonIndex = ControlIndex(kActionButtonName);
inline constexpr std::size_t kPictureAreaIndex = ControlIndex(kPictureAreaName);
static_assert(kActionButtonIndex < std::size(kControls) &&
                  kControls[kActionButtonIndex].kind == ControlKind::PushButton,
              "the layout has no ActionButton push button");
static_assert(kPictureAreaIndex < std::size(kControls), "the layout has no RuvoImage");

}  // namespace ruvo
