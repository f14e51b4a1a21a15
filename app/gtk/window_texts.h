// The texts of the server window, its menu and its About box, as the Windows resources have
// them (resources/ravelo.rc); the button's two texts and the tray tip are shared already.
#pragma once

namespace ravelo {
namespace text {

constexpr char kCaption[] = " Ravelo Server";
constexpr char kPasswordLabel[] = "Password:";
constexpr char kRunOnStartup[] = "Run on Startup";
// Menus: GTK marks the access key with '_' where the resources use '&'.
constexpr char kFileMenu[] = "_File";
constexpr char kExitItem[] = "E_xit";
constexpr char kFastAnswersItem[] = "_Fast answers";
constexpr char kHelpMenu[] = "_Help";
constexpr char kAboutItem[] = "_About ...";
constexpr char kAboutCaption[] = "About";
constexpr char kAboutVersion[] = "Ravelo v0.8a";
constexpr char kAboutCredit[] = "by the Ravelo team";
constexpr char kAboutLine1[] = "Your desktop, on the small screen.";
constexpr char kAboutLine2[] = "Questions and bugs: see the README";
constexpr char kAboutOk[] = "OK";

}  // namespace text
}  // namespace ravelo
