// A firmware image for the update tests: random bytes at 0x8000 and the S19 file srec_cat makes
// of them, and the check that the simulated module's flash holds exactly those bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "TestTempDir.h"
#include "model/FileTestUtil.h"
#include "tools/modsim/ModuleLogic.h"

namespace fwtest {

constexpr std::uint32_t kLoadAddress = 0x8000;

inline bool HaveSrecCat() { return std::system("srec_cat --version >/dev/null 2>&1") == 0; }

struct Firmware {
  std::vector<std::uint8_t> image;
  std::string s19;

  // Size random bytes (from Seed) written as Dir/fw.s19; with EndRecord an S9 start address
  // closes the file, else it is srec_cat's plain output (S5 count last). Use with ASSERT_TRUE.
  bool Make(const testutil::TempDir& Dir, unsigned Seed, std::size_t Size, bool EndRecord = true) {
    std::mt19937 rng(Seed);
    image.resize(Size);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng());
    filetest::WriteAll(Dir.File("fw.bin"), std::string(image.begin(), image.end()));
    s19 = Dir.File("fw.s19");
    const std::string cmd = "srec_cat '" + Dir.File("fw.bin") + "' -binary -offset 0x8000 -o '" +
                            s19 + "' -motorola" +
                            (EndRecord ? " -execution-start-address=0x8000" : "") + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
  }

  bool FlashEquals(const modsim::ModuleLogic& Module) const {
    const auto flash = Module.FlashImage();
    if (flash.size() != image.size()) return false;
    for (std::size_t i = 0; i < image.size(); ++i) {
      const auto it = flash.find(kLoadAddress + static_cast<std::uint32_t>(i));
      if (it == flash.end() || it->second != image[i]) return false;
    }
    return true;
  }
};

}  // namespace fwtest
