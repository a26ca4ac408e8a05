// Exact texts of the page fragments, and the installed templates with every tag filled.
#include "web/fragments.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "web_fixture.h"

namespace tikora::web {
namespace {

TEST(FragmentsTest, OptionListsFollowTheSettings) {
  TConfig config(ConfigVariant::Web);
  const std::vector<std::string> codes{"A", "B"};
  struct Case {
    bool visible, forced;
    const char* select;
    const char* html;
  };
  const Case cases[] = {
      {true, false, "B", "\t\t\t<OPTION></OPTION>\t\t\t<OPTION>A</OPTION>\t\t\t<OPTION SELECTED>B</OPTION>"},
      {true, true, "", "\t\t\t<OPTION>A</OPTION>\t\t\t<OPTION>B</OPTION>"},
      {false, false, "A", ""},
  };
  for (const Case& c : cases) {
    config.JobCodeVis = config.ClientVis = c.visible;
    config.ForceJobCode = config.ForceClient = c.forced;
    EXPECT_EQ(JobCodeOptions(config, codes, c.select), c.html);
    EXPECT_EQ(ClientOptions(config, codes, c.select), c.html);
  }

  // LastAcct: the selected account, else the first one, else empty.
  const struct {
    std::vector<std::string> accounts;
    const char* select;
    const char* last;
  } accounts[] = {{{"X", "Y"}, "Y", "Y"}, {{"X", "Y"}, "Z", "X"}, {{}, "Z", ""}};
  for (const auto& a : accounts) {
    config.LastAcct = "old";
    AccountOptions(config, a.accounts, true, a.select);
    EXPECT_EQ(config.LastAcct, a.last);
  }
}

TEST(FragmentsTest, BlocksAndItemRowsAreExact) {
  TConfig config(ConfigVariant::Web);
  EXPECT_EQ(SelectBlock("Job <Code>", "JobCode", "OPTS"),
            "\t<TR>\r\n\r\n\t\t<TD COLSPAN=\"2\">Job &lt;Code&gt;</TD>\r\n\r\n\t</TR>\r\n\r\n"
            "\t<TR>\r\n\r\n\t\t<TD COLSPAN=\"2\">\r\n\r\n\t\t\t<SELECT NAME=\"JobCode\">\r\n\r\n"
            "OPTS\t\t\t</SELECT>\r\n\r\n\t\t</TD>\r\n\r\n\t</TR>\r\n\r\n");
  EXPECT_EQ(ItemRows(config, {}),
            "\t<TR>\r\n\t\t<TD WIDTH=\"50%\">Item</TD>\r\n\t\t<TD WIDTH=\"50%\">Amount</TD>\r\n"
            "\t</TR>\r\n\t<TR>\r\n\t\t<TD WIDTH=\"50%\">\r\n\t\t\t<SELECT NAME=\"Item\">\r\n"
            "\t\t\t<OPTION></OPTION>\t\t\t</SELECT>\r\n\t\t</TD>\r\n\t\t<TD WIDTH=\"50%\">\r\n"
            "\t\t\t<SELECT NAME=\"Amount\">\r\n\t\t\t<OPTION SELECTED>0</OPTION>\r\n"
            "\t\t\t<OPTION>1</OPTION>\r\n\t\t\t<OPTION>2</OPTION>\r\n\t\t\t<OPTION>3</OPTION>\r\n"
            "\t\t\t<OPTION>4</OPTION>\r\n\t\t\t<OPTION>5</OPTION>\r\n\t\t\t</SELECT>\r\n"
            "\t\t</TD>\r\n\t</TR>\r\n");
  EXPECT_NE(ItemRows(config, {"KM", "MEAL"}).find(
                "<OPTION></OPTION>\t\t\t<OPTION SELECTED>KM</OPTION>\t\t\t<OPTION>MEAL</OPTION>"),
            std::string::npos);
  config.ItemVis = false;
  EXPECT_EQ(ItemRows(config, {"KM"}), "");
}

TEST(FragmentsTest, GridRowQuotesEveryValue) {
  TConfig config(ConfigVariant::Web);
  config.JobCodeVis = config.ClientVis = false;
  const std::string grid =
      TimeSheetGrid(config, {{"A"}, {}, {}}, {"A;;;8;;;;;;;two words \"quoted\""});
  const std::string first_row = grid.substr(0, grid.find("  <TR>", 2));
  EXPECT_EQ(first_row,
            "  <TR>\r\n"
            "    <TD width=\"9%\"><SELECT name=\"Account0\">\t\t\t<OPTION></OPTION>\t\t\t"
            "<OPTION SELECTED>A</OPTION></SELECT><INPUT type=\"hidden\" name=\"OrigAccount0\" "
            "value=\"A\"><INPUT type=\"hidden\" name=\"OrigJobCode0\" value=\"\"><INPUT "
            "type=\"hidden\" name=\"OrigClient0\" value=\"\"><INPUT type=\"hidden\" "
            "name=\"OrigComments0\" value=\"two words &quot;quoted&quot;\"></TD>\r\n"
            "    <TD width=\"9%\"><SELECT name=\"JobCode0\"></SELECT></TD>\r\n"
            "    <TD width=\"9%\"><SELECT name=\"Client0\"></SELECT></TD>\r\n"
            "    <TD width=\"4%\"><INPUT size=\"2\" name=\"D10\" value=\"8\"></TD>\r\n"
            "    <TD width=\"4%\"><INPUT size=\"2\" name=\"D20\" value=\"\"></TD>\r\n"
            "    <TD width=\"4%\"><INPUT size=\"2\" name=\"D30\" value=\"\"></TD>\r\n"
            "    <TD width=\"4%\"><INPUT size=\"2\" name=\"D40\" value=\"\"></TD>\r\n"
            "    <TD width=\"4%\"><INPUT size=\"2\" name=\"D50\" value=\"\"></TD>\r\n"
            "    <TD width=\"4%\"><INPUT size=\"2\" name=\"D60\" value=\"\"></TD>\r\n"
            "    <TD width=\"4%\"><INPUT size=\"2\" name=\"D70\" value=\"\"></TD>\r\n"
            "    <TD width=\"45%\"><INPUT size=\"40\" name=\"Comments0\" "
            "value=\"two words &quot;quoted&quot;\"></TD></TR>\r\n");
  EXPECT_NE(grid.find("<INPUT size=\"40\" name=\"Comments9\"></TD></TR>\r\n"), std::string::npos);
  EXPECT_EQ(grid.find("Comments10"), std::string::npos);
}

// The installed templates: every tag filled for a logged-in user.
class InstalledTemplatesTest : public test::WebTest {};

TEST_F(InstalledTemplatesTest, EveryTagIsFilled) {
  for (const char* name : {"login.html", "main.html", "timesheet.html"}) {
    std::ifstream in(std::string(TIKORA_SOURCE_DIR) + "/install/TIKFiles/" + name);
    std::ofstream(folder_ + "TIKFiles/" + name) << in.rdbuf();
  }
  const Response login = Send("GET", {});
  LogIn("alice", "secret");
  PunchIn("ADMIN", "09:00");
  const Response main = Get({{"Page", "Main"}, {"Action", "bill"}});
  const Response sheet = Get({{"Page", "Main"}, {"Action", "tsheet"}});
  const std::regex tag("[%#][A-Z_][A-Z0-9_]*[%#]");
  for (const Response* page : {&login, &main, &sheet}) {
    EXPECT_EQ(page->Status(), 200);
    EXPECT_FALSE(std::regex_search(page->Body(), tag)) << page->Body().substr(0, 400);
  }
  EXPECT_NE(main.Body().find("data-in-time=\"09:00\""), std::string::npos);
  EXPECT_NE(sheet.Body().find("name=\"D70\""), std::string::npos);
}

}  // namespace
}  // namespace tikora::web
