// Morlune.dll loaded by name into a real Win32 process: the exports resolve, the version block
// reads back through the system's API, and HandleKey answers only while a window of Morlune's
// class exists. In a 64-bit Wine prefix the process runs under WoW64, as on 64-bit Windows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "tools/hostkit/plugin_library.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/version_info.h"

namespace {

class MorluneDll : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    plugin = hostkit::PluginLibrary::Load("Morlune.dll", error);
    ASSERT_TRUE(plugin) << error;
  }

  [[nodiscard]] const hostkit::PluginExports& dll() const { return plugin->exports(); }

  std::optional<hostkit::PluginLibrary> plugin;
};

TEST_F(MorluneDll, AnswersTheHostsQueries) {
  EXPECT_EQ(dll().WhatKeysDoYouWant(), 0x3FF8);
  EXPECT_EQ(dll().EnumerateProgrammableFunction(), 0);
}

TEST_F(MorluneDll, VersionBlockReadsBack) {
  char path[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(plugin->module(), path, MAX_PATH), 0u);
  const auto info = hostkit::ReadVersionInfo(path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->fixed.dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(info->fixed.dwFileVersionLS, 0x00010000u);
  EXPECT_EQ(info->fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(info->language, 0x0409);
  EXPECT_EQ(info->codePage, 0x04B0);
  EXPECT_EQ(info->stringNames,
            (std::vector<std::string>{"Comments", "CompanyName", "FileDescription", "FileVersion",
                                      "InternalName", "LegalCopyright", "LegalTrademarks",
                                      "OriginalFilename", "PrivateBuild", "ProductName",
                                      "ProductVersion", "SpecialBuild"}));
  EXPECT_EQ(info->strings.at("FileVersion"), "2.1");
  EXPECT_EQ(info->strings.at("OriginalFilename"), "Morlune.dll");
  EXPECT_EQ(info->strings.at("ProductVersion"), "1.99+ (2008/05/01)");
  EXPECT_EQ(info->strings.at("InternalName"), "");
}

TEST_F(MorluneDll, HandlesKeysOnlyWhileMorluneWindowExists) {
  ASSERT_EQ(FindWindowA(hostkit::MorluneWindowClass, nullptr), nullptr)
      << "a window of Morlune's class is already open";
  EXPECT_EQ(dll().AreYouInFocus(), 0);
  EXPECT_EQ(dll().HandleKey(0, 28, 1), 0);
  {
    hostkit::StandInWindow target;
    ASSERT_TRUE(target.valid());
    EXPECT_EQ(dll().AreYouInFocus(), 1);
    // Key 28 switches the control-digit mode and sends nothing: on, then off again.
    EXPECT_EQ(dll().HandleKey(0, 28, 1), 1);
    EXPECT_EQ(dll().HandleKey(0, 28, 1), 1);
    EXPECT_EQ(dll().HandleKey(0, 13, 1), 0);
  }
  EXPECT_EQ(dll().AreYouInFocus(), 0);
}

// The WoW64 runs would prove nothing if the prefix quietly were a 32-bit one. Wine hands its
// WINEARCH, which made the prefix, to Windows programs.
TEST(Process, RunsUnderWow64OnlyInA64BitPrefix) {
  const char* winearch = std::getenv("WINEARCH");
  if (winearch == nullptr) GTEST_SKIP() << "WINEARCH is not set: not run by the Wine fixture";
  const std::string_view arch = winearch;
  ASSERT_TRUE(arch == "win32" || arch == "win64") << "WINEARCH=" << arch;
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, arch == "win64") << "WINEARCH=" << arch;
  SYSTEM_INFO native{};
  GetNativeSystemInfo(&native);
  EXPECT_EQ(native.wProcessorArchitecture,
            arch == "win64" ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL);
}

}  // namespace
