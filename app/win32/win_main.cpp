// Program entry: sets the server window and the server up, then runs the main loop.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/autostart.h"
#include "app/command_line.h"
#include "app/shell.h"
#include "app/win32/dialog_window.h"
#include "app/win32/shell_notification_area.h"
#include "app/win32/win32_registry.h"
#include "imaging/capture.h"
#include "input/win32/win32_input_sink.h"
#include "resources/resource.h"
#include "wire/win32/winsock_layer.h"

namespace {

HICON LoadIconSized(HINSTANCE instance, int id, int size) {
  return static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

// Keeps the timer at 1 ms so that the loop's waits of a few milliseconds (the 5 ms rhythm of
// paced answers) are that long, not a 15.6 ms tick.
struct TimerResolution {
  TimerResolution() { timeBeginPeriod(1); }
  ~TimerResolution() { timeEndPeriod(1); }
};

// A GUI program has no console of its own: the text goes to whatever standard handle it was
// given (a file or pipe), else to the console of the command that started it.
void PrintText(DWORD handle, const std::string& text) {
  HANDLE out = GetStdHandle(handle);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    out = GetStdHandle(handle);
  }
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Answers --help, --version and bad arguments before any window exists; -1 means run.
int HandleCommandLine(ravelo::ProgramOptions* parsed) {
  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i]);
  ravelo::ProgramOptions& options = *parsed = ravelo::ParseProgramArguments(args);
  if (options.action == ravelo::ProgramOptions::Action::kRun && !options.backend.empty()) {
    options.action = ravelo::ProgramOptions::Action::kUsageError;  // Windows has one desktop
    options.problem = "unknown option --backend";
  }
  switch (options.action) {
    case ravelo::ProgramOptions::Action::kHelp:
      PrintText(STD_OUTPUT_HANDLE, ravelo::ProgramHelp("ravelo.exe"));
      return 0;
    case ravelo::ProgramOptions::Action::kVersion:
      PrintText(STD_OUTPUT_HANDLE, ravelo::ProgramVersion("ravelo.exe"));
      return 0;
    case ravelo::ProgramOptions::Action::kUsageError:
      PrintText(STD_ERROR_HANDLE, "ravelo.exe: " + options.problem + "\n" + ravelo::ProgramUsageLine("ravelo.exe"));
      return ravelo::kExitUsage;
    case ravelo::ProgramOptions::Action::kAutostart: {
      std::string error;
      const int code = ravelo::ApplyAutostartOption(*ravelo::MakeSessionAutostart(), options.autostart, "ravelo.exe", &error);
      if (code != 0) PrintText(STD_ERROR_HANDLE, error);
      return code;
    }
    case ravelo::ProgramOptions::Action::kRun:
      break;
  }
  return -1;
}

// The pictures are written to the working directory. Started by the session from the Run key
// (in System32) or from the Start menu (in Program Files), that is a folder an ordinary user
// may not write, and every picture request would go unanswered: the user's own local
// application data folder serves instead. A writable working directory stays as it is.
void UseAWritableWorkingDirectory() {
  char probe[MAX_PATH];
  if (GetTempFileNameA(".", "rav", 0, probe) != 0) {
    DeleteFileA(probe);
    return;
  }
  char base[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
  if (n == 0 || n >= sizeof base) return;
  const std::string dir = std::string(base) + "\\Ravelo";
  CreateDirectoryA(dir.c_str(), nullptr);
  SetCurrentDirectoryA(dir.c_str());
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  ravelo::ProgramOptions options;
  const int answered = HandleCommandLine(&options);
  if (answered >= 0) return answered;
  UseAWritableWorkingDirectory();
  TimerResolution timer;

  char className[100] = {};
  LoadStringA(instance, IDS_APP_CLASS, className, sizeof className);

  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcA;  // registered for the program's name; no window uses it
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LARGE));
  wc.hIconSm = LoadIconSized(instance, IDI_SMALL, 16);
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
  wc.lpszClassName = className;
  RegisterClassExA(&wc);

  HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SERVER), nullptr,
                                   ravelo::ServerDialogProc, 0);
  if (dialog == nullptr) return 1;

  SendMessageA(dialog, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(LoadIconSized(instance, IDI_SMALL, 16)));
  SendMessageA(dialog, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(LoadIconSized(instance, IDI_LARGE, 32)));
  ShowWindow(dialog, showCommand);
  UpdateWindow(dialog);

  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

  SendDlgItemMessageA(dialog, IDC_PASSWORD, EM_LIMITTEXT, ravelo::wire::kMaxPassword, 0);
  SetFocus(GetDlgItem(dialog, IDC_PASSWORD));

  ravelo::DialogControls controls(instance, dialog);
  ravelo::Win32Registry registry;
  ravelo::RegistrySettings settings(registry);
  const ravelo::StoredPassword stored = settings.LoadSettings(controls);
  if (options.fastAnswers) controls.SetFastAnswers(true);

  ravelo::EditLogPane pane(GetDlgItem(dialog, IDC_LOG));
  ravelo::ShellNotificationArea notificationArea(instance, dialog);
  ravelo::NotificationTray tray(notificationArea, controls, pane);
  ravelo::PaneStatusLog log(pane);
  std::unique_ptr<ravelo::SessionAutostart> autostart = ravelo::MakeSessionAutostart();
  ravelo::StartAtLoginItem startAtLogin(*autostart, log);
  ravelo::AttachStartAtLogin(&startAtLogin);
  ravelo::WinsockLayer socket;
  std::unique_ptr<ravelo::DesktopCapture> desktop = ravelo::MakeDesktopCapture();
  ravelo::Win32InputSink inputSink;
  ravelo::SinkInputInjector input(inputSink, *desktop);
  std::unique_ptr<ravelo::SessionClock> clock = ravelo::MakeSteadyClock();
  ravelo::StreamServer server(ravelo::wire::kPort,
                              ravelo::ServerServices{socket, log, *clock, &input, desktop.get()});
  ravelo::ServerWindow window(server, controls, tray, settings, log);
  ravelo::AttachServerWindow(&window);

  window.StartAtLaunch(stored);

  ravelo::DialogMessagePump pump(dialog, accelerators, socket);
  int code = ravelo::RunMainLoop(server, controls, tray, pump);
  ravelo::AttachServerWindow(nullptr);
  ravelo::AttachStartAtLogin(nullptr);
  return code;
}
