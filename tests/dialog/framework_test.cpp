// The framework's neutral rules: sorted combo boxes, prefix search, file filters and
// patterns, mnemonics, and the event table's dispatch.
#include <gtest/gtest.h>

#include "platform/dialog.h"
#include "platform/headless/headless_host.h"

using namespace platform;

TEST(SortedInsert, PlacesWithoutRegardToCase) {
  struct Row {
    std::vector<std::string> items;
    std::string text;
    std::size_t at;
  } rows[] = {
      {{}, "x", 0},
      {{"中文"}, "English", 0},  // ASCII sorts before the bytes of a CJK character
      {{"English"}, "中文", 1},
      {{"apple", "Cherry"}, "banana", 1},
      {{"apple", "Cherry"}, "CHERRY", 2},  // equal items: after the ones already there
      {{"b"}, "A", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(SortedInsertIndex(r.items, r.text), r.at) << r.text;
}

TEST(FindItemByPrefix, FirstFromTheTopWithoutRegardToCase) {
  const std::vector<std::string> items = {"eth0 Intel...IP:10.0.0.12", "eth0 Intel...IP:10.0.0.1", "wlan0...IP:0.0.0.0"};
  struct Row {
    int start;
    std::string prefix;
    int found;
  } rows[] = {
      {-1, "eth0 intel...ip:10.0.0.1", 0},  // 10.0.0.1 is a prefix of 10.0.0.12, which comes first
      {-1, "ETH0 INTEL...IP:10.0.0.1", 0},
      {0, "eth0", 1},                       // searching after item 0
      {1, "eth0", 0},                       // wraps round to the top
      {-1, "WLAN", 2},
      {-1, "eth1", CB_ERR},
      {-1, "", 0},
      {-1, "eth0 Intel...IP:10.0.0.12 and more", CB_ERR},
  };
  for (const Row& r : rows) EXPECT_EQ(FindItemByPrefix(items, r.start, r.prefix), r.found) << r.prefix;
  EXPECT_EQ(FindItemByPrefix({}, -1, ""), CB_ERR);
}

TEST(FileFilter, SplitsIntoPairs) {
  auto pairs = ParseFileFilter("Upgrade Files (*.bin)|*.bin|All Files(*.*)|*.*|");
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].first, "Upgrade Files (*.bin)");
  EXPECT_EQ(pairs[0].second, "*.bin");
  EXPECT_EQ(pairs[1].first, "All Files(*.*)");
  EXPECT_EQ(pairs[1].second, "*.*");
  auto exe = ParseFileFilter("WinRAR execution (*.exe)|*.exe|All Files(*.*)|*.*|");
  ASSERT_EQ(exe.size(), 2u);
  EXPECT_EQ(exe[0].second, "*.exe");
  EXPECT_TRUE(ParseFileFilter("").empty());
}

TEST(FilePattern, HasTheWindowsMeaning) {
  struct Row {
    const char* name;
    const char* pattern;
    bool match;
  } rows[] = {
      {"fw.bin", "*.bin", true},     {"FW.BIN", "*.bin", true},  {"fw.bin.txt", "*.bin", false},
      {"README", "*.*", true},       {"a.b.c", "*.*", true},     {"", "*.*", true},
      {"x.exe", "*.exe", true},      {"x.ex", "*.exe", false},   {"ab.bin", "?b.bin", true},
      {"abc.bin", "?b.bin", false},  {"fw.bin", "fw*", true},    {"winrar.exe", "WinRAR.exe", true},
  };
  for (const Row& r : rows) EXPECT_EQ(MatchesFilePattern(r.name, r.pattern), r.match) << r.name << " " << r.pattern;
  EXPECT_TRUE(MatchesFilePatternList("a.trx", "*.bin; *.trx"));
  EXPECT_FALSE(MatchesFilePatternList("a.exe", "*.bin;*.trx"));
}

TEST(Mnemonics, AreStrippedAsShown) {
  EXPECT_EQ(StripMnemonics("About KAV(&A)..."), "About KAV(A)...");
  EXPECT_EQ(StripMnemonics("Modem&&Router"), "Modem&Router");
  EXPECT_EQ(StripMnemonics("plain"), "plain");
  EXPECT_EQ(StripMnemonics("end&"), "end");
}

namespace {

const ControlTemplate kControls[] = {
    {10, ControlKind::PushButton, kCtlTabStop, 0, 0, 10, 10, "A", nullptr, nullptr},
    {11, ControlKind::Edit, 0, 0, 20, 10, 10, nullptr, nullptr, nullptr},
};
const DialogTemplate kTemplate = {900, 100, 50, "Times New Roman", 10, kDlgSysMenu, "T", kControls, 2, nullptr, 0};

class TwoHandlers : public CDialog {
 public:
  TwoHandlers() : CDialog(kTemplate, nullptr) {}
  std::vector<std::string> calls;
  std::string text = "bound";
  void First() { calls.push_back("first"); }
  void Second() { calls.push_back("second"); }
  void Tick(unsigned id) { calls.push_back("tick " + std::to_string(id)); }
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, 11, text); }
  const EventTable* GetEventTable() const override { return &kTable; }
  static const EventEntry kEntries[];
  static const EventTable kTable;
};
const EventEntry TwoHandlers::kEntries[] = {
    {EventKind::Command, 10, &Handler<TwoHandlers, &TwoHandlers::First>},
    {EventKind::Command, 10, &Handler<TwoHandlers, &TwoHandlers::Second>},
    {EventKind::Timer, 0, &TimerHandler<TwoHandlers, &TwoHandlers::Tick>},
};
const EventTable TwoHandlers::kTable = {kEntries, 3};

}  // namespace

TEST(EventTable, TheFirstMatchingEntryRunsAndTheRestGoesToTheBase) {
  headless::HeadlessHost host;
  TwoHandlers dlg;
  host.OnShow(900, [&](headless::HeadlessWindow& w) {
    EXPECT_EQ(w.Control(11).text, "bound");  // UpdateData(false) in the base initialisation
    w.Dialog().SetTimer(1, 10);
    EXPECT_TRUE(w.Click(10));
    EXPECT_TRUE(w.TickTimer(1));
    EXPECT_FALSE(w.TickTimer(2));
    w.SetControlText(11, "typed");
    w.PressEnter();  // focus on the push button: Enter presses it
    EXPECT_FALSE(w.Ended());
    w.SetFocus(11);
    w.PressEnter();  // the base OnOK: UpdateData(true), then the end
    EXPECT_TRUE(w.Ended());
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.calls, (std::vector<std::string>{"first", "tick 1", "first"}));
  EXPECT_EQ(dlg.text, "typed");
}

TEST(EventTable, DisabledControlsCannotBeClicked) {
  headless::HeadlessHost host;
  TwoHandlers dlg;
  host.OnShow(900, [&](headless::HeadlessWindow& w) {
    w.EnableControl(10, false);
    EXPECT_FALSE(w.Click(10));
    w.CloseBox();
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(dlg.calls.empty());
}
