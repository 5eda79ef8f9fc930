#include "platform/standalone/fltk/main_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace ruvo::fltk {
namespace {

// FLTK cannot take the minimize button away; for a fixed-size window it asks the
// window manager to drop resizing and maximizing only. These Motif hints, which most
// X window managers read, ask for a title bar, a system menu and a close box, and
// only moving and closing.
void AskForCloseBoxOnly(Display* display, Window window) {
  constexpr long kHintsFunctions = 1L << 0, kHintsDecorations = 1L << 1;
  constexpr long kFunctionMove = 1L << 2, kFunctionClose = 1L << 5;
  constexpr long kDecorBorder = 1L << 1, kDecorTitle = 1L << 3, kDecorMenu = 1L << 4;
  long hints[5] = {kHintsFunctions | kHintsDecorations, kFunctionMove | kFunctionClose,
                   kDecorBorder | kDecorTitle | kDecorMenu, 0, 0};
  const Atom motifHints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(display, window, motifHints, motifHints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
  XFlush(display);
}

}  // namespace

FltkMainWindow::FltkMainWindow(const FltkFonts& fonts, int dpi, const Fl_Image* banner,
                               const Fl_RGB_Image* icon)
    : fonts_(fonts),
      dpi_(dpi),
      banner_(banner),
      window_(TwipsToPixels(kMainWindow.clientWidth, dpi),
              TwipsToPixels(kMainWindow.clientHeight, dpi)) {
  window_.copy_label(ToUtf8(kMainWindow.caption).c_str());
  window_.xclass("ruvo-linklens");
  window_.color(FltkColour(kMainWindow.background));
  // A fixed single border: the smallest and largest size are the one size.
  window_.size_range(window_.w(), window_.h(), window_.w(), window_.h());
  if (icon != nullptr) window_.icon(icon);  // FLTK keeps its own copy
  // The close box ends the program; Escape, which FLTK also routes here, does nothing
  // in a plain window on Windows and does nothing here.
  window_.callback([](Fl_Widget* window, void*) {
    if (Fl::event() != FL_SHORTCUT || Fl::event_key() != FL_Escape) window->hide();
  });

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
  actionButton_ = static_cast<PushButton*>(controls_[kActionButtonIndex].get());
  actionButton_->callback(
      [](Fl_Widget*, void* data) {
        const auto& pressed = static_cast<FltkMainWindow*>(data)->actionButtonPressed_;
        if (pressed) pressed();
      },
      this);
  ArrangeFocusOrder(std::move(focusable));
}

Fl_Widget& FltkMainWindow::AddControl(const ControlRecord& control) {
  Fl_Widget& widget = *controls_.emplace_back(MakeWidget(control));
  const FltkFont font =
      ToFltkFont(fonts_, control.font != nullptr ? *control.font : *kMainWindow.font, dpi_);
  widget.labelfont(font.face);
  widget.labelsize(font.size);
  widget.color(FltkColour(control.background));
  widget.labelcolor(FltkColour(control.foreground));
  return widget;
}

std::unique_ptr<Fl_Widget> FltkMainWindow::MakeWidget(const ControlRecord& control) {
  const PixelRect at = PixelBounds(control, dpi_);
  switch (control.kind) {
    case ControlKind::PictureArea:
      return std::make_unique<PictureArea>(at.x, at.y, at.width, at.height, banner_);
    case ControlKind::PushButton: {
      auto button = std::make_unique<PushButton>(at.x, at.y, at.width, at.height);
      button->copy_label(ToUtf8(control.text).c_str());
      return button;
    }
    case ControlKind::StraightLine:
      // As on Windows, a box one pixel thick filled with the line's colour.
      return std::make_unique<Fl_Box>(FL_FLAT_BOX, at.x, at.y, at.width, at.height, nullptr);
    case ControlKind::TextLine:
      return std::make_unique<TextBox>(at.x, at.y, at.width, at.height, ToUtf8(control.text));
  }
  throw std::logic_error("unknown kind of control " + std::string(control.name));
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

void FltkMainWindow::OnActionButtonPressed(std::function<void()> handler) {
  actionButtonPressed_ = std::move(handler);
}

void FltkMainWindow::Show() {
  window_.show();
  AskForCloseBoxOnly(fl_display, fl_xid(&window_));
  if (window_.children() > 0) window_.child(0)->take_focus();
}

}  // namespace ruvo::fltk
