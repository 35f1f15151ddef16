// What keeps a transmission on the chosen adapter: the adapter the window's box showed, the
// spacing of set-up attempts, the one-sender mark, and the stamp that tells a changed file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/adapterwatch.h"
#include "platform/filestamp.h"
#include "platform/openfile.h"
#include "platform/sendlock.h"
#include "tests/unit/temp_file.h"
#include "transmit/reconnect.h"

namespace {

platform::AdapterInfo Adapter(const std::string& name, const std::string& description, const std::string& ipv4) {
  platform::AdapterInfo a;
  a.name = name;
  a.description = description;
  a.ipv4 = ipv4;
  return a;
}

std::string Shown(const platform::AdapterInfo& a) { return platform::AdapterEntryText(a); }

TEST(ChosenAdapterTest, TheAdapterTheBoxShowedIsTakenByDescription) {
  const auto eth0 = Adapter("eth0", "eth0 Intel Ethernet", "10.0.0.1");
  const auto eth1 = Adapter("eth1", "eth1 Realtek USB", "10.0.1.1");
  const auto eth1NewAddress = Adapter("eth1", "eth1 Realtek USB", "10.0.1.99");
  const auto usb = Adapter("usb0", "usb0 " + std::string(60, 'x'), "10.0.2.1");  // cut at 45 bytes in the box
  const auto twinA = Adapter("{A}", "Intel(R) Ethernet", "10.0.3.1");
  const auto twinB = Adapter("{B}", "Intel(R) Ethernet", "10.0.4.1");
  struct Row {
    const char* what;
    std::vector<platform::AdapterInfo> now;  // the list at Start
    int index;                               // the box's selection
    std::string shown;                       // its text
    std::string want;                        // the name taken; "" for none
  } rows[] = {
      {"unchanged list", {eth0, eth1}, 1, Shown(eth1), "eth1"},
      {"an adapter before it went", {eth1}, 1, Shown(eth1), "eth1"},
      {"reordered: the index names another", {eth1, eth0}, 1, Shown(eth1), "eth1"},
      {"its address changed since the box was filled", {eth0, eth1NewAddress}, 1, Shown(eth1), "eth1"},
      {"the shown adapter is gone", {eth0}, 1, Shown(eth1), ""},
      {"the shown adapter is gone, another at its index", {eth0, usb}, 1, Shown(eth1), ""},
      {"a long description, cut in the box", {eth0, usb}, 1, Shown(usb), "usb0"},
      {"two alike, the index names one of them", {twinA, twinB}, 1, Shown(twinB), "{B}"},
      {"two alike, the index names neither", {eth0, twinA, twinB}, 0, Shown(twinB), ""},
      {"nothing selected", {eth0, eth1}, -1, "", ""},
      {"an empty list", {}, 0, Shown(eth0), ""},
  };
  for (const Row& r : rows) EXPECT_EQ(ChosenAdapterShown(r.now, r.index, r.shown).strName, r.want) << r.what;
}

TEST(ChosenAdapterTest, AnIndexNamesOnlyTheFirstTen) {
  std::vector<platform::AdapterInfo> list;
  for (int i = 0; i < 12; ++i) {
    const std::string name = std::string(1, 'e').append(std::to_string(i));
    list.push_back(Adapter(name, name, "0.0.0.0"));
  }
  EXPECT_EQ(ChosenAdapterAt(list, 9).strName, "e9");
  EXPECT_EQ(ChosenAdapterAt(list, 10).strName, "");
  EXPECT_EQ(ChosenAdapterAt(list, -1).strName, "");
}

TEST(ChosenAdapterTest, TheWorkerTakesWhatTheStarterLeftOnce) {
  SetChosenAdapter({"v7", "v7 test"});
  EXPECT_EQ(TakeChosenAdapter(-1).strName, "v7");
  EXPECT_EQ(TakeChosenAdapter(-1).strName, "");  // taken: the next worker without one gets none for -1
}

TEST(RetryDelayTest, DoublesFromFiftyMillisecondsToOneSecond) {
  const int want[] = {50, 100, 200, 400, 800, 1000, 1000, 1000};
  int delay = 0;
  for (int w : want) {
    delay = NextRetryDelayMs(delay);
    EXPECT_EQ(delay, w);
  }
  EXPECT_EQ(NextRetryDelayMs(0), kRetryFirstMs);  // after a set-up that sent: fast again
}

TEST(SendLockTest, OneHolderPerAdapter) {
  std::unique_ptr<platform::AdapterSendLock> first, second, other;
  ASSERT_EQ(platform::TryLockAdapterForSending("test-lock-a", &first), platform::SendLockStatus::Held);
  EXPECT_EQ(platform::TryLockAdapterForSending("test-lock-a", &second), platform::SendLockStatus::Busy);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(platform::TryLockAdapterForSending("test-lock-b", &other), platform::SendLockStatus::Held);
  first.reset();
  EXPECT_EQ(platform::TryLockAdapterForSending("test-lock-a", &second), platform::SendLockStatus::Held);
  EXPECT_EQ(platform::TryLockAdapterForSending("", &first), platform::SendLockStatus::Failed);
}

TEST(FileStampTest, TellsEveryChangeOfTheFile) {
  TempFile file(std::string(5000, 'a'));
  std::FILE* f = platform::OpenFileForReading(file.path().c_str());
  ASSERT_NE(f, nullptr);
  platform::FileStamp checked, now;
  ASSERT_TRUE(platform::StampOfOpenFile(f, &checked));
  ASSERT_TRUE(platform::StampOfPath(file.path().c_str(), &now));
  EXPECT_EQ(now, checked);
  EXPECT_EQ(checked.size, 5000);

  // Written in place, same size, a later time.
  std::filesystem::last_write_time(file.path(), std::filesystem::last_write_time(file.path()) + std::chrono::seconds(2));
  ASSERT_TRUE(platform::StampOfOpenFile(f, &now));
  EXPECT_NE(now, checked);
  EXPECT_EQ(now.size, 5000);
  ASSERT_TRUE(platform::StampOfOpenFile(f, &checked));

  // Cut short.
  std::filesystem::resize_file(file.path(), 100);
  ASSERT_TRUE(platform::StampOfOpenFile(f, &now));
  EXPECT_EQ(now.size, 100);
  EXPECT_NE(now, checked);
  std::fclose(f);
}

TEST(FileStampTest, TellsAFileReplacedUnderItsName) {
  TempFile file(std::string(300, 'a'));
  TempFile other(std::string(300, 'a'));
  platform::FileStamp before, after;
  ASSERT_TRUE(platform::StampOfPath(file.path().c_str(), &before));
  std::filesystem::last_write_time(other.path(), std::filesystem::last_write_time(file.path()));
  std::filesystem::rename(other.path(), file.path());  // same size, same time, another file
  ASSERT_TRUE(platform::StampOfPath(file.path().c_str(), &after));
  EXPECT_NE(after, before);
  EXPECT_NE(after.fileId, before.fileId);
}

TEST(FileStampTest, NothingButARegularFileHasOne) {
  platform::FileStamp stamp;
  const std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_FALSE(platform::StampOfPath(folder.c_str(), &stamp));
  EXPECT_FALSE(platform::StampOfPath((folder + "/upgrade-no-such-file.bin").c_str(), &stamp));
  EXPECT_EQ(platform::OpenFileForReading(folder.c_str()), nullptr);
}

}  // namespace

