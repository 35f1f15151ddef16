// The operator flow on the headless host: file choice and analysis, Start, the timer and
// Stop with their control states and messages, window destruction, the force flag and the
// worker's parameter. The worker is a recorder here, or the real one on an adapter index
// that matches nothing (it then retries without ever sending).
#include <atomic>
#include <cstring>
#include <mutex>

#include "flow_support.h"
#include "inspect/trace.h"
#include "platform/msgbox.h"
#include "res/texts.h"
#include "platform/sendlock.h"
#include "transmit/datagram.h"
#include "transmit/reconnect.h"

using namespace flow;
using platform::headless::Owner;

namespace {

std::mutex g_paramMutex;
std::vector<std::intptr_t> g_params;
std::uint32_t RecordingProc(std::intptr_t param) {
  std::lock_guard<std::mutex> lock(g_paramMutex);
  g_params.push_back(param);
  return 0;
}
std::vector<std::intptr_t> Params() {
  std::lock_guard<std::mutex> lock(g_paramMutex);
  return g_params;
}

class FlowTest : public FlowTestBase {
 protected:
  void SetUp() override {
    FlowTestBase::SetUp();
    {
      std::lock_guard<std::mutex> lock(g_paramMutex);
      g_params.clear();
    }
    g_pfnTransmissionProc = &RecordingProc;
    good = Write("fw.bin", GoodPackage());
  }
  std::string good;
};

}  // namespace

TEST_F(FlowTest, ControlStatesAfterEachEvent) {
  Run([&](HeadlessWindow& w) {
    struct Step {
      const char* name;
      std::function<void()> act;
      SControls after;
      bool timer;
    } steps[] = {
        {"window opened", [] {}, kIdleNoFile, false},
        {"good file chosen", [&] { Choose(w, good); }, kIdleReady, false},
        {"Start", [&] { ASSERT_TRUE(w.Click(IDC_BTN_START)); }, kSending, true},
        {"timer sees a retry",
         [&] {
           g_nResult = TX_RETRY;
           w.TickTimer(1);
         },
         kSending, true},
        {"timer sees result 2",
         [&] {
           g_nResult = TX_ERR_OPEN;
           w.TickTimer(1);
         },
         kIdleReady, true},  // the timer keeps running after a fatal result
        {"Start again", [&] { ASSERT_TRUE(w.Click(IDC_BTN_START)); }, kSending, true},
        {"timer sees a retry, Start had been enabled",
         [&] {
           w.EnableControl(IDC_BTN_START, true);
           g_nResult = TX_RETRY;
           w.TickTimer(1);
         },
         kSending, true},
        {"Stop", [&] { ASSERT_TRUE(w.Click(IDC_BTN_STOP)); }, kIdleReady, false},
    };
    for (const Step& s : steps) {
      s.act();
      EXPECT_EQ(ControlsOf(w), s.after) << s.name;
      EXPECT_EQ(w.Timers().count(1) == 1, s.timer) << s.name;
      if (s.timer) {
        EXPECT_EQ(w.Timers().at(1), 10u) << s.name;
      }
      // The force check box and the language box are never touched by the transmission.
      EXPECT_TRUE(w.Control(IDC_CHECK_FORCE).enabled) << s.name;
      EXPECT_TRUE(w.Control(IDC_COMBO_LANGUAGE).enabled) << s.name;
    }
    EXPECT_EQ(g_nRunState.load(), RUN_STOPPED);
    ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
    EXPECT_EQ(Params(), (std::vector<std::intptr_t>{0, 0}));
    ASSERT_EQ(Boxes(), 1u);
    EXPECT_EQ(LastBox(), "Error: Opening the package file is failed!");
  });
}

TEST_F(FlowTest, StartAndStopSetTheSharedState) {
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    g_dwPacketNo = 77;
    g_dwPassCount = 5;
    g_nRunState = RUN_STOPPED;
    g_nResult = 20;
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(g_dwPacketNo.load(), 0u);
    EXPECT_EQ(g_dwPassCount.load(), 0u);
    EXPECT_EQ(g_nRunState.load(), RUN_STARTED);
    EXPECT_EQ(g_nResult.load(), 20);  // Start leaves the last result to the worker
    // The header template was measured for the chosen file.
    EXPECT_EQ(g_hdrTemplate.dwMagic, kDatagramMagic);
    EXPECT_EQ(g_hdrTemplate.dwTotalLen, 0x10000u);
    EXPECT_EQ(g_hdrTemplate.dwPacketCount, 64u);
    g_bSending = 1;
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    EXPECT_EQ(g_bSending.load(), 0);
    EXPECT_EQ(g_nRunState.load(), RUN_STOPPED);
  });
}

TEST_F(FlowTest, StopRebuildsTheAdapterListAsRefreshDoes) {
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_NIC, 1));  // remembered: wlan0
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    g_adapters = {Adapter("eth1", "10.0.0.9"), Adapter("wlan0", "0.0.0.0"), Adapter("eth0 Intel", "10.0.0.12")};
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).items,
              (std::vector<std::string>{"eth1...IP:10.0.0.9", "wlan0...IP:0.0.0.0", "eth0 Intel...IP:10.0.0.12"}));
    EXPECT_EQ(w.Control(IDC_COMBO_NIC).curSel, 1);
  });
}

