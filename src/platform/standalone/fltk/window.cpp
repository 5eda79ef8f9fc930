#include "platform/standalone/fltk/window.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/standalone/x11/window_hints.h"
#include "platform/text.h"

namespace ruvo::fltk {
namespace {

std::string Utf8(std::wstring_view text) {
  return ToUtf8(std::wstring(text));
}

}  // namespace

FltkMainWindow::FltkMainWindow(const FltkFonts& fonts, int dpi, const Fl_Image* banner,
                               const Fl_RGB_Image* icon)
    : fonts_(fonts),
      dpi_(dpi),
      banner_(banner),
      window_(TwipsToPixels(kMainWindow.clientWidth, dpi),
              TwipsToPixels(kMainWindow.clientHeight, dpi)) {
  window_.copy_label(Utf8(kMainWindow.caption).c_str());
  window_.xclass("ruvo-linklens");
  window_.color(FltkColour(kMainWindow.background));
  // A fixed single border: the smallest and largest size are the one size.
  window_.size_range(window_.w(), window_.h(), window_.w(), window_.h());
  if (icon != nullptr) window_.icon(icon);  // FLTK keeps its own copy
  window_.callback(CloseRequested, this);

  std::vector<Focusable> focusable;
  window_.begin();
  for (const ControlRecord& control : kControls) {
    Fl_Widget& widget = AddControl(control);
    if (control.takesFocus) {
      focusable.push_back({control.tabIndex, &widget});
    } else {
      widget.clear_visible_focus();  // FLTK gives the focus only to widgets with this flag
    }
  }
  window_.end();
  if (actionButton_ == nullptr) {
    throw std::logic_error("the layout table has no " + std::string(kActionButtonName));
  }
  ArrangeFocusOrder(std::move(focusable));
}

Fl_Widget& FltkMainWindow::AddControl(const ControlRecord& control) {
  switch (control.kind) {
    case ControlKind::PictureArea:
      return AddPictureArea(control);
    case ControlKind::PushButton:
      return AddPushButton(control);
    case ControlKind::StraightLine:
      return AddStraightLine(control);
    case ControlKind::TextLine:
      return AddTextLine(control);
  }
  throw std::logic_error("unknown kind of control " + std::string(control.name));
}

PictureArea& FltkMainWindow::AddPictureArea(const ControlRecord& control) {
  const PixelRect at = PixelBounds(control, dpi_);
  PictureArea& area = pictureAreas_.emplace_back(at.x, at.y, at.width, at.height, banner_);
  area.color(FltkColour(control.background));
  area.labelcolor(FltkColour(control.foreground));
  return area;
}

PushButton& FltkMainWindow::AddPushButton(const ControlRecord& control) {
  const PixelRect at = PixelBounds(control, dpi_);
  PushButton& button = pushButtons_.emplace_back(at.x, at.y, at.width, at.height);
  button.copy_label(Utf8(control.text).c_str());
  const FltkFont font = FontOf(control);
  button.labelfont(font.face);
  button.labelsize(font.size);
  button.color(FltkColour(control.background));
  button.labelcolor(FltkColour(control.foreground));
  if (control.name == kActionButtonName) {
    button.callback(ActionButtonPressed, this);
    actionButton_ = &button;
  }
  return button;
}

StraightLine& FltkMainWindow::AddStraightLine(const ControlRecord& control) {
  // The line runs along the top of its one-pixel-thick box, as on Windows.
  const PixelRect at = PixelBounds(control, dpi_);
  StraightLine& line = straightLines_.emplace_back(at.x, at.y, at.x + at.width, at.y);
  line.color(FltkColour(control.foreground));
  return line;
}

TextLine& FltkMainWindow::AddTextLine(const ControlRecord& control) {
  const PixelRect at = PixelBounds(control, dpi_);
  TextLine& line = textLines_.emplace_back(at.x, at.y, at.width, at.height, Utf8(control.text));
  const FltkFont font = FontOf(control);
  line.labelfont(font.face);
  line.labelsize(font.size);
  line.color(FltkColour(control.background));
  line.labelcolor(FltkColour(control.foreground));
  return line;
}

// FLTK moves the focus through a window's children in their order, so the controls
// that take the focus go first, by tab index; the others keep their creation order.
void FltkMainWindow::ArrangeFocusOrder(std::vector<Focusable> focusable) {
  std::stable_sort(focusable.begin(), focusable.end(),
                   [](const Focusable& a, const Focusable& b) { return a.tabIndex < b.tabIndex; });
  for (std::size_t place = 0; place < focusable.size(); ++place) {
    window_.insert(*focusable[place].widget, static_cast<int>(place));
  }
}

FltkFont FltkMainWindow::FontOf(const ControlRecord& control) const {
  return ToFltkFont(fonts_, control.font != nullptr ? *control.font : *kMainWindow.font, dpi_);
}

void FltkMainWindow::OnActionButtonPressed(std::function<void()> handler) {
  actionButtonPressed_ = std::move(handler);
}

void FltkMainWindow::Show() {
  window_.show();
  // FLTK cannot take the minimize button away; for a fixed-size window it asks the
  // window manager to drop resizing and maximizing only.
  x11::AskForCloseBoxOnly(fl_display, fl_xid(&window_));
  if (window_.children() > 0) window_.child(0)->take_focus();
}

// The close box ends the program; Escape, which FLTK also routes here, does nothing
// in a plain window on Windows and does nothing here.
void FltkMainWindow::CloseRequested(Fl_Widget* window, void*) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  window->hide();
}

void FltkMainWindow::ActionButtonPressed(Fl_Widget*, void* data) {
  FltkMainWindow& self = *static_cast<FltkMainWindow*>(data);
  if (self.actionButtonPressed_) self.actionButtonPressed_();
}

}  // namespace ruvo::fltk
