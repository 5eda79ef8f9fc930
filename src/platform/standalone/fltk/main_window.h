// The installer window in FLTK, built from the layout table (kMainWindow and
// kControls) and nothing else.
#pragma once

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/standalone/fltk/look.h"
#include "platform/standalone/fltk/widgets.h"
#include "window/layout.h"

namespace ruvo::fltk {

class FltkMainWindow {
 public:
  // `banner` and `icon` may be nullptr; `banner` must outlive the window.
  FltkMainWindow(const FltkFonts& fonts, int dpi, const Fl_Image* banner, const Fl_RGB_Image* icon);
  FltkMainWindow(const FltkMainWindow&) = delete;
  FltkMainWindow& operator=(const FltkMainWindow&) = delete;

  Fl_Window& Window() { return window_; }
  Fl_Button& ActionButton() { return *actionButton_; }
  // Runs when the button is pressed (mouse, Space or Enter).
  void OnActionButtonPressed(std::function<void()> handler);

  // Shows the window with the first control of the focus order holding the focus.
  void Show();

 private:
  struct Focusable {
    int tabIndex;
    Fl_Widget* widget;
  };

  // Adds the control's widget to the window and returns it.
  Fl_Widget& AddControl(const ControlRecord& control);
  std::unique_ptr<Fl_Widget> MakeWidget(const ControlRecord& control);
  void ArrangeFocusOrder(std::vector<Focusable> focusable);

  const FltkFonts& fonts_;
  const int dpi_;
  const Fl_Image* banner_;
  Fl_Double_Window window_;
  // Destroyed before the window, each taking itself out of it: a window deletes the
  // children it still holds.
  std::vector<std::unique_ptr<Fl_Widget>> controls_;
  PushButton* actionButton_ = nullptr;
  std::function<void()> actionButtonPressed_;
};

}  // namespace ruvo::fltk
