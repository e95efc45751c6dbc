// kolvane-sim stopped by a signal: it takes its port link away and ends
// with status 0.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <string>

#include "tests/integration/sim_process.h"

namespace kolvane::test {
namespace {

bool LinkExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

TEST(SimulatorSignals, StopSignalsRemoveTheLinkAndExitZero) {
  for (const int signo : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signo);
    SimProcess sim({}, 4);
    ASSERT_TRUE(sim.Ready());
    const std::string link = sim.Dir() + "/com4";
    ASSERT_TRUE(LinkExists(link));
    EXPECT_EQ(sim.Stop(signo), 0);
    EXPECT_FALSE(LinkExists(link));
  }
}

}  // namespace
}  // namespace kolvane::test
