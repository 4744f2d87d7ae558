// 8.3 short aliases of a folder's names, and the names that reach serial ports.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "winsim/filesystem.h"

namespace {

using winsim::PortName;
using winsim::ShortAliases;

std::string AliasIn(const std::vector<std::string>& folder, const std::string& name) {
  std::vector<std::string> aliases = ShortAliases(folder);
  for (size_t i = 0; i < folder.size(); ++i) {
    if (folder[i] == name) return aliases[i];
  }
  ADD_FAILURE() << name << " is not in the folder";
  return std::string();
}

TEST(ShortAliases, LongNamesGetNumberedStems) {
  EXPECT_EQ(AliasIn({"Program Files"}, "Program Files"), "PROGRA~1");
  EXPECT_EQ(AliasIn({"toolongname.txt"}, "toolongname.txt"), "TOOLON~1.TXT");
  EXPECT_EQ(AliasIn({"page.html"}, "page.html"), "PAGE~1.HTM");
  EXPECT_EQ(AliasIn({"my file.txt"}, "my file.txt"), "MYFILE~1.TXT");
  EXPECT_EQ(AliasIn({"two.dots.txt"}, "two.dots.txt"), "TWODOT~1.TXT");
  EXPECT_EQ(AliasIn({"a+b[1].txt"}, "a+b[1].txt"), "A_B_1_~1.TXT");
}

TEST(ShortAliases, NumbersFollowTheAlphabeticalOrderOfTheLongNames) {
  // Whatever order the folder lists them in, the blank sorts before 'S'.
  const std::vector<std::string> orders[] = {
      {"Zelvaran IncZQRTMODM.inf", "ZelvaranSERWAVE.inf"},
      {"ZelvaranSERWAVE.inf", "Zelvaran IncZQRTMODM.inf"},
      {"zelvaranSERWAVE.inf", "other.txt", "ZELVARAN IncZQRTMODM.inf"}};
  for (const auto& folder : orders) {
    std::vector<std::string> aliases = ShortAliases(folder);
    for (size_t i = 0; i < folder.size(); ++i) {
      if (folder[i].find("SERWAVE") != std::string::npos) {
        EXPECT_EQ(aliases[i], "ZELVAR~2.INF") << folder[i];
      } else if (folder[i].find("ZQRTMODM") != std::string::npos) {
        EXPECT_EQ(aliases[i], "ZELVAR~1.INF") << folder[i];
      }
    }
  }
}

TEST(ShortAliases, NamesThatFitAreTheirOwnAliasInUpperCase) {
  std::vector<std::string> folder = {"system.ini", "README",     "a.b",
                                     "Zca.Hlp",    "_isres.dll", "PROGRA~1"};
  std::vector<std::string> aliases = ShortAliases(folder);
  EXPECT_EQ(aliases, (std::vector<std::string>{"SYSTEM.INI", "README", "A.B", "ZCA.HLP",
                                               "_ISRES.DLL", "PROGRA~1"}));
}

TEST(ShortAliases, EveryAliasOfAFolderIsUnique) {
  // An existing PROGRA~1 pushes the long name on to ~2; the numbering of
  // different extensions is separate.
  EXPECT_EQ(AliasIn({"PROGRA~1", "Program Files"}, "Program Files"), "PROGRA~2");
  EXPECT_EQ(AliasIn({"Zelvaran One.inf", "Zelvaran Two.txt"}, "Zelvaran Two.txt"), "ZELVAR~1.TXT");

  std::vector<std::string> folder;
  for (int i = 1; i <= 12; ++i) {
    folder.push_back("Longname " + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt");
  }
  folder.push_back("LONGN~10.TXT");
  std::vector<std::string> aliases = ShortAliases(folder);
  EXPECT_EQ(aliases[0], "LONGNA~1.TXT");
  EXPECT_EQ(aliases[8], "LONGNA~9.TXT");
  EXPECT_EQ(aliases[9], "LONGN~11.TXT");  // ~10 belongs to the name that is already short
  std::set<std::string> unique(aliases.begin(), aliases.end());
  EXPECT_EQ(unique.size(), aliases.size());
  for (const std::string& alias : aliases) {
    EXPECT_LE(alias.find('.') == std::string::npos ? alias.size() : alias.find('.'), 8u) << alias;
  }
}

TEST(PortNames, OnlyComOneToNineInEitherSpelling) {
  EXPECT_EQ(PortName("COM1"), "COM1");
  EXPECT_EQ(PortName("com2"), "COM2");
  EXPECT_EQ(PortName("\\\\.\\COM3"), "COM3");
  EXPECT_EQ(PortName("//./com9"), "COM9");
  for (const char* other :
       {"COM0", "COM10", "COMX", "COM", "LPT1", "C:\\COM1", "COM1.txt", "\\\\.\\", "xCOM1"}) {
    EXPECT_FALSE(PortName(other).has_value()) << other;
  }
}

}  // namespace
