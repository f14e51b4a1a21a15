#include "linux/portal/portal_protocol.h"

#include <cstring>

namespace ravelo::portal {
namespace {

std::string Service(const PortalOffer& offer) {
  return offer.backend.empty() ? std::string("xdg-desktop-portal") : offer.backend;
}

std::string AskingPart(const SessionPlan& plan) {
  return plan.persist == Persist::kNone ? "the desktop asks the user at every start (this portal cannot remember)"
                                        : "the desktop asks the user once and remembers the answer";
}

}  // namespace

bool CanCapture(const PortalOffer& offer) {
  return offer.portal && offer.screenCastVersion > 0 && (offer.sourceTypes & source::kMonitor) != 0;
}

SessionPlan PlanSession(const PortalOffer& offer) {
  SessionPlan plan;
  plan.remoteDesktop = offer.remoteDesktopVersion > 0 &&
                       (offer.deviceTypes & (device::kKeyboard | device::kPointer)) != 0;
  plan.devices = plan.remoteDesktop ? offer.deviceTypes & (device::kKeyboard | device::kPointer) : 0;
  if (offer.cursorModes & cursor::kMetadata) plan.cursorMode = cursor::kMetadata;
  else if (offer.cursorModes & cursor::kEmbedded) plan.cursorMode = cursor::kEmbedded;
  if (plan.remoteDesktop) plan.persist = offer.remoteDesktopVersion >= 2 ? Persist::kDevices : Persist::kNone;
  else plan.persist = offer.screenCastVersion >= 4 ? Persist::kSources : Persist::kNone;
  return plan;
}

std::string DescribeChoice(const PortalOffer& offer) {
  if (!offer.bus) return "no session bus (" + offer.problem + "): the desktop portal cannot be asked";
  if (!offer.portal) return "no desktop portal on the session bus (" + offer.problem + ")";
  if (!CanCapture(offer))
    return "the desktop portal (" + Service(offer) + ") offers no screen cast of a monitor: no pictures, no input";
  const SessionPlan plan = PlanSession(offer);
  if (plan.remoteDesktop) {
    std::string inputs = plan.devices == (device::kKeyboard | device::kPointer) ? "pointer and keys"
                         : plan.devices == device::kPointer                    ? "the pointer (no keys)"
                                                                               : "keys (no pointer)";
    return "pictures and " + inputs + " through the desktop portal's RemoteDesktop and ScreenCast (" +
           Service(offer) + "); " + AskingPart(plan);
  }
  return "pictures through the desktop portal's ScreenCast (" + Service(offer) +
         "); input is unavailable: the portal has no RemoteDesktop interface; " + AskingPart(plan);
}

std::string RequestPath(const std::string& uniqueName, const std::string& token) {
  // ":1.42" answers on …/request/1_42/TOKEN.
  std::string sender = uniqueName.empty() || uniqueName[0] != ':' ? uniqueName : uniqueName.substr(1);
  for (char& c : sender)
    if (c == '.') c = '_';
  return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

std::string SessionHandleFrom(GVariant* results) {
  if (results == nullptr || !g_variant_is_of_type(results, G_VARIANT_TYPE_VARDICT)) return std::string();
  GVariant* handle = g_variant_lookup_value(results, "session_handle", nullptr);
  if (handle == nullptr) return std::string();
  std::string path;
  if (g_variant_is_of_type(handle, G_VARIANT_TYPE_OBJECT_PATH) || g_variant_is_of_type(handle, G_VARIANT_TYPE_STRING)) {
    const char* text = g_variant_get_string(handle, nullptr);
    if (g_variant_is_object_path(text)) path = text;
  }
  g_variant_unref(handle);
  return path;
}

StartResults ParseStartResults(GVariant* results) {
  StartResults r;
  if (results == nullptr || !g_variant_is_of_type(results, G_VARIANT_TYPE_VARDICT)) return r;
  guint32 devices = 0;
  if (g_variant_lookup(results, "devices", "u", &devices)) r.devices = devices;
  const char* token = nullptr;
  if (g_variant_lookup(results, "restore_token", "&s", &token)) r.restoreToken = token;
  GVariant* streams = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
  if (streams == nullptr) return r;
  if (g_variant_n_children(streams) > 0) {
    guint32 node = 0;
    GVariant* properties = nullptr;
    g_variant_get_child(streams, 0, "(u@a{sv})", &node, &properties);
    r.hasStream = true;
    r.node = node;
    gint32 width = 0, height = 0;
    if (g_variant_lookup(properties, "size", "(ii)", &width, &height) && width > 0 && height > 0) {
      r.width = width;
      r.height = height;
    }
    g_variant_unref(properties);
  }
  g_variant_unref(streams);
  return r;
}

}  // namespace ravelo::portal