TEST_F(FlowTest, TheWorkerGetsTheAdapterBoxSelection) {
  struct Row {
    const char* name;
    std::vector<platform::AdapterInfo> adapters;
    int select;  // -1: leave the box as it starts
    std::intptr_t param;
  } rows[] = {
      {"first entry preselected", {Adapter("a", "1.1.1.1"), Adapter("b", "2.2.2.2")}, -1, 0},
      {"second entry chosen", {Adapter("a", "1.1.1.1"), Adapter("b", "2.2.2.2")}, 1, 1},
      {"no adapter: nothing selected", {}, -1, -1},
  };
  for (const Row& r : rows) {
    std::filesystem::remove(dir.Path("ip.bak"));
    dir.FreshRuntime();
    g_adapters = r.adapters;
    {
      std::lock_guard<std::mutex> lock(g_paramMutex);
      g_params.clear();
    }
    Run([&](HeadlessWindow& w) {
      Choose(w, good);
      if (r.select >= 0) {
        ASSERT_TRUE(w.SelectItem(IDC_COMBO_NIC, r.select));
      }
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
      EXPECT_EQ(Params(), std::vector<std::intptr_t>{r.param}) << r.name;
      w.Click(IDC_BTN_STOP);
    });
  }
}

TEST_F(FlowTest, AnalysisSetsTheStateTable) {
  mkfile::SPackagePlan brokenPlan;
  brokenPlan.units = {mkfile::SUnitPlan{}};
  brokenPlan.units[0].formats = {mkfile::SFormatPlan{2, false}};  // a package that fails its units
  brokenPlan.qwSize = 0x10000;
  mkfile::SImagePlan imagePlan;
  mkfile::SImageUnitPlan unit;
  unit.dwDataLen = 1000;
  unit.strInfo = "APP:Q770:5.6.7";
  imagePlan.units = {unit, unit};
  imagePlan.qwSize = 0x10000;
  mkfile::CFileImage small;
  small.Resize(0xFFFF);

  struct Row {
    const char* name;
    std::string path;
    bool start;
    int policy;
    std::string version;
    std::string box;  // "" for none
  } rows[] = {
      {"package", good, true, 1, "Version: 2.4.1", ""},
      {"package named BIN", Write("FW.BIN", GoodPackage()), true, 1, "Version: 2.4.1", ""},
      {"image unit file", Write("img.bin", mkfile::BuildImage(imagePlan)), true, 1, "Version: 5.6.7", ""},
      {"trx", Write("fw.trx", mkfile::BuildTrx({0x100000, "Q770", "1.2.3"})), true, 2, "Version: 1.2.3", ""},
      {"trx with an empty version", Write("empty.trx", mkfile::BuildTrx({0x100000, "Q770", ""})), true, 2,
       "Version: ", ""},
      {"trx too small", Write("small.trx", mkfile::BuildTrx({0xFFFFF, "Q770", "1.2.3"})), false, 2,
       "The size of firmware file seems wrong!", ""},
      {"trx without its tag", Write("tag.trx", mkfile::BuildTrx({0x100000, "Q771", "1.2.3"})), false, 2,
       "Analyse file version failed! Please check your file!", ""},
      {"bin too small", Write("small.bin", small), false, 1, "The size of firmware file seems wrong!", ""},
      {"bin of no known format", Write("broken.bin", mkfile::BuildPackage(brokenPlan)), false, 1,
       "Analyse file version failed! Please check your file!", "Error: the file is invalid!"},
      {"extension TRX", Write("fw.TRX", mkfile::BuildTrx({0x100000, "Q770", "1.2.3"})), false, 3,
       "Analyse file version failed! Please check your file!", ""},
      {"extension Bin", Write("fw.Bin", GoodPackage()), false, 3,
       "Analyse file version failed! Please check your file!", ""},
      {"no extension", Write("firmware", GoodPackage()), false, 3,
       "Analyse file version failed! Please check your file!", ""},
      {"removed since", dir.Path("gone.bin"), false, 1, "Analyse file version failed! Please check your file!", ""},
  };
  Run([&](HeadlessWindow& w) {
    for (const Row& r : rows) {
      g_nFilePolicy = 99;
      const std::size_t boxesBefore = Boxes();
      Choose(w, r.path);
      EXPECT_EQ(w.Control(IDC_BTN_START).enabled, r.start) << r.name;
      EXPECT_TRUE(w.Control(IDC_BTN_OPEN).enabled) << r.name;
      EXPECT_TRUE(w.Control(IDC_COMBO_LANGUAGE).enabled) << r.name;
      EXPECT_EQ(g_nFilePolicy.load(), r.policy) << r.name;
      EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, r.version) << r.name;
      EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, r.path) << r.name;
      EXPECT_STREQ(g_szFilePath, r.path.c_str()) << r.name;
      EXPECT_EQ(Boxes() - boxesBefore, r.box.empty() ? 0u : 1u) << r.name;
      if (!r.box.empty()) {
        EXPECT_EQ(LastBox(), r.box) << r.name;
        EXPECT_EQ(host.MessageBoxes().back().owner, Owner::Dialog) << r.name;
      }
    }
  });
}

