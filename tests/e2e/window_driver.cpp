// Drives and reads ravelo.exe's server window from outside, the way the e2e tests need:
// cross-process window messages work under Wine, so this runs as its own Windows program.
//
//   window_driver find [SECONDS]       exit 0 once the server window exists
//   window_driver log                  print the log pane's text
//   window_driver state                print "button=<text> readonly=<0|1> visible=<0|1> iconic=<0|1>
//                                      checked=<0|1> caret=<log pane's caret> end=<log pane's length>"
//   window_driver password             print the password box's text
//   window_driver set-password TEXT    replace the password box's text
//   window_driver click-start          press the start/stop button
//   window_driver command ID           send WM_COMMAND ID (104 About, 105 Exit)
//   window_driver close                the close box (SC_CLOSE)
//   window_driver restore              un-minimise the window
//   window_driver minimize             the minimise box (SC_MINIMIZE)
//   window_driver caret-home           put the log pane's caret at its start
//   window_driver find-about [SECONDS] exit 0 once the About box is open; "close-about" closes it
//   window_driver tray-icon            print "X Y", the screen point of the first icon in Wine's own
//                                      tray window; exit 1 when that window is not shown
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char kCaption[] = " Ravelo Server";

HWND FindServer(double seconds) {
  DWORD until = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (;;) {
    HWND w = FindWindowA(nullptr, kCaption);
    if (w != nullptr || GetTickCount() > until) return w;
    Sleep(50);
  }
}

HWND FindAbout(double seconds) {
  DWORD until = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (;;) {
    HWND w = FindWindowA(nullptr, "About");
    if (w != nullptr || GetTickCount() > until) return w;
    Sleep(50);
  }
}

std::string Text(HWND w) {
  LRESULT n = SendMessageA(w, WM_GETTEXTLENGTH, 0, 0);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  SendMessageA(w, WM_GETTEXT, static_cast<WPARAM>(s.size()), reinterpret_cast<LPARAM>(&s[0]));
  s.resize(static_cast<size_t>(n));
  return s;
}

int Usage() {
  std::fprintf(stderr, "usage: window_driver find|log|state|set-password TEXT|click-start|"
                       "command ID|close|find-about|close-about|password|tray-icon|minimize|caret-home\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string verb = argv[1];
  double wait = argc > 2 ? std::atof(argv[2]) : 0.0;

  if (verb == "find-about") return FindAbout(argc > 2 ? wait : 5.0) ? 0 : 1;
  if (verb == "tray-icon") {
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    if (tray == nullptr || !IsWindowVisible(tray)) return 1;
    // Icons sit in a row of small-icon cells with a border, from the client area's corner.
    POINT p = {GetSystemMetrics(SM_CXSMICON) / 2 + 2, GetSystemMetrics(SM_CYSMICON) / 2 + 2};
    ClientToScreen(tray, &p);
    std::printf("%ld %ld\n", p.x, p.y);
    std::fflush(stdout);
    return 0;
  }
  if (verb == "close-about") {
    HWND about = FindAbout(2.0);
    if (!about) return 1;
    SendMessageA(about, WM_COMMAND, IDOK, 0);
    return 0;
  }

  HWND server = FindServer(verb == "find" && argc > 2 ? wait : 2.0);
  if (server == nullptr) {
    std::fprintf(stderr, "window_driver: no server window\n");
    return 1;
  }
  if (verb == "find") return 0;
  if (verb == "log") {
    std::fputs(Text(GetDlgItem(server, 1001)).c_str(), stdout);
  } else if (verb == "state") {
    HWND box = GetDlgItem(server, 1003);
    bool readonly = (GetWindowLongA(box, GWL_STYLE) & ES_READONLY) != 0;
    // The return value, not pointers, carries the selection across processes.
    unsigned long caret = LOWORD(SendMessageA(GetDlgItem(server, 1001), EM_GETSEL, 0, 0));
    std::printf("button=%s readonly=%d visible=%d iconic=%d checked=%d caret=%lu end=%ld\n",
                Text(GetDlgItem(server, 1002)).c_str(), readonly ? 1 : 0,
                IsWindowVisible(server) ? 1 : 0, IsIconic(server) ? 1 : 0,
                SendMessageA(GetDlgItem(server, 1005), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0,
                caret, static_cast<long>(SendMessageA(GetDlgItem(server, 1001), WM_GETTEXTLENGTH, 0, 0)));
  } else if (verb == "password") {
    std::fputs(Text(GetDlgItem(server, 1003)).c_str(), stdout);
  } else if (verb == "set-password" && argc > 2) {
    SendMessageA(GetDlgItem(server, 1003), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
  } else if (verb == "click-start") {
    // Posted: the button's handler waits a second after a start, and this program need not.
    PostMessageA(server, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(server, 1002)));
  } else if (verb == "command" && argc > 2) {
    PostMessageA(server, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0);
  } else if (verb == "restore") {
    ShowWindow(server, SW_RESTORE);
  } else if (verb == "minimize") {
    PostMessageA(server, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (verb == "caret-home") {
    SendMessageA(GetDlgItem(server, 1001), EM_SETSEL, 0, 0);
  } else if (verb == "close") {
    PostMessageA(server, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    return Usage();
  }
  std::fflush(stdout);
  return 0;
}
