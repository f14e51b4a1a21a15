// What the portal session asks for from what the portal offers, what it makes of answers out
// of the ordinary, and the one line that says so. What a GNOME-like portal (RemoteDesktop 2) and
// a wlr-like one (ScreenCast alone) are asked, and their usual answers, the e2e test shows.
#include <gtest/gtest.h>

#include <string>

#include "linux/portal/portal_protocol.h"

namespace ravelo::portal {
namespace {

PortalOffer Offer(std::uint32_t screenCast, std::uint32_t cursorModes, std::uint32_t remoteDesktop,
                  std::uint32_t devices = 3, std::uint32_t sources = 1) {
  PortalOffer o;
  o.bus = true;
  o.portal = true;
  o.screenCastVersion = screenCast;
  o.sourceTypes = sources;
  o.cursorModes = cursorModes;
  o.remoteDesktopVersion = remoteDesktop;
  o.deviceTypes = remoteDesktop > 0 ? devices : 0;
  return o;
}

TEST(PortalProtocolTest, SessionPlansFollowWhatThePortalOffers) {
  struct Case {
    const char* what;
    PortalOffer offer;
    bool remoteDesktop;
    std::uint32_t devices;
    std::uint32_t cursorMode;
    Persist persist;
  };
  const Case cases[] = {
      {"remote desktop of version 1 cannot persist", Offer(4, 7, 1), true, 3, cursor::kMetadata, Persist::kNone},
      {"screen cast before version 4 cannot persist", Offer(3, 3, 0), false, 0, cursor::kEmbedded, Persist::kNone},
      {"no cursor modes listed (version 1)", Offer(1, 0, 0), false, 0, 0, Persist::kNone},
      {"hidden cursor only: not asked for", Offer(4, 1, 0), false, 0, 0, Persist::kSources},
      {"pointer only", Offer(4, 7, 2, device::kPointer), true, device::kPointer, cursor::kMetadata, Persist::kDevices},
      {"touchscreen only is no input", Offer(4, 7, 2, 4), false, 0, cursor::kMetadata, Persist::kSources},
  };
  for (const Case& c : cases) {
    const SessionPlan plan = PlanSession(c.offer);
    EXPECT_EQ(plan.remoteDesktop, c.remoteDesktop) << c.what;
    EXPECT_EQ(plan.devices, c.devices) << c.what;
    EXPECT_EQ(plan.cursorMode, c.cursorMode) << c.what;
    EXPECT_EQ(plan.persist, c.persist) << c.what;
  }
}

TEST(PortalProtocolTest, TheChoiceLineSaysWhatServesAndWhatTheUserIsAsked) {
  PortalOffer noBus;
  noBus.problem = "no address";
  PortalOffer noPortal;
  noPortal.bus = true;
  noPortal.problem = "name not activatable";
  struct Case {
    PortalOffer offer;
    bool capture;
    const char* says;
  };
  const Case cases[] = {
      {noBus, false, "no session bus (no address)"},
      {noPortal, false, "no desktop portal on the session bus (name not activatable)"},
      {Offer(4, 3, 0, 3, 2), false, "offers no screen cast of a monitor"},
      {Offer(4, 7, 2), true, "the desktop asks the user once and remembers the answer"},
      {Offer(4, 7, 1), true, "the desktop asks the user at every start"},
      {Offer(4, 7, 1, device::kKeyboard), true, "pictures and keys (no pointer)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CanCapture(c.offer), c.capture) << c.says;
    EXPECT_NE(DescribeChoice(c.offer).find(c.says), std::string::npos) << DescribeChoice(c.offer);
  }
}

GVariant* Parse(const char* text) { return g_variant_ref_sink(g_variant_parse(nullptr, text, nullptr, nullptr, nullptr)); }

TEST(PortalProtocolTest, AnswersOutOfTheOrdinaryYieldNothingOfWhatIsWrong) {
  for (const char* results : {"{'session_handle': <'not a path'>}", "{'session_handle': <uint32 7>}", "@a{sv} {}"}) {
    GVariant* v = Parse(results);
    ASSERT_NE(v, nullptr) << results;
    EXPECT_EQ(SessionHandleFrom(v), "") << results;
    g_variant_unref(v);
  }
  // Only the first stream counts, and a size that is not two positive numbers is none.
  const struct {
    const char* results;
    bool hasStream;
    std::uint32_t node, devices;
  } cases[] = {
      {"{'streams': <[(uint32 9, @a{sv} {}), (uint32 10, {'size': <(5, 5)>})]>}", true, 9, 0},
      {"{'streams': <[(uint32 9, {'size': <(0, 1080)>})]>}", true, 9, 0},
      {"{'streams': <[(uint32 9, {'size': <uint32 4>})]>}", true, 9, 0},
      {"{'streams': <@a(ua{sv}) []>, 'devices': <uint32 1>}", false, 0, 1},
      {"{'streams': <'wrong'>}", false, 0, 0},
  };
  for (const auto& c : cases) {
    GVariant* v = Parse(c.results);
    ASSERT_NE(v, nullptr) << c.results;
    const StartResults r = ParseStartResults(v);
    EXPECT_EQ(r.hasStream, c.hasStream) << c.results;
    EXPECT_EQ(r.node, c.node) << c.results;
    EXPECT_EQ(r.width, 0) << c.results;
    EXPECT_EQ(r.height, 0) << c.results;
    EXPECT_EQ(r.devices, c.devices) << c.results;
    EXPECT_EQ(r.restoreToken, "") << c.results;
    g_variant_unref(v);
  }
}

}  // namespace
}  // namespace ravelo::portal