namespace {
HeadlessWindow* g_pTracedWindow = nullptr;
struct SDuring {
  bool start, open, language;
  int policy;
  std::string version;
};
std::vector<SDuring> g_during;
void NoteStateAtTrace(const char*, std::size_t) {
  const HeadlessWindow& w = *g_pTracedWindow;
  g_during.push_back({w.Control(IDC_BTN_START).enabled, w.Control(IDC_BTN_OPEN).enabled,
                      w.Control(IDC_COMBO_LANGUAGE).enabled, g_nFilePolicy.load(), w.Control(IDC_STATIC_VERSION).text});
}
}  // namespace

TEST_F(FlowTest, DuringTheAnalysisOpenStartAndTheLanguageBoxAreDisabled) {
  mkfile::SPackagePlan plan;  // a package without its MODEM unit: traced, still accepted
  plan.strVersion = "3.0";
  plan.units = {mkfile::SUnitPlan{}};
  plan.qwSize = 0x10000;
  const std::string path = Write("traced.bin", mkfile::BuildPackage(plan));
  for (int language : {0, 1}) {
    dir.FreshRuntime();
    Run([&](HeadlessWindow& w) {
      g_nLanguage = language;
      Choose(w, good);  // Start enabled by an earlier good file
      ASSERT_TRUE(w.Control(IDC_BTN_START).enabled);
      g_nFilePolicy = 2;
      g_pTracedWindow = &w;
      g_during.clear();
      inspect::SetTraceSink(&NoteStateAtTrace);
      Choose(w, path);
      inspect::SetTraceSink(nullptr);
      ASSERT_FALSE(g_during.empty());
      for (const SDuring& d : g_during) {
        EXPECT_FALSE(d.start);
        EXPECT_FALSE(d.open);
        EXPECT_FALSE(d.language);
        EXPECT_EQ(d.policy, 3);
        EXPECT_EQ(d.version, language == 0 ? "Analysing the file version....." : "正在获取版本号，请稍等...");
      }
      EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, language == 0 ? "Version: 3.0" : "版本: 3.0");
    });
  }
}

TEST_F(FlowTest, ATrxThatPassedIsRefusedByStartWithoutBeingMeasured) {
  const std::string trx = Write("router.trx", mkfile::BuildTrx({0x100000, "Q770", "1.2.3"}));
  Run([&](HeadlessWindow& w) {
    Choose(w, trx);
    ASSERT_TRUE(w.Control(IDC_BTN_START).enabled);
    ASSERT_EQ(g_nFilePolicy.load(), 2);
    g_nRunState = RUN_STOPPED;
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(LastBox(), "Error: Parsing the file failed, maybe caused by unmatched upgrade policy!");
    EXPECT_EQ(g_hdrTemplate.dwMagic, 0u);  // MeasureBinFile was not called
    EXPECT_EQ(g_hdrTemplate.dwTotalLen, 0u);
    EXPECT_EQ(g_nRunState.load(), RUN_STOPPED);
    EXPECT_TRUE(w.Timers().empty());
    EXPECT_TRUE(Params().empty());
    EXPECT_EQ(ControlsOf(w), kIdleReady);
    EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, trx);  // the path stays
  });
}

// Names in other scripts: the path travels as UTF-8 from the file dialog to the analysis and
// to Start's open and measure (on Windows through the W functions).
TEST_F(FlowTest, AFileInAFolderWithAChineseName) {
  const std::string folder = dir.Path("固件 测试");
  ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::path(std::u8string(folder.begin(), folder.end()))));
  const std::string path = Write(std::string("固件 测试") + platform::PathSeparator() + "Prüfung.bin", GoodPackage());
  for (int language : {0, 1}) {
    dir.FreshRuntime();
    Run([&](HeadlessWindow& w) {
      g_nLanguage = language;
      Choose(w, path);
      EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, path);
      EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, language == 0 ? "Version: 2.4.1" : "版本: 2.4.1");
      ASSERT_TRUE(w.Control(IDC_BTN_START).enabled);
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      EXPECT_EQ(Boxes(), 0u);
      EXPECT_EQ(g_hdrTemplate.dwTotalLen, 0x10000u);  // Start measured the file
      EXPECT_EQ(ControlsOf(w), kSending);
      ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    });
  }
  EXPECT_TRUE(WaitFor([] { return Params().size() == 2; }));  // a worker was started each time
}

TEST_F(FlowTest, AFileRemovedAfterItWasChosen) {
  for (int language : {0, 1}) {
    dir.FreshRuntime();
    const std::string path = Write("removed.bin", GoodPackage());
    Run([&](HeadlessWindow& w) {
      g_nLanguage = language;
      Choose(w, path);
      ASSERT_TRUE(w.Control(IDC_BTN_START).enabled);
      std::filesystem::remove(path);
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      EXPECT_EQ(LastBox(), language == 0 ? "Error: Please make sure the file exist and it is readable!"
                                         : "错误: 请确认该文件存在并且可读!");
      EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, "");  // the field is emptied ...
      EXPECT_STREQ(g_szFilePath, path.c_str());      // ... the path itself stays
      EXPECT_TRUE(w.Timers().empty());
      EXPECT_TRUE(Params().empty());
      EXPECT_EQ(ControlsOf(w), kIdleReady);
    });
  }
}

TEST_F(FlowTest, AFolderInPlaceOfTheFileDoesNotStart) {
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    std::filesystem::remove(good);
    std::filesystem::create_directory(good);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(LastBox(), "Error: Please make sure the file exist and it is readable!");
    EXPECT_TRUE(Params().empty());
  });
}

