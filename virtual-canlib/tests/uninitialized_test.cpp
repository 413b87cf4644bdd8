// Calls before canInitializeLibrary, in a process of their own: the library's state is
// process-wide and a reset does not undo initialisation.
#include "virtual_canlib_fixture.h"

namespace {

TEST(BeforeInitialization, OpenIsRefusedAndNothingElseBreaks) {
  EXPECT_EQ(canERR_NOTINITIALIZED, canOpenChannel(0, 0));
  EXPECT_EQ(canERR_INVHANDLE, canBusOn(0));
  EXPECT_EQ(canERR_INVHANDLE, readFrame(0).status);
  char text[32];
  EXPECT_EQ(canOK, canGetErrorText(canERR_NOTINITIALIZED, text, sizeof text));
  EXPECT_STREQ("Library not initialized", text);
  EXPECT_EQ(canOK, vcanSetChannelCount(3));  // the control interface works at any time

  canInitializeLibrary();
  EXPECT_GE(canOpenChannel(2, 0), 0);
  canInitializeLibrary();  // may be called again
  EXPECT_GE(canOpenChannel(2, 0), 0);
}

}  // namespace
