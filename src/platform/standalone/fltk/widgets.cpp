#include "platform/standalone/fltk/widgets.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <utility>

namespace ruvo::fltk {
namespace {

// The clip region a widget draws inside, for the length of one draw().
class ClipTo {
 public:
  explicit ClipTo(const Fl_Widget& widget) {
    fl_push_clip(widget.x(), widget.y(), widget.w(), widget.h());
  }
  ~ClipTo() { fl_pop_clip(); }
  ClipTo(const ClipTo&) = delete;
  ClipTo& operator=(const ClipTo&) = delete;
};

void FillBackground(const Fl_Widget& widget) {
  fl_color(widget.color());
  fl_rectf(widget.x(), widget.y(), widget.w(), widget.h());
}

bool IsEnterKey(int key) {
  return key == FL_Enter || key == FL_KP_Enter;
}

constexpr int kModifierKeys = FL_SHIFT | FL_CTRL | FL_ALT | FL_META;

}  // namespace

PictureArea::PictureArea(int x, int y, int w, int h, const Fl_Image* picture)
    : Fl_Widget(x, y, w, h), picture_(picture) {}

int PictureArea::handle(int event) {
  // Accepting the focus is all it does; Tab then reaches the window's navigation.
  if (event == FL_FOCUS || event == FL_UNFOCUS) return 1;
  // FLTK turns an Enter that nobody takes into a move to the next control; on the
  // picture area Enter does nothing, so it is taken here.
  if (event == FL_KEYBOARD && IsEnterKey(Fl::event_key())) return 1;
  return 0;
}

void PictureArea::draw() {
  ClipTo clip(*this);
  FillBackground(*this);
  // Fl_Image::draw is not const in FLTK 1.3; drawing does not change the picture.
  if (picture_ != nullptr) const_cast<Fl_Image*>(picture_)->draw(x(), y());
}

PushButton::PushButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {}

int PushButton::handle(int event) {
  if (event == FL_KEYBOARD && Fl::focus() == this && IsEnterKey(Fl::event_key()) &&
      (Fl::event_state() & kModifierKeys) == 0) {
    do_callback();
    return 1;
  }
  return Fl_Button::handle(event);
}

TextBox::TextBox(int x, int y, int w, int h, std::string text)
    : Fl_Widget(x, y, w, h), text_(std::move(text)) {}

void TextBox::draw() {
  ClipTo clip(*this);
  FillBackground(*this);
  fl_font(labelfont(), labelsize());
  fl_color(labelcolor());
  // The first baseline lies one line height less the descent below the top.
  fl_draw(text_.c_str(), x(), y(), w(), h(), FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE, nullptr, 0);
}

}  // namespace ruvo::fltk
