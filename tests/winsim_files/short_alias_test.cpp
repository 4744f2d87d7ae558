// 8.3 short aliases of a folder's names, kept with their files across changes
// and runs, and the names that reach serial ports.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_machine.h"
#include "winsim/filesystem.h"
#include "winsim/short_names.h"

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

// ---- Short names kept with their files ----

const std::string kInf = "C:\\WINDOWS\\INF\\Other";
const std::string kModemInf = "Zelvaran IncZQRTMODM.inf";
const std::string kWaveInf = "ZelvaranSERWAVE.inf";

// What a program does to the folder, through the platform calls.
struct Step {
  enum Kind { Create, Delete, Copy, MakeFolder } kind;
  std::string name;
};

void Apply(const Step& step) {
  std::string path = kInf + "\\" + step.name;
  switch (step.kind) {
    case Step::Create: {
      HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
      const char text[] = "made";
      DWORD written = 0;
      WriteFile(file, text, sizeof text - 1, &written, nullptr);
      CloseHandle(file);
      break;
    }
    case Step::Delete: ASSERT_TRUE(DeleteFileA(path.c_str())) << path; break;
    case Step::Copy:
      ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\system.ini", path.c_str(), TRUE)) << path;
      break;
    case Step::MakeFolder: ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path; break;
  }
}

// The long name a short name of the folder reaches; "" when it reaches nothing.
std::string LongNameOf(winsim::Machine& machine, const std::string& alias) {
  winsim::PathResult result = winsim::ResolvePath(machine, "C:\\", kInf + "\\" + alias);
  if (!result.path || !result.path->exists) return std::string();
  return result.path->host.filename().string();
}

struct History {
  const char* what;
  std::vector<Step> steps;
  std::map<std::string, std::string> expected;  // short name -> long name ("" for none)
};

TEST(ShortNames, AreGivenAtCreationAndStayWhileOthersComeAndGo) {
  const History histories[] = {
      {"made in reverse alphabetical order, numbered in the order made",
       {{Step::Create, kWaveInf}, {Step::Create, kModemInf}},
       {{"ZELVAR~1.INF", kWaveInf}, {"ZELVAR~2.INF", kModemInf}}},
      {"a deleted file takes its short name with it",
       {{Step::Create, kModemInf}, {Step::Create, kWaveInf}, {Step::Delete, kModemInf}},
       {{"zelvar~1.inf", ""}, {"Zelvar~2.INF", kWaveInf}}},
      {"the lowest free number goes to the next new file",
       {{Step::Create, kModemInf},
        {Step::Create, kWaveInf},
        {Step::Delete, kModemInf},
        {Step::Copy, "Zelvaran Copy.inf"},
        {Step::Create, "Zelvaran Third.inf"}},
       {{"ZELVAR~1.INF", "Zelvaran Copy.inf"},
        {"ZELVAR~2.INF", kWaveInf},
        {"ZELVAR~3.INF", "Zelvaran Third.inf"}}},
      {"folders too",
       {{Step::MakeFolder, "Program Files"}, {Step::MakeFolder, "Programs Old"}},
       {{"PROGRA~1", "Program Files"}, {"PROGRA~2", "Programs Old"}}},
  };
  for (const History& history : histories) {
    SCOPED_TRACE(history.what);
    rq47test::TestMachine machine;
    machine.writeFile("C:\\WINDOWS\\system.ini", "[boot]\r\n");
    machine.makeDirectory(kInf);
    machine.run();
    for (const Step& step : history.steps) Apply(step);
    for (const auto& [alias, longName] : history.expected) {
      EXPECT_EQ(LongNameOf(machine.machine(), alias), longName) << alias;
    }
    // The next program on the machine finds the same.
    machine.reload();
    for (const auto& [alias, longName] : history.expected) {
      EXPECT_EQ(LongNameOf(machine.machine(), alias), longName) << alias << " after a reload";
    }
  }
}

// Files put in by hand are numbered in the alphabetical order of their long
// names the first time winsim sees their folder, here when one of them is
// deleted by its long name before any short name was asked for.
TEST(ShortNames, FilesPutInByHandAreNumberedAlphabeticallyBeforeAnythingChanges) {
  rq47test::TestMachine machine;
  machine.writeFile(kInf + "\\" + kWaveInf, "wave inf");
  machine.writeFile(kInf + "\\" + kModemInf, "modem inf");
  machine.run();
  ASSERT_TRUE(DeleteFileA((kInf + "\\" + kModemInf).c_str()));

  EXPECT_EQ(LongNameOf(machine.machine(), "ZELVAR~1.INF"), "");
  EXPECT_EQ(LongNameOf(machine.machine(), "ZELVAR~2.INF"), kWaveInf);
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ShortNames, AreKeptInShortNamesTxtWrittenOnlyWhenOneChanges) {
  rq47test::TestMachine machine;
  std::filesystem::path file = machine.folder() / winsim::ShortNames::kFile;
  machine.makeDirectory(kInf);
  machine.run();
  Apply({Step::Create, kModemInf});
  Apply({Step::Create, kWaveInf});
  Apply({Step::Delete, kModemInf});
  EXPECT_FALSE(std::filesystem::exists(file)) << "written before the machine is saved";
  machine.reload();
  std::string text = ReadText(file);
  EXPECT_NE(text.find("ZELVAR~2.INF\t" + kInf + "\\" + kWaveInf + "\r\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.find(kModemInf), std::string::npos) << text;

  // A run that gives no short name and gives none up leaves the file as it is.
  std::ofstream(file, std::ios::app) << "; a note of the machine's owner\r\n";
  machine.run();
  EXPECT_EQ(LongNameOf(machine.machine(), "ZELVAR~2.INF"), kWaveInf);
  machine.reload();
  EXPECT_NE(ReadText(file).find("; a note"), std::string::npos);
}

struct BadLine {
  const char* line;
  const char* says;
};

TEST(ShortNames, AMalformedLineRefusesTheMachineNamingTheLine) {
  const BadLine cases[] = {
      {"PROGRA~1 C:\\Program Files", "tab"},
      {"PROGRAM\tC:\\Program Files", "not a short name"},
      {"progra~1\tC:\\Program Files", "not a short name"},
      {"PROGRA~1\tProgram Files", "full path"},
      {"PROGRA~1\tC:\\Program Files\\", "full path"},
      {"PROGRA~1\tC:\\a|b", "full path"},
      {"README~1.TXT\tC:\\readme.txt", "own short name"},
      {"PROGRA~2\tC:\\Program Files", "twice"},
      {"PROGRA~1\tC:\\Programs Old", "already the short name"},
  };
  for (const BadLine& bad : cases) {
    SCOPED_TRACE(bad.line);
    rq47test::TempDir dir;
    winsim::Machine::create(dir.path());
    std::ofstream(dir.path() / winsim::ShortNames::kFile, std::ios::binary)
        << "; short names\r\nPROGRA~1\tC:\\Program Files\r\n"
        << bad.line << "\r\n";
    try {
      winsim::Machine::load(dir.path());
      ADD_FAILURE() << "loaded";
    } catch (const winsim::MachineError& error) {
      EXPECT_EQ(error.file(), winsim::ShortNames::kFile);
      EXPECT_EQ(error.line(), 3u);
      EXPECT_NE(error.problem().find(bad.says), std::string::npos) << error.problem();
    }
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
