// --printer-data files in regedit's syntax and encodings, and --set.
#include <gtest/gtest.h>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

class PrinterData : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    // Gray 160 prints only with a threshold of 160 or more.
    Image image = PatternImage(24, 8, {{0, 0, 0}, {160, 160, 160}, {255, 255, 255}}, 2);
    m_image = image;
    WriteFile(Path("in.pgm"), PnmBytes(image, '5'));
  }

  // The stream printed with these arguments; empty when printing failed.
  RunResult Print(std::vector<std::string> args) {
    args.insert(args.begin(), {"print", Path("in.pgm"), "-o", Path("out.qxvn")});
    return RunQxvn(args);
  }

  std::string Stream(std::vector<std::string> args) {
    RunResult r = Print(std::move(args));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? ReadFile(Path("out.qxvn")) : "";
  }

  Image m_image;
};

const char kReg[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; exported from the printer's key\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Label\\PrinterDriverData]\r\n"
    "\"GrayThreshold\"=dword:00000064\r\n"
    "\"Unused\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\r\n"
    "  18,19,1a\r\n"
    "\"Note\"=\"a \\\"quoted\\\" text\"\r\n"
    "\"grayTHRESHOLD\"=dword:000000a0\r\n"
    "\"PrintDarkness\"=hex(4):0c,00,00,00\r\n";

TEST_F(PrinterData, RegFilesInUtf8AndUtf16GiveTheSameJobAndLaterValuesWin) {
  WriteFile(Path("utf8.reg"), kReg);
  WriteFile(Path("utf16.reg"), Utf16Le(kReg));
  std::string plain = Stream({});
  std::string fromUtf8 = Stream({"--printer-data", Path("utf8.reg")});
  EXPECT_EQ(fromUtf8, Stream({"--printer-data", Path("utf16.reg")}));
  // The later threshold (160) won over 100, case aside; hex(4) is a REG_DWORD darkness of 12.
  EXPECT_EQ(fromUtf8, Stream({"--set", "GrayThreshold=160", "--set", "PrintDarkness=0xC"}));
  EXPECT_NE(fromUtf8, plain);
  ASSERT_EQ(RunQxvn({"decode", Path("out.qxvn"), "-o", Path("out.png")}).status, 0);
  EXPECT_TRUE(SameDots(ReadPreview(Path("out.png")), ExpectedPrint(m_image, {.threshold = 160})));
  EXPECT_NE(RunQxvn({"dump", Path("out.qxvn")}).out.find("DARKNESS      12"), std::string::npos);
}

TEST_F(PrinterData, ValuesOfTheWrongTypeAreIgnoredByThePlugIn) {
  WriteFile(Path("types.reg"),
            "REGEDIT4\n"
            "\"GrayThreshold\"=\"160\"\n"
            "\"Rotation\"=hex:01,00,00,00\n"
            "\"PrintDarkness\"=hex(5):00,00,00,0a\n"
            "\"PrintSpeed\"=dword:00000001\n"
            "\"PrintSpeed\"=-\n");
  EXPECT_EQ(Stream({"--printer-data", Path("types.reg")}), Stream({}));
  // --set comes after the file.
  EXPECT_EQ(Stream({"--printer-data", Path("types.reg"), "--set", "GrayThreshold=160"}),
            Stream({"--set", "GrayThreshold=160"}));
}

TEST_F(PrinterData, AMalformedLineIsAnErrorNamingFileAndLine) {
  struct Case {
    const char* text;
    const char* line;
  } cases[] = {
      {"REGEDIT4\n\"A\"=dword:1\n\"B\"=dword:123456789\n", ":3: "},
      {"\"A\"=word:1\n", ":1: "},
      {"\n\n\"A\"=hex:01,zz\n", ":3: "},
      {"\"A\"=hex:01,\\\n", ":1: "},
      {"\"A=dword:1\n", ":1: "},
      {"[Key\n", ":1: "},
      {"\"A\"=\"text\" tail\n", ":1: "},
      {"\"A\"=dword:1\nREGEDIT4\n", ":2: "},
      {"just words\n", ":1: "},
  };
  for (const Case& c : cases) {
    WriteFile(Path("bad.reg"), c.text);
    WriteFile(Path("out.qxvn"), "earlier");
    RunResult r = Print({"--printer-data", Path("bad.reg")});
    EXPECT_EQ(r.status, 1) << c.text;
    EXPECT_NE(r.err.find("bad.reg" + std::string(c.line)), std::string::npos) << c.text << " gave " << r.err;
    EXPECT_EQ(ReadFile(Path("out.qxvn")), "earlier");
  }
  WriteFile(Path("be.reg"), "\xFE\xFF\0R");
  EXPECT_EQ(Print({"--printer-data", Path("be.reg")}).status, 1);
  WriteFile(Path("nobom.reg"), std::string("\"\0A\0\"\0", 6));
  EXPECT_EQ(Print({"--printer-data", Path("nobom.reg")}).status, 1);
}

TEST_F(PrinterData, SetTakesDecimalOrHexNumbersOnly) {
  EXPECT_EQ(Stream({"--set", "GrayThreshold=160"}), Stream({"--set", "GRAYTHRESHOLD=0xa0"}));
  for (const char* bad :
       {"GrayThreshold", "=5", "GrayThreshold=-1", "GrayThreshold=4294967296", "G=0x", "G=1e3"}) {
    RunResult r = Print({"--set", bad});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--set"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace qxtest
