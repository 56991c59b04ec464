// The line that deletes a file at the next restart on the Windows 95 family
// goes into the [Rename] section of wininit.ini and leaves the rest alone.
#include "engine/core/restart_deletion.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(RestartDeletionTest, RenameLineJoinsItsSection) {
  struct Case {
    const char* what;
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"no file yet", "", "[Rename]\r\nNUL=C:\\X~1\\SETUP.EXE\r\n"},
      {"a section of its own, in another letter case",
       "[rename]\r\nNUL=C:\\OLD.EXE\r\n[Other]\r\nA=1\r\n",
       "[rename]\r\nNUL=C:\\X~1\\SETUP.EXE\r\nNUL=C:\\OLD.EXE\r\n[Other]\r\nA=1\r\n"},
      {"other sections only, last line unended", "[Other]\r\nA=1",
       "[Other]\r\nA=1\r\n[Rename]\r\nNUL=C:\\X~1\\SETUP.EXE\r\n"},
      {"the header last, unended and indented", "[Other]\n  [Rename] ",
       "[Other]\n  [Rename] \r\nNUL=C:\\X~1\\SETUP.EXE\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WithRenameDeletion(c.before, "C:\\X~1\\SETUP.EXE"), c.after) << c.what;
  }
}

}  // namespace
}  // namespace tavrel