namespace {

// The system's own list (read only: nothing is sent): every adapter is found again by its name
// (on Windows its GUID) with the same index and address, also when it is chosen from the list
// in another order, as after the list changed.
TEST(AdapterByNameTest, EveryListedAdapterIsFoundByItsNameInAnyOrder) {
  std::vector<platform::AdapterInfo> list;
  if (platform::ListAdapters(list) != platform::AdapterListStatus::Ok) GTEST_SKIP() << "no adapters here";
  std::vector<platform::AdapterInfo> reversed(list.rbegin(), list.rend());
  for (std::size_t i = 0; i < list.size() && i < 10; ++i) {
    const SChosenAdapter chosen = ChosenAdapterShown(reversed, static_cast<std::int32_t>(i), Shown(list[i]));
    if (chosen.strName.empty()) continue;  // two adapters described alike: neither is taken
    EXPECT_EQ(chosen.strName, list[i].name);
    platform::AdapterInfo found;
    bool linkUp = false;
    ASSERT_TRUE(platform::FindAdapterByName(chosen.strName, &found, &linkUp)) << list[i].name;
    EXPECT_EQ(found.index, list[i].index) << list[i].name;
    EXPECT_EQ(found.ipv4, list[i].ipv4) << list[i].name;
  }
  platform::AdapterInfo none;
  bool linkUp = false;
  EXPECT_FALSE(platform::FindAdapterByName("{00000000-0000-0000-0000-000000000000}-none", &none, &linkUp));
}

}  // namespace
