#include "app/gtk/desktop_choice.h"

#include <cstdlib>

#include "imaging/x11/x11_capture.h"
#include "input/x11/x11_input_sink.h"

namespace ravelo {
namespace {

bool Asked(std::optional<Backend> asked) { return asked.has_value(); }

}  // namespace

std::optional<Backend> ParseBackend(const std::string& name) {
  if (name == "x11") return Backend::kX11;
  if (name == "wlroots") return Backend::kWlroots;
  if (name == "portal") return Backend::kPortal;
  return std::nullopt;
}

std::vector<Backend> BackendsToTry(std::optional<Backend> asked, bool waylandSession) {
  if (asked) return {*asked};
  if (!waylandSession) return {Backend::kX11};
  return {Backend::kWlroots, Backend::kPortal};
}

ChosenDesktop ChooseDesktop(std::optional<Backend> asked, bool waylandSession, PortalOptions portal) {
  ChosenDesktop chosen;
  const char* why_asked = Asked(asked) ? " (asked for with --backend)" : "";
  std::string passed;  // why the ones tried before did not serve
  for (Backend backend : BackendsToTry(asked, waylandSession)) {
    switch (backend) {
      case Backend::kX11: {
        chosen.capture = MakeX11DesktopCapture();
        chosen.input = MakeX11InputSink();
        const char* display = std::getenv("DISPLAY");
        const std::string name = display != nullptr ? display : "";
        chosen.line = chosen.capture ? "Pictures and input: the X display " + name +
                                           " (MIT-SHM and XFixes, XTest)" +
                                           (Asked(asked) ? why_asked : ", since this is an X11 session") + "."
                                     : "No pictures: the X display " + name + " cannot be captured.";
        if (chosen.capture && !chosen.input) chosen.line += " Input is ignored: the display has no XTest.";
        return chosen;
      }
      case Backend::kWlroots: {
        std::string why;
        chosen.wlroots = WlrootsDesktop::Open(nullptr, &why);
        if (chosen.wlroots) {
          chosen.capture = chosen.wlroots->TakeCapture();
          chosen.input = chosen.wlroots->TakeInput();
          chosen.line = "Pictures and input: the compositor's own protocols, " + chosen.wlroots->Description() +
                        (Asked(asked) ? why_asked : ", since it offers them") + ".";
          return chosen;
        }
        passed += (passed.empty() ? "" : "; ") + std::string("wlroots: ") + why;
        break;
      }
      case Backend::kPortal: {
        const portal::PortalOffer offer = ProbeDesktopPortal();
        if (portal::CanCapture(offer)) {
          PortalDesktop desktop = MakePortalDesktop(offer, std::move(portal));
          chosen.capture = std::move(desktop.capture);
          chosen.input = std::move(desktop.input);
          chosen.line = "Pictures" + std::string(chosen.input ? " and input" : "") + ": " +
                        portal::DescribeChoice(offer) +
                        (passed.empty() ? std::string(why_asked) : " (" + passed + ")") + ".";
          return chosen;
        }
        passed += (passed.empty() ? "" : "; ") + portal::DescribeChoice(offer);
        break;
      }
    }
  }
  // Never the X display inside a Wayland session unless asked for: it shows XWayland's windows only.
  chosen.line = "No pictures and no input: " + passed + ".";
  return chosen;
}

}  // namespace ravelo