TEST_F(FlowTest, TheFirstStartAfterAFatalResultStartsNothing) {
  struct Row {
    std::int32_t result;
    const char* box;
  } rows[] = {{TX_ERR_OPEN, "Error: Opening the package file is failed!"}, {TX_ERR_CRC, "Error: CRC error!"}};
  for (const Row& r : rows) {
    dir.FreshRuntime();
    {
      std::lock_guard<std::mutex> lock(g_paramMutex);
      g_params.clear();
    }
    Run([&](HeadlessWindow& w) {
      Choose(w, good);
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
      // The worker's send loop ended with the fatal result and left the flag set.
      g_bSending = 1;
      g_nResult = r.result;
      ASSERT_TRUE(w.TickTimer(1));
      EXPECT_EQ(LastBox(), r.box);
      EXPECT_EQ(g_nResult.load(), 0);
      const std::size_t boxes = Boxes();
      ASSERT_TRUE(w.TickTimer(1));  // no second box
      EXPECT_EQ(Boxes(), boxes);
      EXPECT_EQ(ControlsOf(w), kIdleReady);

      ASSERT_TRUE(w.Click(IDC_BTN_START));  // first press: only clears the flag
      EXPECT_EQ(g_bSending.load(), 0);
      EXPECT_EQ(Params().size(), 1u) << r.result;
      EXPECT_EQ(ControlsOf(w), kIdleReady);

      ASSERT_TRUE(w.Click(IDC_BTN_START));  // second press: a new transmission
      EXPECT_EQ(ControlsOf(w), kSending);
      ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
      EXPECT_EQ(Params().size(), 2u) << r.result;
    });
  }
}

TEST_F(FlowTest, ProgressAndCounters) {
  struct Row {
    const char* name;
    std::uint32_t length, packetNo, passes;
    int pos;  // -1: the bar is not touched
    const char* packetText;
    const char* passText;
  } rows[] = {
      {"before the first pass", 0, 5, 3, -1, "", ""},
      {"one byte", 1, 0, 0, 100, "0", "0"},
      {"1024 bytes", 1024, 0, 7, 100, "0", "7"},
      {"1025 bytes, first datagram", 1025, 0, 0, 0, "0", "0"},
      {"3,000,000 bytes at datagram 1000", 3000000, 1000, 1, 34, "1000", "1"},
      {"100 MiB at datagram 80,000", 100u << 20, 80000, 2, 78, "80000", "2"},
      {"150 MiB at its last datagram", 157286400, 153599, 0, 99, "153599", "0"},
      {"largest length, datagram just past the end", 0xFFFFFFFFu, 4194304, 0, 100, "4194304", "0"},
      {"largest length and counters", 0xFFFFFFFFu, 4194303, 4294967294u, 99, "4194303", "4294967294"},
      {"a stale datagram number from a longer file", 2048, 1000, 0, 100, "1000", "0"},
  };
  for (const Row& r : rows) {
    dir.FreshRuntime();
    Run([&](HeadlessWindow& w) {
      Choose(w, good);
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      w.SetProgressPos(IDC_PROGRESS, 55);
      const int repaints = w.Control(IDC_PROGRESS).repaints;
      g_dwFileLength = r.length;
      g_dwPacketNo = r.packetNo;
      g_dwPassCount = r.passes;
      ASSERT_TRUE(w.TickTimer(1));
      EXPECT_EQ(w.Control(IDC_PROGRESS).pos, r.pos < 0 ? 55 : r.pos) << r.name;
      EXPECT_EQ(w.Control(IDC_PROGRESS).repaints - repaints, r.pos < 0 ? 0 : 1) << r.name;
      EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, r.packetText) << r.name;
      EXPECT_EQ(w.Control(IDC_EDIT_SENDTIME).text, r.passText) << r.name;
      w.Click(IDC_BTN_STOP);
    });
  }
}

TEST(ProgressPosition, NeverOverflowsAndStaysInRange) {
  struct Row {
    std::uint32_t packetNo, length;
    int pos;
  } rows[] = {
      {0, 1, 100},           {5, 1024, 100},         {0, 1025, 0},
      {1, 2048, 50},         {1000, 3000000, 34},    {80000, 104857600, 78},
      {153599, 157286400, 99}, {0xFFFFFFFEu, 0xFFFFFFFFu, 100}, {4194303, 0xFFFFFFFFu, 99},
      {2097151, 0x80000000u, 99},  // 2097151 * 102400 overflows 32 bits
  };
  for (const Row& r : rows) EXPECT_EQ(ProgressPosition(r.packetNo, r.length), r.pos) << r.packetNo << "/" << r.length;
}

TEST_F(FlowTest, OpenIsRefusedWhileSending) {
  struct Row {
    int language;
    const char* box;  // nullptr: none
  } rows[] = {{0, "Prompt: Please stop sending package first before operation!"},
              {1, "提示: 请在停止发送升级包后进行该操作!"},
              {2, nullptr}};
  for (const Row& r : rows) {
    dir.FreshRuntime();
    Run([&](HeadlessWindow& w) {
      Choose(w, good);
      const std::size_t dialogs = host.FileDialogs().size();
      const std::size_t boxes = Boxes();
      g_nLanguage = r.language;
      g_bSending = 1;  // however Open came to be enabled, the flag decides
      host.AnswerFileDialog(dir.Path("other.bin"));
      ASSERT_TRUE(w.Click(IDC_BTN_OPEN));
      EXPECT_EQ(host.FileDialogs().size(), dialogs) << r.language;  // no file dialog
      EXPECT_EQ(Boxes() - boxes, r.box ? 1u : 0u) << r.language;
      if (r.box) {
        EXPECT_EQ(LastBox(), r.box);
      }
      EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, good);
      g_bSending = 0;
      w.Click(IDC_BTN_OPEN);  // takes the answer that was not asked for
    });
  }
}

