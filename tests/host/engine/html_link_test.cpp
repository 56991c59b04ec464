#include "engine/core/html_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrel::html {
namespace {

TEST(HtmlLink, TurnsLinksIntoPaths) {
  struct Case {
    const char* link;
    const char* folder;
    const char* path;
  };
  const std::vector<Case> cases = {
      {"page2.htm", "C:\\Setup\\Support\\", "C:\\Setup\\Support\\page2.htm"},
      {"page2.htm", "C:\\Setup\\Support", "C:\\Setup\\Support\\page2.htm"},
      {"sub/page.htm#part", "C:\\S\\", "C:\\S\\sub\\page.htm"},
      {"run.exe?a=1#x", "C:\\S\\", "C:\\S\\run.exe"},
      {"..\\up.htm", "C:\\S\\T\\", "C:\\S\\up.htm"},
      {"./here/./x.htm", "C:\\S\\", "C:\\S\\here\\x.htm"},
      {"../../../../x.htm", "C:\\S\\", "C:\\x.htm"},
      {"\\root.htm", "D:\\S\\T\\", "D:\\root.htm"},
      {"E:\\abs\\..\\y.htm", "C:\\S\\", "E:\\y.htm"},
      {"e:/fwd/y.htm", "C:\\S\\", "e:\\fwd\\y.htm"},
      {"file:///C|/x/y.htm", "D:\\", "C:\\x\\y.htm"},
      {"FILE://C:/x/my%20page.htm#a", "D:\\", "C:\\x\\my page.htm"},
      {"file://server/share/x.htm", "D:\\", "\\\\server\\share\\x.htm"},
      {"\\\\server\\share\\..\\x.htm", "D:\\", "\\\\server\\share\\x.htm"},
      {"#anchor", "C:\\S\\", "C:\\S\\"},
      // Network paths need a server and a share, both names.
      {"\\\\server", "C:\\S\\", ""},
      {"\\\\..\\share\\x.htm", "C:\\S\\", ""},
      {"file://./c$/x.htm", "C:\\S\\", ""},
      {"x.htm", "", "x.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    EXPECT_EQ(LinkPath(c.link, c.folder), c.path);
  }
}

TEST(HtmlLink, TellsLocalLinksAndAnchors) {
  for (const char* local :
       {"page.htm", "C:\\x.htm", "c:/x", "file:///C|/x", "#top", "a.htm?q=b:c", "../x:y", ""}) {
    EXPECT_TRUE(IsLocalLink(local)) << local;
  }
  for (const char* remote : {"http://x", "HTTPS://x/a.htm", "mailto:a@b", "ftp://h", "x-y.z:1"}) {
    EXPECT_FALSE(IsLocalLink(remote)) << remote;
  }
  EXPECT_EQ(LinkAnchor("a.htm#part"), "part");
  EXPECT_EQ(LinkAnchor("#top"), "top");
  EXPECT_EQ(LinkAnchor("a.htm"), "");
}

}  // namespace
}  // namespace tavrel::html
