#include "tests/driver/driver_check.h"

#include <gtest/gtest.h>

#include <string>

namespace qxdriver {
namespace {

// The package as the source tree holds it; the built files only need to be there.
std::map<std::string, std::string> SourcePackage() {
  std::map<std::string, std::string> files = ReadFolder(QX_DRIVER_DIR);
  files["qxvnuni.dll"] = "MZ";
  files["qxvnui.dll"] = "MZ";
  files["qxvnconf.exe"] = "MZ";
  return files;
}

// Replaces the first `from` in `file` with `to`; the test fails when `from` is not there.
void Replace(std::map<std::string, std::string>& files, const std::string& file, const std::string& from,
             const std::string& to) {
  std::string& text = files.at(file);
  size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from << " is not in " << file;
  text.replace(at, from.size(), to);
}

std::string Joined(const std::vector<std::string>& problems) {
  std::string out;
  for (const std::string& p : problems) out += p + "\n";
  return out;
}

TEST(DriverPackage, SourcePackageIsSound) { EXPECT_EQ(Joined(CheckDriverPackage(SourcePackage())), ""); }

TEST(DriverPackage, BrokenCopyWithCallbackSevenAndMissingBraceFails) {
  auto files = SourcePackage();
  Replace(files, "qxvn.gpd", "*IPCallbackID: 5", "*IPCallbackID: 7");
  Replace(files, "qxvn.gpd", "    }\n}\n\n*Feature: Halftone", "}\n\n*Feature: Halftone");
  const std::string problems = Joined(CheckDriverPackage(files));
  EXPECT_NE(problems.find("*DrvBPP 24 with *IPCallbackID 5"), std::string::npos) << problems;
  EXPECT_NE(problems.find("not closed"), std::string::npos) << problems;
}

// A binary big enough to be checked: a version resource's strings, as windres lays them out.
std::string Binary(const std::string& version) {
  auto utf16 = [](const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out + std::string(2, '\0');
  };
  std::string bytes = "MZ" + std::string(2000, 'x');
  if (!version.empty()) bytes += utf16("VS_VERSION_INFO") + "...." + utf16("FileVersion") + utf16(version);
  return bytes;
}

TEST(DriverPackage, EveryBinaryCarriesTheDriverVersion) {
  auto files = SourcePackage();
  files["qxvnui.dll"] = Binary("1.0.0.0");
  EXPECT_EQ(Joined(CheckDriverPackage(files)), "");
  files["qxvnui.dll"] = Binary("");
  files["qxvnconf.exe"] = Binary("1.0.0.1");
  const std::string problems = Joined(CheckDriverPackage(files));
  EXPECT_NE(problems.find("qxvnui.dll has no version resource"), std::string::npos) << problems;
  EXPECT_NE(problems.find("qxvnconf.exe: its file version is not the INF's DriverVer version 1.0.0.0"),
            std::string::npos)
      << problems;
}

struct Fault {
  const char* what;
  const char* file;
  const char* from;
  const char* to;
  const char* reported;
};

class DriverFault : public testing::TestWithParam<Fault> {};

TEST_P(DriverFault, IsReported) {
  const Fault& f = GetParam();
  auto files = SourcePackage();
  if (std::string(f.from).empty())
    files.erase(f.file);
  else
    Replace(files, f.file, f.from, f.to);
  const std::string problems = Joined(CheckDriverPackage(files));
  EXPECT_NE(problems.find(f.reported), std::string::npos) << f.what << ":\n" << problems;
}

INSTANTIATE_TEST_SUITE_P(
    Gpd, DriverFault,
    testing::Values(
        Fault{"brace too many", "qxvn.gpd", "*Feature: Halftone", "}\n*Feature: Halftone", "closes nothing"},
        Fault{"quote left open", "qxvn.gpd", "*Name: \"48 x 76 mm\"", "*Name: \"48 x 76 mm",
              "quote is not closed"},
        Fault{"device bit depth", "qxvn.gpd", "*DevBPP: 0", "*DevBPP: 24",
              "*DevBPP: 0 and *DevNumOfPlanes: 0"},
        Fault{"device planes", "qxvn.gpd", "*DevNumOfPlanes: 0", "*DevNumOfPlanes: 1", "*DevNumOfPlanes: 0"},
        Fault{"32-bit bands", "qxvn.gpd", "*DrvBPP: 24", "*DrvBPP: 32", "the colour mode must be one"},
        Fault{"no carriage return command", "qxvn.gpd", "*Command: CmdCR { *Cmd: \"\" }", "",
              "*Command: CmdCR { *Cmd"},
        Fault{"no line feed command", "qxvn.gpd", "*Command: CmdLF { *Cmd: \"\" }", "",
              "*Command: CmdLF { *Cmd"},
        Fault{"no form feed command", "qxvn.gpd", "*Command: CmdFF { *Cmd: \"\" }", "",
              "*Command: CmdFF { *Cmd"},
        Fault{"no block data command", "qxvn.gpd", "*Command: CmdSendBlockData { *Cmd: \"\" }", "",
              "*Command: CmdSendBlockData { *Cmd"},
        Fault{"block data command without its *Cmd", "qxvn.gpd", "CmdSendBlockData { *Cmd: \"\" }",
              "CmdSendBlockData { }", "*Command: CmdSendBlockData { *Cmd"},
        Fault{"standard names without their library", "qxvn.gpd", "*ResourceDLL: \"unires.dll\"", "",
              "without *ResourceDLL"},
        Fault{"resolution", "qxvn.gpd", "*DPI: PAIR(300, 300)", "*DPI: PAIR(600, 600)", "PAIR(300, 300)"},
        Fault{"master units", "qxvn.gpd", "*MasterUnits: PAIR(300, 300)", "*MasterUnits: PAIR(600, 600)",
              "*MasterUnits"},
        Fault{"paper wider than the head", "qxvn.gpd", "*PrintableArea: PAIR(567, 898)",
              "*PrintableArea: PAIR(600, 898)", "wider than the 576-dot head"},
        Fault{"custom size past the head", "qxvn.gpd", "*MaxSize: PAIR(576, 11811)",
              "*MaxSize: PAIR(640, 11811)", "the custom size must reach"},
        Fault{"label size not in the list", "qxvn.gpd", "*PageDimensions: PAIR(295, 295)",
              "*PageDimensions: PAIR(295, 300)", "not the label sizes"},
        Fault{"default option missing", "qxvn.gpd", "*DefaultOption: Label48x76mm",
              "*DefaultOption: Label48x77mm", "default option 'Label48x77mm'"},
        Fault{"command with bytes", "qxvn.gpd", "*Cmd: \"\"", "*Cmd: \"<1B>@\"",
              "a command that sends bytes"}));

INSTANTIATE_TEST_SUITE_P(
    Inf, DriverFault,
    testing::Values(
        Fault{"data file not the description", "qxvn.inf", "DataFile=qxvn.gpd", "DataFile=qxvn2.gpd",
              "DataFile qxvn2.gpd"},
        Fault{"plug-in not in the package", "qxvnuni.dll", "", "", "does not hold qxvnuni.dll"},
        Fault{"copy section missing", "qxvn.inf", "CopyFiles=QXVN_FILES", "CopyFiles=QXVN_FILE",
              "[QXVN_FILE], which is missing"},
        Fault{"not for x64", "qxvn.inf", "%Maker%=QXVN,NTamd64", "%Maker%=QXVN", "not decorated for x64"},
        Fault{"string not defined", "qxvn.inf", "Disk=\"QXVN label printer driver\"", "", "%Disk%"},
        Fault{"model not the description's", "qxvn.inf",
              "\"QXVN LP2 Label Printer\"=", "\"QXVN LP3\"=", "not the printer description's *ModelName"},
        Fault{"driver files not from the system", "qxvn.inf", "Needs=UNIDRV.OEM", "", "Needs=UNIDRV.OEM"},
        Fault{"copied file not on the disk", "qxvn.inf", "qxvnuni.ini=1", "",
              "not in [SourceDisksFiles.amd64]"},
        Fault{"configuration names another plug-in", "qxvnuni.ini", "OEMDriverFile1=qxvnuni.dll",
              "OEMDriverFile1=other.dll", "names the plug-in other.dll, which is not installed"},
        Fault{"no catalog line", "qxvn.inf", "CatalogFile=qxvn.cat", "", "no CatalogFile=NAME.cat"},
        Fault{"catalog not a .cat", "qxvn.inf", "CatalogFile=qxvn.cat", "CatalogFile=qxvn.inf",
              "no CatalogFile=NAME.cat"},
        Fault{"user interface plug-in not in the package", "qxvnui.dll", "", "", "does not hold qxvnui.dll"},
        Fault{"user interface plug-in not installed", "qxvnuni.ini", "OEMConfigFile1=qxvnui.dll",
              "OEMConfigFile1=otherui.dll", "names the plug-in otherui.dll, which is not installed"},
        Fault{"comment as in other .ini files", "qxvnuni.ini", "# Names", "; Names",
              "start with '#', not ';'"},
        Fault{"script installs another driver", "install.ps1", "$DriverName = 'QXVN LP2 Label Printer'",
              "$DriverName = 'QXVN LP2'", "install.ps1: $DriverName is not the model's name"},
        Fault{"script signs another catalog", "install.ps1", "$CatalogName = 'qxvn.cat'",
              "$CatalogName = 'x.cat'", "$CatalogName is not the INF's CatalogFile"},
        Fault{"uninstall removes another driver", "uninstall.ps1", "$DriverName = 'QXVN LP2 Label Printer'",
              "$DriverName = 'Other'", "uninstall.ps1: $DriverName"},
        Fault{"space around the equals sign", "qxvnuni.ini",
              "OEMDriverFile1=", "OEMDriverFile1 = ", "no space may stand around '='"}));

}  // namespace
}  // namespace qxdriver