TEST_F(FlowTest, CancellingTheFileDialogChangesNothing) {
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    const auto before = ControlsOf(w);
    const std::string version = w.Control(IDC_STATIC_VERSION).text;
    host.AnswerFileDialog(std::nullopt);
    ASSERT_TRUE(w.Click(IDC_BTN_OPEN));
    EXPECT_EQ(ControlsOf(w), before);
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, version);
    EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, good);
    EXPECT_STREQ(g_szFilePath, good.c_str());
    EXPECT_EQ(g_nFilePolicy.load(), 1);
    ASSERT_EQ(host.FileDialogs().size(), 2u);
    for (const auto& d : host.FileDialogs()) {
      EXPECT_EQ(d.filter, "Upgrade Files (*.bin)|*.bin|All Files(*.*)|*.*|");
      EXPECT_EQ(d.ownerTemplate, IDD_WORK_DIALOG);
    }
    // Cancelled before any choice: the window stays as it opened.
  });
  dir.FreshRuntime();
  ResetTransmissionState();
  Run([&](HeadlessWindow& w) {
    host.AnswerFileDialog(std::nullopt);
    ASSERT_TRUE(w.Click(IDC_BTN_OPEN));
    EXPECT_EQ(ControlsOf(w), kIdleNoFile);
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "");
    EXPECT_EQ(g_szFilePath[0], '\0');
    EXPECT_EQ(g_nFilePolicy.load(), 3);
  });
}

TEST_F(FlowTest, AChosenPathLongerThanTheSharedBufferIsCut) {
  Run([&](HeadlessWindow& w) {
    const std::string longPath = "/nowhere/" + std::string(2100, 'p') + ".bin";
    Choose(w, longPath);
    EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, longPath);
    EXPECT_EQ(std::strlen(g_szFilePath), kFilePathSize - 1);
    EXPECT_EQ(std::string(g_szFilePath), longPath.substr(0, kFilePathSize - 1));
    EXPECT_EQ(g_nFilePolicy.load(), 1);  // the extension of the whole name
  });
}

TEST_F(FlowTest, TheForceCheckBoxSetsTheFlag) {
  Run([&](HeadlessWindow& w) {
    struct Step {
      std::function<void()> act;
      std::uint16_t flag;
    } steps[] = {
        {[&] { w.Click(IDC_CHECK_FORCE); }, 1},
        {[&] { w.Click(IDC_CHECK_FORCE); }, 0},
        {[&] { w.Click(IDC_CHECK_FORCE); }, 1},
        // A third check state (not one of this box's) leaves the flag as it is.
        {[&] {
           w.SetCheck(IDC_CHECK_FORCE, 1);
           w.Dialog().Dispatch(platform::EventKind::Command, IDC_CHECK_FORCE);
           w.SetCheck(IDC_CHECK_FORCE, 2);
           w.Dialog().Dispatch(platform::EventKind::Command, IDC_CHECK_FORCE);
         },
         1},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
      steps[i].act();
      EXPECT_EQ(g_bForceUpgrade.load(), steps[i].flag) << i;
    }
    // While sending the box stays enabled and still sets the flag.
    Choose(w, good);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_TRUE(w.Click(IDC_CHECK_FORCE));
    EXPECT_EQ(g_bForceUpgrade.load(), 0);
  });
}

TEST_F(FlowTest, DestroyingTheWindowClearsTheFlagAndStopsTheTimer) {
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    g_bSending = 1;
    ASSERT_EQ(w.Timers().count(1), 1u);
    EXPECT_TRUE(w.Dialog().DestroyWindow());
    EXPECT_EQ(g_bSending.load(), 0);
    EXPECT_TRUE(w.Timers().empty());
    EXPECT_EQ(g_nRunState.load(), RUN_STARTED);  // the run state is left as it is
    g_bSending = 1;
    w.PressEscape();  // closing while sending: the host destroys the window
  });
  EXPECT_EQ(g_bSending.load(), 0);
  EXPECT_EQ(g_nRunState.load(), RUN_STARTED);
}

// --- the real worker on an adapter index that matches nothing --------------------------

TEST_F(FlowTest, StopWhileReconnecting) {
  g_adapters.clear();  // the box stays empty: index -1, which names no adapter
  g_pfnTransmissionProc = &TransmissionThreadProc;
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    ASSERT_EQ(w.Control(IDC_COMBO_NIC).curSel, platform::CB_ERR);
    g_nResult = 20;  // the last result of an earlier transmission
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(TransmissionWorkersRunning(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(w.TickTimer(1));
    EXPECT_EQ(ControlsOf(w), kSending);  // result 20: Stop stays enabled
    EXPECT_EQ(g_bSending.load(), 0);     // no set-up has succeeded
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    EXPECT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }, std::chrono::milliseconds(1000)));
    EXPECT_EQ(ControlsOf(w), (SControls{true, false, true, true, true}));
    EXPECT_EQ(g_nResult.load(), 20);  // the worker stored nothing
    EXPECT_TRUE(w.Timers().empty());
  });
}

