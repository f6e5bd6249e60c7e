// The counter loader stand-ins: the definition file's checks, and the programs run as the counter
// setup runs them, on a fresh machine root each. A load or unload that fails must leave the
// counter table and the driver's key exactly as they were.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "counter_names.h"
#include "temp_root.h"

namespace {

using pairway::perf::Definition;
using pairway::perf::ParseDefinition;
using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;

const char kPerflib[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib";
const char kServices[] = "SYSTEM\\CurrentControlSet\\Services\\";

const char kTrevanIni[] =
    "[info]\ndrivername=TREVAN\nsymbolfile=trevanctr.h\n\n[languages]\n009=English\n\n[text]\n"
    "PORT_009_NAME=Trevan Port\nPORT_009_HELP=Ports.\n"
    "BYTES_009_NAME=Bytes/sec\nBYTES_009_HELP=Bytes per second.\n";

// ---- The definition file ---------------------------------------------------------------------

TEST(ParseDefinitionTest, SymbolsTakeFileOrderAndEveryLanguageGetsItsTexts) {
  Definition definition;
  std::string error;
  ASSERT_TRUE(ParseDefinition(
      "; comment\n[INFO]\r\nDriverName = OTHER \n[languages]\n009=English\n007=German\n[text]\n"
      "B_009_NAME=b\nB_007_NAME=b7\nA_009_NAME=a\nA_009_HELP=ah\nB_009_HELP=bh\n"
      "A_007_NAME=a7\nA_007_HELP=ah7\nB_007_HELP=bh7\n",
      &definition, &error))
      << error;
  EXPECT_EQ(definition.driver, "OTHER");
  EXPECT_EQ(definition.languages, (std::vector<std::string>{"009", "007"}));
  EXPECT_EQ(definition.symbols, (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(definition.texts["007"]["A"].help, "ah7");
}

TEST(ParseDefinitionTest, MalformedFilesAreRefusedWithAReason) {
  const char* cases[] = {
      "[languages]\n009=English\n[text]\nA_009_NAME=a\nA_009_HELP=h\n",          // no driver
      "[info]\ndrivername=T\n[text]\nA_009_NAME=a\nA_009_HELP=h\n",              // no language
      "[info]\ndrivername=T\n[languages]\n009=English\n",                        // no texts
      "[info]\ndrivername=T\n[languages]\n009=English\n[text]\nA_009_NAME=a\n",  // no help
      "[info]\ndrivername=T\n[languages]\n009=E\n007=G\n[text]\nA_009_NAME=a\nA_009_HELP=h\n",
      "[info\ndrivername=T\n",                                              // header
      "[info]\ndrivername\n",                                               // no '='
      "[info]\ndrivername=T\n[languages]\n009=E\n[text]\nA_009_TITLE=a\n",  // kind
      "[info]\ndrivername=T\n[languages]\n009=E\n[text]\nNAME=a\n",         // no language
      "[info]\ndrivername=T\n[languages]\n0\\9=E\n[text]\nA_0\\9_NAME=a\nA_0\\9_HELP=h\n",
  };
  for (const char* text : cases) {
    Definition definition;
    std::string error;
    EXPECT_FALSE(ParseDefinition(text, &definition, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

// ---- The programs ----------------------------------------------------------------------------

class CounterToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateKey(std::string(kServices) + "TREVAN");
    WriteFile("perfctr.ini", kTrevanIni);
  }

  static void CreateKey(const std::string& path) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // Writes a file at the root of drive C:, which the tools name "C:\NAME".
  void WriteFile(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(root_.path() / "drive_c");
    std::ofstream(root_.path() / "drive_c" / name) << text;
  }
  static int Lodctr(const std::string& nt_path) {
    return RunCommand((BuildDir() / "bin" / "pairway-lodctr").string() + " '" + nt_path +
                      "' 2>/dev/null");
  }
  static int Unlodctr(const std::string& driver) {
    return RunCommand((BuildDir() / "bin" / "pairway-unlodctr").string() + " '" + driver +
                      "' 2>/dev/null");
  }

  static std::string Value(const std::string& key_path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return "<no key>";
    }
    char data[8192];
    DWORD size = sizeof data;
    LONG error =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(data), &size);
    RegCloseKey(key);
    return error == ERROR_SUCCESS ? std::string(data, size) : "<none>";
  }
  static DWORD Number(const std::string& key_path, const char* name) {
    std::string data = Value(key_path, name);
    DWORD number = 0;
    if (data.size() == sizeof number) memcpy(&number, data.data(), sizeof number);
    return number;
  }
  // Everything a load or unload may touch, as one text to compare.
  static std::string Snapshot() {
    std::string perflib = kPerflib;
    std::string snapshot;
    for (const char* name : {"Last Counter", "Last Help"}) {
      snapshot += Value(perflib, name) + "|";
    }
    for (const char* language : {"\\009", "\\007"}) {
      snapshot += Value(perflib + language, "Counter") + "|" + Value(perflib + language, "Help");
    }
    for (const char* driver : {"TREVAN", "OTHER"}) {
      for (const char* name : {"First Counter", "Last Counter", "First Help", "Last Help"}) {
        snapshot += Value(std::string(kServices) + driver + "\\Performance", name) + "|";
      }
    }
    return snapshot;
  }
  static std::string TrevanPerformance() { return std::string(kServices) + "TREVAN\\Performance"; }

  TempRoot root_;
};

TEST_F(CounterToolsTest, UsageAndHelp) {
  std::string lodctr = (BuildDir() / "bin" / "pairway-lodctr").string();
  std::string unlodctr = (BuildDir() / "bin" / "pairway-unlodctr").string();
  EXPECT_EQ(RunCommand(lodctr + " >/dev/null"), 2);
  EXPECT_EQ(RunCommand(unlodctr + " a b >/dev/null"), 2);
  std::string help;
  EXPECT_EQ(RunCommand(lodctr + " --help", &help), 0);
  EXPECT_NE(help.find("usage: lodctr"), std::string::npos);
  EXPECT_EQ(RunCommand(unlodctr + " --help", &help), 0);
}

TEST_F(CounterToolsTest, LoadAndUnloadRoundTrip) {
  ASSERT_EQ(Lodctr("C:\\perfctr.ini"), 0);
  EXPECT_EQ(Number(TrevanPerformance(), "First Counter"), 4u);
  EXPECT_EQ(Number(TrevanPerformance(), "Last Counter"), 6u);
  EXPECT_EQ(Number(TrevanPerformance(), "First Help"), 5u);
  EXPECT_EQ(Number(TrevanPerformance(), "Last Help"), 7u);
  EXPECT_EQ(Value(std::string(kPerflib) + "\\009", "Counter"), std::string("1\0"
                                                                           "1847\0"
                                                                           "2\0System\0"
                                                                           "4\0Trevan Port\0"
                                                                           "6\0Bytes/sec\0\0",
                                                                           43));

  ASSERT_EQ(Unlodctr("TREVAN"), 0);
  EXPECT_EQ(Value(TrevanPerformance(), "First Counter"), "<none>");
  EXPECT_EQ(Number(kPerflib, "Last Counter"), 2u);
  EXPECT_EQ(Number(kPerflib, "Last Help"), 3u);
  EXPECT_EQ(Value(std::string(kPerflib) + "\\009", "Counter"), std::string("1\0"
                                                                           "1847\0"
                                                                           "2\0System\0\0",
                                                                           17));
}

TEST_F(CounterToolsTest, FailedLoadsChangeNothing) {
  std::string before = Snapshot();
  EXPECT_EQ(Lodctr("C:\\missing.ini"), 1);
  WriteFile("broken.ini", "[info]\ndrivername=TREVAN\n[languages]\n009=E\n[text]\nA_009_NAME=x\n");
  EXPECT_EQ(Lodctr("C:\\broken.ini"), 1);
  WriteFile("unknown.ini",
            "[info]\ndrivername=NOSUCH\n[languages]\n009=E\n[text]\n"
            "A_009_NAME=a\nA_009_HELP=h\n");
  EXPECT_EQ(Lodctr("C:\\unknown.ini"), 1);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(Value(std::string(kServices) + "NOSUCH", "x"), "<no key>");
  EXPECT_EQ(Value(kPerflib, "Last Counter"), "<no key>");

  ASSERT_EQ(Lodctr("C:\\perfctr.ini"), 0);
  std::string loaded = Snapshot();
  EXPECT_EQ(Lodctr("C:\\perfctr.ini"), 1);  // loaded already: unload first
  EXPECT_EQ(Snapshot(), loaded);
}

TEST_F(CounterToolsTest, UnloadOfAnUnknownDriverChangesNothing) {
  EXPECT_EQ(Unlodctr("TREVAN"), 1);  // nothing loaded yet
  ASSERT_EQ(Lodctr("C:\\perfctr.ini"), 0);
  std::string loaded = Snapshot();
  EXPECT_EQ(Unlodctr("NOSUCH"), 1);
  EXPECT_EQ(Unlodctr("OTHER"), 1);
  EXPECT_EQ(Snapshot(), loaded);
}

TEST_F(CounterToolsTest, UnloadKeepsOtherDriversNamesAndTheirIndexes) {
  CreateKey(std::string(kServices) + "OTHER");
  WriteFile("other.ini",
            "[info]\ndrivername=OTHER\n[languages]\n009=English\n007=German\n[text]\n"
            "OBJ_009_NAME=Other\nOBJ_009_HELP=Other help.\n"
            "OBJ_007_NAME=Andere\nOBJ_007_HELP=Andere Hilfe.\n");
  ASSERT_EQ(Lodctr("C:\\perfctr.ini"), 0);
  ASSERT_EQ(Lodctr("C:\\other.ini"), 0);
  EXPECT_EQ(Number(std::string(kServices) + "OTHER\\Performance", "First Counter"), 8u);
  EXPECT_EQ(Value(std::string(kPerflib) + "\\007", "Counter"), std::string("8\0Andere\0\0", 10));

  ASSERT_EQ(Unlodctr("TREVAN"), 0);
  // The other driver's names stay where they are; the table's end stays behind them.
  EXPECT_EQ(Number(kPerflib, "Last Counter"), 8u);
  EXPECT_EQ(Number(kPerflib, "Last Help"), 9u);
  EXPECT_EQ(Value(std::string(kPerflib) + "\\009", "Counter"), std::string("1\0"
                                                                           "1847\0"
                                                                           "2\0System\0"
                                                                           "8\0Other\0\0",
                                                                           25));
  // Loading again takes fresh indexes after them.
  ASSERT_EQ(Lodctr("C:\\perfctr.ini"), 0);
  EXPECT_EQ(Number(TrevanPerformance(), "First Counter"), 10u);

  ASSERT_EQ(Unlodctr("OTHER"), 0);
  EXPECT_EQ(Value(std::string(kPerflib) + "\\007", "Counter"), std::string("\0", 1));
  EXPECT_EQ(Number(kPerflib, "Last Counter"), 12u);
}

}  // namespace
