// Program entry of the Linux server: sets the window and the server up in the same order as
// the Windows program, then runs the same main loop over GTK's event queue.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/autostart.h"
#include "app/command_line.h"
#include "app/gtk/desktop_choice.h"
#include "app/gtk/desktop_notification_area.h"
#include "app/gtk/file_settings.h"
#include "app/gtk/restore_token_file.h"
#include "app/gtk/gtk_window.h"
#include "app/gtk/picture_directory.h"
#include "app/gtk/start_at_login_menu.h"
#include "app/shell.h"
#include "app/tray_icon.h"
#include "wire/posix/bsd_socket_layer.h"

namespace {

// An icon from the program's resources; a plain tile of the icons' colour should the image
// loader be missing.
GdkPixbuf* LoadIcon(const char* path, int size) {
  GdkPixbuf* icon = gdk_pixbuf_new_from_resource(path, nullptr);
  if (icon == nullptr) {
    icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, size, size);
    gdk_pixbuf_fill(icon, 0x2a7f8cff);
  }
  return icon;
}

gboolean RequestExit(gpointer window) {
  static_cast<ravelo::GtkServerWindow*>(window)->RequestExit();
  return G_SOURCE_CONTINUE;
}

// The log pane, and every line also on standard error with its time: a flood of refusals
// scrolls the pane, while a desktop session's journal keeps standard error.
class StampedPaneLog : public ravelo::PaneStatusLog {
 public:
  using PaneStatusLog::PaneStatusLog;

 protected:
  void AppendLine(const char* line) override {
    PaneStatusLog::AppendLine(line);
    GDateTime* now = g_date_time_new_now_local();
    gchar* stamp = g_date_time_format(now, "%F %T");
    const std::string text(line, std::strcspn(line, "\r\n"));
    std::fprintf(stderr, "%s.%03d %s\n", stamp, g_date_time_get_microsecond(now) / 1000, text.c_str());
    g_free(stamp);
    g_date_time_unref(now);
  }
};

gboolean DispatchWayland(gint, GIOCondition, gpointer desktop) {
  return static_cast<ravelo::WlrootsDesktop*>(desktop)->Dispatch() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

bool IsWaylandSession() {
  const char* display = std::getenv("WAYLAND_DISPLAY");
  return display != nullptr && display[0] != '\0';
}

}  // namespace

