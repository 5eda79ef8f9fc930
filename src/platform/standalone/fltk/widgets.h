// The kinds of control the installer's windows are made of, as FLTK widgets that
// draw exactly what a Windows control of that kind shows.
#pragma once

#include <FL/Fl_Button.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Widget.H>

#include <string>

namespace ruvo::fltk {

// A picture shown at its natural size from the area's top-left corner and cut off
// at the area's edges. It can hold the keyboard focus but shows no focus mark, and
// the keys pressed while it has it do nothing.
class PictureArea : public Fl_Widget {
 public:
  PictureArea(int x, int y, int w, int h, const Fl_Image* picture);
  int handle(int event) override;

 protected:
  void draw() override;

 private:
  const Fl_Image* picture_;  // may be nullptr: then only the background shows
};

// A push button that the keyboard presses while it has the focus: Space, as every
// FLTK button, and Enter, as on Windows.
class PushButton : public Fl_Button {
 public:
  PushButton(int x, int y, int w, int h);
  int handle(int event) override;
};

// One line of text from the box's top-left corner on an opaque background, cut off
// at the box. No padding, no '&' or '@' interpretation.
class TextBox : public Fl_Widget {
 public:
  TextBox(int x, int y, int w, int h, std::string text);

 protected:
  void draw() override;

 private:
  std::string text_;  // UTF-8
};

}  // namespace ruvo::fltk