TEST_F(FlowTest, StartWaitsForAnEarlierWorkerToEnd) {
  g_adapters.clear();
  g_pfnTransmissionProc = &TransmissionThreadProc;
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    for (int round = 0; round < 5; ++round) {
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    }
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    // The workers asked to stop ended before the new one began: one runs, not six.
    EXPECT_EQ(TransmissionWorkersRunning(), 1);
    // Start pressed while a worker still retries, never asked to stop (Start enabled as a
    // result left over from an earlier worker enables it): that one ends first.
    w.EnableControl(IDC_BTN_START, true);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(TransmissionWorkersRunning(), 1);
    EXPECT_EQ(g_nRunState.load(), RUN_STARTED);
    EXPECT_EQ(ControlsOf(w), kSending);
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    EXPECT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
  });
}

// --- the worker's own box -----------------------------------------------------------------

namespace {
std::atomic<bool> g_bBoxAsked{false};
// What the worker does when the file cannot be opened as its send loop begins: a set-up
// that succeeded, its own box (owned by no window), then result 2.
std::uint32_t OpenFailureProc(std::intptr_t) {
  g_bSending = 1;
  g_bBoxAsked = true;
  const int language = g_nLanguage;
  platform::ShowUnownedMessageBox(texts::MessageText(texts::Message::FileUnreadable, language),
                                  texts::CaptionText(texts::Caption::Error, language));
  g_nResult = TX_ERR_OPEN;
  return TX_ERR_OPEN;
}
}  // namespace

TEST_F(FlowTest, StopWhileTheWorkersOwnBoxIsOpen) {
  g_pfnTransmissionProc = &OpenFailureProc;
  g_bBoxAsked = false;
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    ASSERT_TRUE(WaitFor([] { return g_bBoxAsked.load(); }));
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));  // the box is still open
    EXPECT_TRUE(w.Timers().empty());
    EXPECT_EQ(TransmissionWorkersRunning(), 1);
    ASSERT_EQ(host.PumpUnownedBoxes(std::chrono::milliseconds(2000)), 1);  // the operator closes it
    ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
    ASSERT_EQ(Boxes(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].owner, Owner::None);
    EXPECT_EQ(LastBox(), "Error: Please make sure the file exist and it is readable!");
    EXPECT_EQ(g_nResult.load(), TX_ERR_OPEN);  // nothing shown: the timer was stopped
    EXPECT_EQ(ControlsOf(w), kIdleReady);

    // The next transmission's first tick shows the result left over, and sets the idle
    // states while the new worker runs.
    g_pfnTransmissionProc = &RecordingProc;
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(ControlsOf(w), kSending);
    ASSERT_TRUE(w.TickTimer(1));
    EXPECT_EQ(LastBox(), "Error: Opening the package file is failed!");
    EXPECT_EQ(host.MessageBoxes().back().owner, Owner::Dialog);
    EXPECT_EQ(ControlsOf(w), kIdleReady);
  });
}

// --- every message of the transmission and the file choice, in both languages ------------

TEST_F(FlowTest, EveryMessageInEachLanguage) {
  mkfile::SPackagePlan brokenPlan;
  brokenPlan.units = {mkfile::SUnitPlan{}};
  brokenPlan.units[0].formats = {mkfile::SFormatPlan{2, false}};
  brokenPlan.qwSize = 0x10000;
  const std::string broken = Write("broken.bin", mkfile::BuildPackage(brokenPlan));
  const std::string trx = Write("fw.trx", mkfile::BuildTrx({0x100000, "Q770", "1.2.3"}));
  struct Row {
    const char* name;
    std::function<void(HeadlessWindow&)> act;
    const char* english;
    const char* chinese;
  } rows[] = {
      {"file unreadable at Start",
       [&](HeadlessWindow& w) {
         Choose(w, good);
         std::filesystem::rename(good, good + ".away");
         w.Click(IDC_BTN_START);
         std::filesystem::rename(good + ".away", good);
       },
       "Error: Please make sure the file exist and it is readable!", "错误: 请确认该文件存在并且可读!"},
      {"policy",
       [&](HeadlessWindow& w) {
         Choose(w, trx);
         w.Click(IDC_BTN_START);
       },
       "Error: Parsing the file failed, maybe caused by unmatched upgrade policy!",
       "错误: 解析映像文件失败，可能原因是升级文件和升级策略不匹配!"},
      {"result 2",
       [&](HeadlessWindow& w) {
         Choose(w, good);
         w.Click(IDC_BTN_START);
         g_nResult = 2;
         w.TickTimer(1);
       },
       "Error: Opening the package file is failed!", "错误: 打开映像文件错误"},
      {"result 9",
       [&](HeadlessWindow& w) {
         Choose(w, good);
         w.Click(IDC_BTN_START);
         g_nResult = 9;
         w.TickTimer(1);
       },
       "Error: CRC error!", "错误: CRC校验错误"},
      {"Open while sending",
       [&](HeadlessWindow& w) {
         g_bSending = 1;
         w.Click(IDC_BTN_OPEN);
         g_bSending = 0;
       },
       "Prompt: Please stop sending package first before operation!", "提示: 请在停止发送升级包后进行该操作!"},
      {"invalid bin", [&](HeadlessWindow& w) { Choose(w, broken); }, "Error: the file is invalid!", "错误: 文件校验错误"},
  };
  for (const Row& r : rows) {
    for (int language : {0, 1, 2}) {
      dir.FreshRuntime();
      Run([&](HeadlessWindow& w) {
        g_nLanguage = language;
        const std::size_t before = Boxes();
        r.act(w);
        ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
        if (language == 2) {
          EXPECT_EQ(Boxes(), before) << r.name;  // no box; everything else still happens
        } else {
          ASSERT_EQ(Boxes(), before + 1) << r.name << " " << language;
          EXPECT_EQ(LastBox(), language == 0 ? r.english : r.chinese) << r.name;
          EXPECT_EQ(host.MessageBoxes().back().owner, Owner::Dialog) << r.name;
        }
      });
    }
  }
}