int main(int argc, char** argv) {
  const ravelo::ProgramOptions options =
      ravelo::ParseProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (options.action) {
    case ravelo::ProgramOptions::Action::kHelp:
      std::fputs(ravelo::ProgramHelp("ravelo", true).c_str(), stdout);
      return 0;
    case ravelo::ProgramOptions::Action::kVersion:
      std::fputs(ravelo::ProgramVersion("ravelo").c_str(), stdout);
      return 0;
    case ravelo::ProgramOptions::Action::kUsageError:
      std::fprintf(stderr, "ravelo: %s\n%s", options.problem.c_str(), ravelo::ProgramUsageLine("ravelo", true).c_str());
      return ravelo::kExitUsage;
    case ravelo::ProgramOptions::Action::kAutostart: {
      std::string error;
      const int code = ravelo::ApplyAutostartOption(*ravelo::MakeSessionAutostart(), options.autostart, "ravelo", &error);
      std::fputs(error.c_str(), stderr);
      return code;
    }
    case ravelo::ProgramOptions::Action::kRun:
      break;
  }
  std::optional<ravelo::Backend> backend;
  if (!options.backend.empty() && !(backend = ravelo::ParseBackend(options.backend))) {
    std::fprintf(stderr, "ravelo: --backend takes x11, wlroots or portal, not %s\n%s", options.backend.c_str(),
                 ravelo::ProgramUsageLine("ravelo", true).c_str());
    return ravelo::kExitUsage;
  }
  const bool wayland = IsWaylandSession();
  // The window opens on the session's own display system; the desktop's services are chosen below.
  gdk_set_allowed_backends(wayland ? "wayland,x11" : "x11");
  if (!gtk_init_check(&argc, &argv)) {
    const char* display = std::getenv("DISPLAY");
    if (wayland) std::fprintf(stderr, "ravelo: cannot open the Wayland display %s\n", std::getenv("WAYLAND_DISPLAY"));
    std::fprintf(stderr, "ravelo: cannot open the X display %s\n", display != nullptr && display[0] ? display : "(DISPLAY is not set)");
    return 1;
  }

  GdkPixbuf* large = LoadIcon("/ravelo/ravelo32.ico", 32);
  GdkPixbuf* small = LoadIcon("/ravelo/ravelo16.ico", 16);
  ravelo::GtkServerWindow controls(large);
  GList* icons = g_list_append(g_list_append(nullptr, small), large);
  gtk_window_set_icon_list(controls.Window(), icons);
  g_list_free(icons);
  gtk_widget_show_all(GTK_WIDGET(controls.Window()));

  gtk_entry_set_max_length(controls.PasswordBox(), ravelo::wire::kMaxPassword);
  gtk_widget_grab_focus(GTK_WIDGET(controls.PasswordBox()));

  ravelo::FileSettings settings(ravelo::DefaultSettingsFilePath());
  const ravelo::StoredPassword stored = settings.LoadSettings(controls);
  if (options.fastAnswers) controls.SetFastAnswers(true);

  // The pictures go where only this user can reach them (the files keep their names).
  const std::string pictures = ravelo::PrivatePictureDirectory(std::getenv("XDG_RUNTIME_DIR"), std::getenv("TMPDIR"));
  if (!pictures.empty() && chdir(pictures.c_str()) == 0) {
    std::fprintf(stderr, "ravelo: pictures are written to %s\n", pictures.c_str());
  } else {
    std::fprintf(stderr, "ravelo: no private directory for the pictures; they are written to the current one\n");
  }

  ravelo::ServerWindow* window = nullptr;
  ravelo::DesktopNotificationArea notificationArea(small, large, [&window](unsigned mouseMessage) {
    if (window != nullptr) window->OnTrayNotify(mouseMessage);
  });
  ravelo::NotificationTray tray(notificationArea, controls, controls.Pane());
  StampedPaneLog log(controls.Pane());
  std::unique_ptr<ravelo::SessionAutostart> autostart = ravelo::MakeSessionAutostart();
  ravelo::StartAtLoginItem startAtLogin(*autostart, log);
  ravelo::StartAtLoginMenuItem startAtLoginMenu(controls.FileMenu(), startAtLogin);
  ravelo::BsdSocketLayer socket;
  ravelo::PortalOptions portal;
  const std::string tokenPath = ravelo::RestoreTokenFilePath(ravelo::DefaultSettingsFilePath());
  portal.restoreToken = ravelo::LoadRestoreToken(tokenPath);
  portal.saveRestoreToken = [tokenPath](const std::string& token) { ravelo::SaveRestoreToken(tokenPath, token); };
  portal.log = [&log](const std::string& line) { log.LogMessage("%s", line.c_str()); };
  ravelo::ChosenDesktop chosen = ravelo::ChooseDesktop(backend, wayland, std::move(portal));
  // An X11 session's window stays as it always was; elsewhere the choice is the log's first line.
  if (wayland || backend) {
    log.LogMessage("%s", chosen.line.c_str());
  } else {
    std::fprintf(stderr, "ravelo: %s\n", chosen.line.c_str());
  }
  std::unique_ptr<ravelo::DesktopCapture> desktop = std::move(chosen.capture);
  std::unique_ptr<ravelo::InputSink> inputSink = std::move(chosen.input);
  std::unique_ptr<ravelo::SinkInputInjector> input;
  if (desktop && inputSink) input = std::make_unique<ravelo::SinkInputInjector>(*inputSink, *desktop);
  // The compositor's connection: served whenever it has something, so that frames keep coming.
  guint waylandWatch = 0;
  if (chosen.wlroots) {
    waylandWatch = g_unix_fd_add(chosen.wlroots->Fd(), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), DispatchWayland,
                                 chosen.wlroots.get());
  }
  std::unique_ptr<ravelo::SessionClock> clock = ravelo::MakeSteadyClock();
  ravelo::StreamServer server(ravelo::wire::kPort,
                              ravelo::ServerServices{socket, log, *clock, input.get(), desktop.get()});
  ravelo::ServerWindow serverWindow(server, controls, tray, settings, log);
  window = &serverWindow;
  controls.Attach(&serverWindow);
  // Ended by the system or from a terminal, it goes as File > Exit goes: held input let go,
  // the icon removed, the port freed, the settings left as they were.
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) g_unix_signal_add(signal, RequestExit, &controls);

  serverWindow.StartAtLaunch(stored);

  ravelo::GtkMessagePump pump(controls, [&socket] { return socket.Fd(); });
  int code = ravelo::RunMainLoop(server, controls, tray, pump);
  controls.Attach(nullptr);
  window = nullptr;
  if (waylandWatch != 0) g_source_remove(waylandWatch);
  g_object_unref(small);
  g_object_unref(large);
  return code;
}
