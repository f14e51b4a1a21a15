// The manifest and the version resource built into ravelo.exe, read back through the system's
// own parsers.
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ravelo_version.h"

namespace {

constexpr wchar_t kSettings2005[] = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
constexpr wchar_t kSettings2016[] = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";

// The activation context of manifest resource 1 of ravelo.exe in the current directory.
class ProgramManifest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(GetFullPathNameW(L"ravelo.exe", MAX_PATH, path, nullptr), 0u);
    ASSERT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << "ravelo.exe is not built";
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path;
    request.lpResourceName = MAKEINTRESOURCEW(1);
    context_ = CreateActCtxW(&request);
    ASSERT_NE(context_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  }
  void TearDown() override {
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }
  std::wstring Setting(const wchar_t* space, const wchar_t* name) const {
    wchar_t value[128] = {};
    SIZE_T written = 0;
    if (!QueryActCtxSettingsW(0, context_, space, name, value, 128, &written)) return L"(none)";
    return value;
  }

  HANDLE context_ = INVALID_HANDLE_VALUE;
};

TEST_F(ProgramManifest, DeclaresPerMonitorDpiAwareness) {
  EXPECT_EQ(Setting(kSettings2005, L"dpiAware"), L"true/pm");
  EXPECT_EQ(Setting(kSettings2016, L"dpiAwareness"), L"PerMonitorV2, PerMonitor");
  // Each element counts only in its own namespace.
  EXPECT_EQ(Setting(kSettings2016, L"dpiAware"), L"(none)");
}

TEST_F(ProgramManifest, RunsAsInvokerWithoutUiAccess) {
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
  SIZE_T written = 0;
  ASSERT_TRUE(QueryActCtxW(0, context_, nullptr, RunlevelInformationInActivationContext, &level,
                           sizeof level, &written));
  EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
  EXPECT_EQ(level.UiAccess, 0u);
}

// What Explorer shows as the file's version: the build's one version number.
TEST(ProgramVersion, ResourceCarriesTheBuildsVersion) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA("ravelo.exe", &ignored);
  ASSERT_NE(size, 0u) << "no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA("ravelo.exe", 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  const DWORD ms = (RAVELO_VERSION_MAJOR << 16) | RAVELO_VERSION_MINOR;
  const DWORD ls = static_cast<DWORD>(RAVELO_VERSION_PATCH) << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, ms);
  EXPECT_EQ(fixed->dwFileVersionLS, ls);
  EXPECT_EQ(fixed->dwProductVersionMS, ms);
  EXPECT_EQ(fixed->dwProductVersionLS, ls);
  for (const char* name : {"FileVersion", "ProductVersion"}) {
    char* text = nullptr;
    const std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
    ASSERT_TRUE(VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) << name;
    EXPECT_STREQ(text, RAVELO_VERSION) << name;
  }
}

}  // namespace
