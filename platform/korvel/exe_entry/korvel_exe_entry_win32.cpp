// The entry of a program built on Korvel: the frame's classes, and with them
// the program's application object, live in Korvel.dll's copy of the
// framework, so the program's WinMain hands over to the frame's start there.
// Linked into the program as an object, so that it is the WinMain.
#include "platform/korvel/korvel_app.h"

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine,
                              int nCmdShow) {
  return KorvelAppMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
