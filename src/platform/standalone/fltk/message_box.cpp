#include "platform/standalone/fltk/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "platform/standalone/fltk/widgets.h"

namespace ruvo::fltk {
namespace {

// Sizes in pixels, after the Windows message box.
constexpr int kMargin = 12;
constexpr int kSignToText = 12;
constexpr int kWidestText = 420;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr const char* kMessageBoxClass = "ruvo-linklens-message";

struct Geometry {
  int textX, textY, textW, textH;
  int buttonX, buttonY;
  int width, height;
};

Geometry Arrange(const std::string& text, const FltkFont& font) {
  fl_font(font.face, font.size);
  int textW = kWidestText;  // fl_measure wraps at this width and returns what it used
  int textH = 0;
  fl_measure(text.c_str(), textW, textH, 0);
  Geometry g{};
  g.textX = kMargin + MessageSign::kSize + kSignToText;
  g.textY = kMargin + std::max(0, (MessageSign::kSize - textH) / 2);
  g.textW = textW;
  g.textH = textH;
  g.width = std::max(g.textX + textW + kMargin, kButtonWidth + 2 * kMargin);
  const int contentBottom = std::max(kMargin + MessageSign::kSize, g.textY + textH);
  g.buttonX = (g.width - kButtonWidth) / 2;
  g.buttonY = contentBottom + kMargin + 4;
  g.height = g.buttonY + kButtonHeight + kMargin;
  return g;
}

class MessageBoxWindow {
 public:
  MessageBoxWindow(const MessageBoxContent& content, const FltkFont& font, const Geometry& g)
      : window_(g.width, g.height),
        sign_(kMargin, kMargin, content.icon),
        text_(g.textX, g.textY, g.textW, g.textH, content.text, TextBox::Lines::Wrapped),
        ok_(g.buttonX, g.buttonY, kButtonWidth, kButtonHeight) {
    window_.end();
    window_.copy_label(content.title.c_str());
    window_.xclass(kMessageBoxClass);
    window_.size_range(g.width, g.height, g.width, g.height);
    window_.set_modal();
    const Fl_Color face = window_.color();
    sign_.color(face);
    text_.color(face);
    text_.labelfont(font.face);
    text_.labelsize(font.size);
    text_.labelcolor(FL_BLACK);
    ok_.label("OK");
    ok_.labelfont(font.face);
    ok_.labelsize(font.size);
    ok_.callback(Dismiss, &window_);
  }

  void Run(Fl_Window* owner) {
    PlaceOver(owner);
    window_.show();
    ok_.take_focus();
    while (window_.shown()) Fl::wait();
  }

 private:
  void PlaceOver(Fl_Window* owner) {
    const bool overOwner = owner != nullptr && owner->shown();
    const int centreX = overOwner ? owner->x() + owner->w() / 2 : Fl::x() + Fl::w() / 2;
    const int centreY = overOwner ? owner->y() + owner->h() / 2 : Fl::y() + Fl::h() / 2;
    window_.position(std::max(0, centreX - window_.w() / 2),
                     std::max(0, centreY - window_.h() / 2));
  }

  static void Dismiss(Fl_Widget*, void* window) { static_cast<Fl_Window*>(window)->hide(); }

  Fl_Double_Window window_;
  MessageSign sign_;
  TextBox text_;
  PushButton ok_;
};

}  // namespace

void RunMessageBox(const MessageBoxContent& content, const FltkFont& font, Fl_Window* owner) {
  // Created while no other group is open, so the widgets land in this window.
  Fl_Group::current(nullptr);
  MessageBoxWindow box(content, font, Arrange(content.text, font));
  box.Run(owner);
}

}  // namespace ruvo::fltk