TEST_F(FlowTest, WithLanguageTwoEverythingButTheBoxesStillHappens) {
  Run([&](HeadlessWindow& w) {
    g_nLanguage = 2;
    Choose(w, good);
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "2.4.1");  // no prefix in no language
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    g_bSending = 1;
    g_nResult = TX_ERR_CRC;
    ASSERT_TRUE(w.TickTimer(1));
    EXPECT_EQ(g_nResult.load(), 0);
    EXPECT_EQ(ControlsOf(w), kIdleReady);
    EXPECT_EQ(Boxes(), 0u);
  });
}

TEST_F(FlowTest, AFileThatChangedUnderTheSenderIsToBeChosenAgain) {
  const struct {
    int language;
    const char* box;
  } rows[] = {{0, "Error: The package file has been changed since it was checked. Please choose it again!"},
              {1, "错误: 升级文件在检查之后被改动, 请重新选择该文件!"}};
  for (const auto& r : rows) {
    dir.FreshRuntime();
    Run([&](HeadlessWindow& w) {
      g_nLanguage = r.language;
      Choose(w, good);
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
      // The send loop found another file than the one measured: it cleared the flag.
      g_bSending = 0;
      g_nResult = TX_ERR_CHANGED;
      ASSERT_TRUE(w.TickTimer(1));
      EXPECT_EQ(LastBox(), r.box);
      EXPECT_EQ(g_nResult.load(), 0);
      EXPECT_EQ(ControlsOf(w), kIdleNoFile) << "Open is the way on; Start waits for a new choice";
      Choose(w, good);
      EXPECT_EQ(ControlsOf(w), kIdleReady);
    });
  }
}

TEST_F(FlowTest, StartIsRefusedOnAnAdapterAnotherProgramSendsOn) {
  platform::AdapterInfo eth0 = Adapter("eth0 Intel", "10.0.0.12");
  eth0.name = "flow-test-eth0";
  g_adapters = {eth0};
  std::unique_ptr<platform::AdapterSendLock> other;
  ASSERT_EQ(platform::TryLockAdapterForSending(eth0.name, &other), platform::SendLockStatus::Held);
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(LastBox(), "Error: Another program is sending on this network card!");
    EXPECT_EQ(ControlsOf(w), kIdleReady);
    EXPECT_TRUE(Params().empty());

    other.reset();  // the other program ended
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(ControlsOf(w), kSending);
    ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
    EXPECT_EQ(Params().size(), 1u);
    // The worker (a recorder here) never took the mark: it is still the window's to hand on.
    EXPECT_EQ(platform::TryLockAdapterForSending(eth0.name, &other), platform::SendLockStatus::Busy);
    TakeSendLock();
    EXPECT_EQ(platform::TryLockAdapterForSending(eth0.name, &other), platform::SendLockStatus::Held);
    w.Click(IDC_BTN_STOP);
  });
}

// When a handler disables the control that has the focus, the focus goes to the control
// the operator needs next, never on to the force check box, where Space would tick it.
TEST_F(FlowTest, TheFocusGoesWhereTheOperatorGoesNext) {
  mkfile::CFileImage small;
  small.Resize(0xFFFF);
  const std::string tooSmall = Write("small.bin", small);
  Run([&](HeadlessWindow& w) {
    struct Step {
      const char* name;
      std::function<void()> act;
      int focus;
    } steps[] = {
        {"window opened", [] {}, IDC_COMBO_NIC},
        {"a good file chosen", [&] { Choose(w, good); }, IDC_BTN_START},
        {"a file the analysis refuses", [&] { Choose(w, tooSmall); }, IDC_BTN_OPEN},
        {"the good file again", [&] { Choose(w, good); }, IDC_BTN_START},
        {"Start", [&] { ASSERT_TRUE(w.Click(IDC_BTN_START)); }, IDC_BTN_STOP},
        {"timer sees a retry",
         [&] {
           g_nResult = TX_RETRY;
           w.TickTimer(1);
         },
         IDC_BTN_STOP},
        {"timer sees result 9",
         [&] {
           g_bSending = 1;  // as the send loop leaves it on this path
           g_nResult = TX_ERR_CRC;
           w.TickTimer(1);
         },
         IDC_BTN_START},
        {"Start that only clears the flag", [&] { ASSERT_TRUE(w.Click(IDC_BTN_START)); }, IDC_BTN_START},
        {"Start", [&] { ASSERT_TRUE(w.Click(IDC_BTN_START)); }, IDC_BTN_STOP},
        {"Stop", [&] { ASSERT_TRUE(w.Click(IDC_BTN_STOP)); }, IDC_BTN_START},
        {"timer sees a changed file: Open is the way on",
         [&] {
           ASSERT_TRUE(w.Click(IDC_BTN_START));
           g_nResult = TX_ERR_CHANGED;
           w.TickTimer(1);
         },
         IDC_BTN_OPEN},
        {"the file chosen again", [&] { Choose(w, good); }, IDC_BTN_START},
        {"Start while the adapter box has the focus (Start disables it too)",
         [&] {
           ASSERT_TRUE(w.SetFocus(IDC_COMBO_NIC));
           w.Dialog().Dispatch(platform::EventKind::Command, IDC_BTN_START);
         },
         IDC_BTN_STOP},
        {"Stop while the force check box has the focus: it keeps it",
         [&] {
           ASSERT_TRUE(w.SetFocus(IDC_CHECK_FORCE));
           w.Dialog().Dispatch(platform::EventKind::Command, IDC_BTN_STOP);
         },
         IDC_CHECK_FORCE},
    };
    for (const Step& s : steps) {
      s.act();
      EXPECT_EQ(w.Focus(), s.focus) << s.name;
      EXPECT_TRUE(w.Control(w.Focus()).enabled) << s.name;
    }
  });
}

