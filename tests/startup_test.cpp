// The socket start-up step, with the platform's start-up replaced.

#include "console/startup.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

bool fails() { return false; }
bool succeeds() { return true; }

std::string printed_by(bool (*start)(), bool* started) {
  testing::internal::CaptureStdout();
  *started = start_socket_library(start);
  return testing::internal::GetCapturedStdout();
}

TEST(SocketStartUp, OnlyAFailureIsSaidAndStopsTheRun) {
  bool started = true;
  EXPECT_EQ(printed_by(fails, &started), "Winsock init error\n");
  EXPECT_FALSE(started);
  EXPECT_EQ(printed_by(succeeds, &started), "");
  EXPECT_TRUE(started);
  started = false;
  EXPECT_EQ(printed_by(platform_start_sockets, &started), "");
  EXPECT_TRUE(started) << "the platform's own library";
}

}  // namespace
