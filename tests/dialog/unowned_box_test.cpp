// A box asked for by another thread (the worker's own, owned by no window): the headless
// host carries it to the user-interface thread, and the asking thread waits until it is
// closed.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/headless/headless_host.h"
#include "platform/msgbox.h"

using namespace std::chrono_literals;
using platform::headless::HeadlessHost;
using platform::headless::Owner;

TEST(UnownedBox, TheWorkerWaitsUntilTheUserInterfaceThreadClosesIt) {
  HeadlessHost host;
  std::atomic<int> returned{0};
  std::thread worker([&] {
    platform::ShowUnownedMessageBox("Opening the package file is failed!", "Error");
    returned = 1;
  });
  // Nothing answers the box yet: the worker stays blocked.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(returned.load(), 0);
  EXPECT_TRUE(host.MessageBoxes().empty());

  int answered = 0;
  for (int i = 0; i < 100 && answered == 0; ++i) answered += host.PumpUnownedBoxes(20ms);
  worker.join();
  EXPECT_EQ(answered, 1);
  EXPECT_EQ(returned.load(), 1);
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  EXPECT_EQ(host.MessageBoxes()[0].text, "Opening the package file is failed!");
  EXPECT_EQ(host.MessageBoxes()[0].caption, "Error");
  EXPECT_EQ(host.MessageBoxes()[0].owner, Owner::None);
  EXPECT_TRUE(host.MessageBoxes()[0].fromOtherThread);
}

TEST(UnownedBox, SeveralWorkersAreAnsweredInTurn) {
  HeadlessHost host;
  std::atomic<int> done{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i)
    workers.emplace_back([&, i] {
      std::string text = "box " + std::to_string(i);
      platform::ShowUnownedMessageBox(text.c_str(), "错误");
      ++done;
    });
  int answered = 0;
  for (int k = 0; k < 400 && answered < 4; ++k) answered += host.PumpUnownedBoxes(10ms);
  for (auto& t : workers) t.join();
  EXPECT_EQ(answered, 4);
  EXPECT_EQ(done.load(), 4);
  EXPECT_EQ(host.MessageBoxes().size(), 4u);
}

TEST(UnownedBox, OnTheUserInterfaceThreadItIsAnsweredAtOnce) {
  HeadlessHost host;
  platform::ShowUnownedMessageBox("CRC error!", "Error");
  ASSERT_EQ(host.MessageBoxes().size(), 1u);
  EXPECT_FALSE(host.MessageBoxes()[0].fromOtherThread);
}