namespace {

// A worker that waits for its adapter (its set-ups fail) until the test lets its first
// datagram go out, then sends until it is stopped.
std::atomic<bool> g_bLetSend{false};
std::uint32_t WaitingProc(std::intptr_t) {
  g_bAdapterWait = 1;
  while (!g_bLetSend && g_nRunState != RUN_STOPPED) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (g_nRunState == RUN_STOPPED) {
    g_bAdapterWait = 0;
    return 0;
  }
  g_bSending = 1;
  g_dwFileLength = 0x10000;
  g_dwPacketNo = 1;
  g_bAdapterWait = 0;  // the first datagram goes out
  while (g_bSending == 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 0;
}

}  // namespace

// While the worker waits for its adapter the datagram field says so, in the operator's
// language; the first datagram, or Stop, takes the text away. Nothing else changes.
TEST_F(FlowTest, TheCountersSayWhileTheWorkerWaitsForItsAdapter) {
  g_pfnTransmissionProc = &WaitingProc;
  struct Case {
    const char* name;
    bool bSendAtLast;  // else Stop ends the wait
  } cases[] = {{"the first datagram ends the wait", true}, {"Stop ends the wait", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.FreshRuntime();
    std::filesystem::remove(dir.Path("ip.bak"));  // English again
    ResetTransmissionState();
    g_bLetSend = false;
    Run([&](HeadlessWindow& w) {
      Choose(w, good);
      ASSERT_TRUE(w.Click(IDC_BTN_START));
      ASSERT_TRUE(WaitFor([] { return g_bAdapterWait == 1; }));
      ASSERT_TRUE(w.TickTimer(1));
      EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "Waiting");
      EXPECT_EQ(w.Control(IDC_EDIT_SENDTIME).text, "");
      EXPECT_EQ(ControlsOf(w), kSending);  // Stop still ends it
      if (c.bSendAtLast) {
        // In Chinese from the next tick on.
        ASSERT_TRUE(w.SelectItem(IDC_COMBO_LANGUAGE, 1));
        ASSERT_TRUE(w.TickTimer(1));
        EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "等待网卡");
        // A retry the worker reported keeps the text (the result's refresh comes first).
        g_nResult = TX_RETRY;
        ASSERT_TRUE(w.TickTimer(1));
        EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "等待网卡");
        EXPECT_EQ(ControlsOf(w), kSending);
        g_nResult = 0;
        g_bLetSend = true;
        ASSERT_TRUE(WaitFor([] { return g_bAdapterWait == 0 && g_dwPacketNo == 1; }));
        ASSERT_TRUE(w.TickTimer(1));
        EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "1");
        EXPECT_EQ(w.Control(IDC_EDIT_SENDTIME).text, "0");
        ASSERT_TRUE(w.Click(IDC_BTN_STOP));
        EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "1");
      } else {
        ASSERT_TRUE(w.Click(IDC_BTN_STOP));
        EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "");  // what it showed before the wait
        EXPECT_EQ(ControlsOf(w), kIdleReady);
      }
      EXPECT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
    });
    EXPECT_TRUE(host.MessageBoxes().empty()) << LastBox();
  }
}

// The real worker on an empty adapter box (an index that names no adapter) waits, and the
// window says so until Stop.
TEST_F(FlowTest, TheRealWorkerWithoutAnAdapterShowsTheWait) {
  g_pfnTransmissionProc = &TransmissionThreadProc;
  g_adapters.clear();
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    ASSERT_EQ(w.Control(IDC_COMBO_NIC).curSel, platform::CB_ERR);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    ASSERT_TRUE(WaitFor([] { return g_bAdapterWait == 1; }));
    ASSERT_TRUE(w.TickTimer(1));
    EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "Waiting");
    EXPECT_EQ(ControlsOf(w), kSending);
    EXPECT_EQ(w.Focus(), IDC_BTN_STOP);
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    EXPECT_EQ(w.Control(IDC_EDIT_PACKETNO).text, "");
    EXPECT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
    EXPECT_EQ(g_bAdapterWait.load(), 0);
  });
}
