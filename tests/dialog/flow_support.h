// What the operator-flow tests share: a scratch folder, the headless host, an adapter list
// of the test's making, the archive tool at a place of the test's making, upgrade files made
// by the fixture builder, and the control states of the transmission in one row.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "exit_guard.h"
#include "platform/headless/headless_host.h"
#include "scratch.h"
#include "tools/mkfile/builder.h"
#include "transmit/sender.h"
#include "transmit/state.h"
#include "ui/workdlg.h"

namespace flow {

using platform::headless::HeadlessHost;
using platform::headless::HeadlessWindow;

inline std::vector<platform::AdapterInfo> g_adapters;
inline platform::AdapterListStatus FakeAdapters(std::vector<platform::AdapterInfo>& out) {
  out = g_adapters;
  return g_adapters.empty() ? platform::AdapterListStatus::NoAdapters : platform::AdapterListStatus::Ok;
}
inline platform::AdapterInfo Adapter(const std::string& description, const std::string& ip) {
  platform::AdapterInfo a;
  a.description = description;
  a.ipv4 = ip;
  return a;
}

inline std::string g_strDefaultRar;
inline const char* DefaultRar() { return g_strDefaultRar.c_str(); }

// An upgrade package the analysis accepts, with version "2.4.1", of at least `size` bytes.
inline mkfile::CFileImage GoodPackage(std::uint64_t size = 0x10000) {
  mkfile::SPackagePlan p;
  p.strVersion = "2.4.1";
  mkfile::SUnitPlan boot;
  boot.strName = "BOOT";
  mkfile::SUnitPlan router;
  router.strName = "ROUTER";
  mkfile::SUnitPlan modem;
  modem.strName = "MODEM";
  p.units = {boot, router, modem};
  p.qwSize = size;
  return mkfile::BuildPackage(p);
}

// The enabled state of the controls that the transmission changes.
struct SControls {
  bool bStart, bStop, bRefresh, bOpen, bNic;
  bool operator==(const SControls&) const = default;
};
inline SControls ControlsOf(const HeadlessWindow& w) {
  return {w.Control(IDC_BTN_START).enabled, w.Control(IDC_BTN_STOP).enabled, w.Control(IDC_BTN_REFRESH).enabled,
          w.Control(IDC_BTN_OPEN).enabled, w.Control(IDC_COMBO_NIC).enabled};
}
inline std::ostream& operator<<(std::ostream& os, const SControls& c) {
  return os << "Start " << c.bStart << ", Stop " << c.bStop << ", Refresh " << c.bRefresh << ", Open " << c.bOpen
            << ", adapter box " << c.bNic;
}
inline constexpr SControls kIdleReady{true, false, true, true, true};    // a good file chosen
inline constexpr SControls kIdleNoFile{false, false, true, true, true};  // as the window opens
inline constexpr SControls kSending{false, true, false, false, false};

// Waits until `done` holds, up to `limit`; answers whether it held.
template <class F>
bool WaitFor(F done, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class FlowTestBase : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetTransmissionState();
    g_adapters = {Adapter("eth0 Intel", "10.0.0.12"), Adapter("wlan0", "0.0.0.0")};
    g_pfnListAdapters = &FakeAdapters;
    g_strDefaultRar = dir.Path("rar");
    ScratchFolder::Write(g_strDefaultRar, "archiver");
    g_pfnDefaultArchiveToolPath = &DefaultRar;
  }
  void TearDown() override {
    // A worker still running is told to stop and given time to end (its box answered).
    g_bSending = 0;
    g_nRunState = RUN_STOPPED;
    EXPECT_TRUE(WaitFor([&] {
      host.PumpUnownedBoxes();
      return TransmissionWorkersRunning() == 0;
    })) << "a worker did not end";
    g_pfnListAdapters = &platform::ListAdapters;
    g_pfnDefaultArchiveToolPath = &DefaultArchiveToolPath;
    g_pfnTransmissionProc = &TransmissionThreadProc;
    ResetTransmissionState();
  }

  std::string Write(const std::string& name, const mkfile::CFileImage& image) const {
    const std::string path = dir.Path(name);
    EXPECT_TRUE(image.WriteTo(path));
    return path;
  }
  // The operator chooses `path` through Open.
  void Choose(HeadlessWindow& w, const std::string& path) {
    host.AnswerFileDialog(path);
    ASSERT_TRUE(w.Click(IDC_BTN_OPEN));
  }
  // Runs the main window with this driver.
  void Run(HeadlessHost::Driver driver) {
    CWorkDlg dlg;
    host.OnShow(IDD_WORK_DIALOG, std::move(driver));
    dlg.DoModal();
  }
  std::size_t Boxes() const { return host.MessageBoxes().size(); }
  std::string LastBox() const {
    if (host.MessageBoxes().empty()) return "(none)";
    const auto& b = host.MessageBoxes().back();
    return b.caption + ": " + b.text;
  }

  ScratchFolder dir;
  HeadlessHost host;
};

}  // namespace flow
