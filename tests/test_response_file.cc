// The response file of unattended installations.
#include <gtest/gtest.h>

#include "ui/console/response_file.h"
#include "ui/option_dlg.h"

namespace {

TEST(ResponseFile, ReadsEveryKeyCommentsAndTheSection) {
  ResponseFile r;
  std::string error;
  ASSERT_TRUE(
      ParseResponseFile("\xEF\xBB\xBF# made by an editor that writes a BOM\r\n"
                        "[options]\n"
                        "; another comment\n"
                        "  folder =  /opt/中文 bank  \n"
                        "start_menu=no\ndesktop = true\nquick_launch = 0\nautostart = 1\n",
                        &r, &error))
      << error;
  EXPECT_EQ(r.folder.value_or(""), "/opt/中文 bank");
  EXPECT_EQ(r.checks, (std::map<int, bool>{{COptionDlg::kStartMenu, false},
                                           {COptionDlg::kDesktop, true},
                                           {COptionDlg::kQuickLaunch, false},
                                           {COptionDlg::kAutoStart, true}}));
  ASSERT_TRUE(ParseResponseFile("", &r, &error));
  EXPECT_FALSE(r.folder.has_value()) << "a key that is missing keeps the page's default";
  EXPECT_TRUE(r.checks.empty());
}

TEST(ResponseFile, ErrorsNameTheLine) {
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"desktop = no\n\nDesktop = no\n", "line 3: unknown key \"Desktop\""},
      {"desktop = no ; not a comment\n", "line 1: bad value \"no ; not a comment\" for desktop"},
      {"folder =\n", "line 1: folder is empty"},
      {"[install]\n", "line 1: unknown section [install] (only [options])"},
      {"# fine\nno equals sign\n", "line 2: expected key = value"},
  };
  for (const Case& c : cases) {
    ResponseFile r;
    std::string error;
    EXPECT_FALSE(ParseResponseFile(c.text, &r, &error)) << c.text;
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.text;
  }
  // A huge bad key is not quoted whole.
  ResponseFile r;
  std::string error;
  EXPECT_FALSE(ParseResponseFile(std::string(60000, 'k') + " = 1\n", &r, &error));
  EXPECT_LE(error.size(), 200u);
  EXPECT_EQ(error.rfind("line 1: unknown key", 0), 0u);
}

}  // namespace
