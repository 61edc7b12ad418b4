#pragma once
// The Qt 6 Widgets back end of the platform layer. The frame is a
// QMainWindow holding a QMdiArea; session windows are MDI sub-windows. Qt
// paints only inside paint events, so each window has a backing image that
// the logic draws into through its drawing context and the paint event
// shows. This header is plain C++: the program and tests call it without
// seeing Qt.

// Creates the application object (argc/argv as given to main; the
// "offscreen" platform plugin is used when QT_QPA_PLATFORM says so or when
// there is no display) and installs the back end. Returns 0, or -1.
int qtPlatInit(int& argc, char** argv);
void qtPlatShutdown();

// Saves a window's backing image (what was last painted, caret included)
// as a PNG file. Returns 0, or -1.
int qtPlatSaveImage(int wnd, const char* path);
// The colour of one pixel of a window's backing image (0x00BBGGRR), or
// 0xFFFFFFFF outside it.
unsigned qtPlatPixel(int wnd, int x, int y);

// The widget that shows a window, for the Qt-aware test helpers; null for
// an unknown window.
class QWidget;
QWidget* qtPlatWidget(int wnd);
