// The event source's rules, as tables: each case is a run told as steps (looks at the shared
// state, pass ends noted by the worker's hook, the worker's end) and the events it must give,
// written compactly: S started, P<n>:<seconds> pass complete, B<n> outage begun,
// E<n>:<seconds> outage ended, C file changed, T stopped, F:<seconds>/<result> finished.
// The counter runs at 1000 ticks a second, so ticks are milliseconds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "transmit/events.h"
#include "transmit/state.h"

namespace {

enum class Do { Look, PassEnd, Finish };

struct Step {
  Do what;
  std::int64_t ms;
  std::uint64_t sent;      // g_qwDatagramsSent at that moment
  std::uint32_t retries = 0;
  bool wait = false;
  bool stop = false;
  bool changed = false;
  std::int32_t result = TX_OK;  // Finish only
};

struct Case {
  const char* name;
  Step start;  // the state the run starts on (a Look)
  std::vector<Step> steps;
  const char* events;
};

std::string Written(const STxEvent& e) {
  char text[64];
  switch (e.kind) {
    case TxEventKind::Started: return "S";
    case TxEventKind::PassComplete: std::snprintf(text, sizeof text, "P%u:%.1f", e.dwPass, e.dSeconds); break;
    case TxEventKind::OutageBegun: std::snprintf(text, sizeof text, "B%u", e.dwOutage); break;
    case TxEventKind::OutageEnded: std::snprintf(text, sizeof text, "E%u:%.1f", e.dwOutage, e.dSeconds); break;
    case TxEventKind::FileChanged: return "C";
    case TxEventKind::Stopped: return "T";
    case TxEventKind::Finished: std::snprintf(text, sizeof text, "F:%.1f/%d", e.dSeconds, static_cast<int>(e.nResult)); break;
  }
  return text;
}

STxObservation Seen(const Step& s) {
  STxObservation o;
  o.qwTicks = s.ms;
  o.qwDatagramsSent = s.sent;
  o.dwRetryCount = s.retries;
  o.bAdapterWait = s.wait;
  o.bStopRequested = s.stop;
  o.bFileChanged = s.changed;
  return o;
}

std::string Replay(const Case& c, std::vector<STxEvent>* all = nullptr) {
  CTransmissionEvents events(1000);
  std::vector<STxEvent> out;
  events.Start(Seen(c.start), out);
  for (const Step& s : c.steps) {
    if (s.what == Do::PassEnd) events.NotePassDone(s.ms, s.sent);
    else if (s.what == Do::Look) events.Update(Seen(s), out);
    else events.Finish(Seen(s), s.result, out);
  }
  std::string text;
  for (const STxEvent& e : out) {
    if (!text.empty()) text += ' ';
    text += Written(e);
  }
  if (all != nullptr) *all = out;
  return text;
}

const Step L0{Do::Look, 0, 0};

const Case kCases[] = {
    {"passes timed from the start, then from each pass end; Stop once",
     L0,
     {{Do::PassEnd, 1000, 100}, {Do::PassEnd, 2000, 200}, {Do::Look, 2050, 205},
      {Do::PassEnd, 3500, 300}, {Do::Look, 3550, 300, 0, false, true}, {Do::Look, 3650, 300, 0, false, true},
      {Do::Finish, 3700, 300, 0, false, true}},
     "S P1:1.0 P2:1.0 P3:1.5 T F:3.7/0"},
    {"counts of earlier runs in the process are the base, not a failure",
     {Do::Look, 0, 5000, 3},
     {{Do::Look, 100, 5100, 3}, {Do::PassEnd, 1000, 6000}, {Do::Finish, 1100, 6100, 3}},
     "S P1:1.0 F:1.1/0"},
    {"waiting for the adapter: begins at the first look, ends once it sends again",
     L0,
     {{Do::Look, 500, 50, 0, true}, {Do::Look, 600, 50, 0, true},
      {Do::Look, 700, 50, 0, false},  // set up again, nothing sent yet: still out
      {Do::Look, 3000, 60, 0, false}, {Do::PassEnd, 4000, 1060}, {Do::Look, 4100, 1160}},
     "S B1 E1:2.5 P1:1.0"},
    {"a datagram not sent and the set-up at once good again: a short outage",
     L0,
     {{Do::Look, 500, 50, 1, false}, {Do::Look, 600, 150, 1, false}},
     "S B1 E1:0.1"},
    {"failures during an outage make no second one; the next failure after it does",
     L0,
     {{Do::Look, 500, 50, 1, true}, {Do::Look, 600, 50, 2, true}, {Do::Look, 700, 50, 3, false},
      {Do::Look, 800, 60, 3, false}, {Do::Look, 900, 70, 4, false}, {Do::Look, 1000, 80, 4, false}},
     "S B1 E1:0.3 B2 E2:0.1"},
    {"a pass end noted before the failure in one look comes first",
     L0,
     {{Do::PassEnd, 400, 40}, {Do::Look, 500, 50, 1, true}},
     "S P1:0.4 B1"},
    {"a pass sent whole inside one look during an outage: timed from the pass before, before the outage's end",
     L0,
     {{Do::Look, 500, 50, 0, true}, {Do::PassEnd, 800, 100}, {Do::Look, 900, 110, 0, false}},
     "S B1 P1:0.8 E1:0.4"},
    {"several passes between two looks keep their own times",
     L0,
     {{Do::PassEnd, 70, 7}, {Do::PassEnd, 140, 14}, {Do::PassEnd, 250, 21}, {Do::Look, 300, 25}},
     "S P1:0.1 P2:0.1 P3:0.1"},
    {"the file changed: once, from a look, not again at the end",
     L0,
     {{Do::Look, 500, 50, 0, false, false, true}, {Do::Look, 600, 50, 0, false, false, true},
      {Do::Finish, 700, 50, 0, false, false, true, TX_ERR_CHANGED}},
     "S C F:0.7/5"},
    {"the file changed, told only by the worker's result",
     L0,
     {{Do::Finish, 700, 50, 0, false, false, false, TX_ERR_CHANGED}},
     "S C F:0.7/5"},
    {"a changed file left by an earlier worker is not this run's",
     {Do::Look, 0, 0, 0, false, false, true},
     {{Do::Look, 100, 10, 0, false, false, true}, {Do::Finish, 200, 20, 0, false, false, true}},
     "S F:0.2/0"},
    {"... until it was cleared",
     {Do::Look, 0, 0, 0, false, false, true},
     {{Do::Look, 100, 10}, {Do::Look, 200, 20, 0, false, false, true}, {Do::Look, 300, 20, 0, false, false, true}},
     "S C"},
    {"the end brings the last pass ends and the Stop not yet seen, but no outage",
     L0,
     {{Do::Look, 100, 10}, {Do::PassEnd, 1000, 100}, {Do::Finish, 1050, 100, 1, false, true, false, TX_RETRY}},
     "S P1:1.0 T F:1.1/20"},
    {"stopped while waiting: the outage is left open, the end says the worker's result",
     L0,
     {{Do::Look, 100, 0, 0, true}, {Do::Look, 200, 0, 0, true, true}, {Do::Finish, 300, 0, 0, false, true, false, TX_ERR_NIC_ADDR}},
     "S B1 T F:0.3/16"},
    {"nothing after the end",
     L0,
     {{Do::Finish, 100, 0}, {Do::PassEnd, 150, 10}, {Do::Look, 200, 10, 1, true, true, true},
      {Do::Finish, 300, 10}},
     "S F:0.1/0"},
};

TEST(TransmissionEvents, Table) {
  for (const Case& c : kCases) EXPECT_EQ(Replay(c), c.events) << c.name;
}

// The counts every event carries: complete passes, outages and datagrams of this run so far.
TEST(TransmissionEvents, CountsOfTheRun) {
  const Case c{"", {Do::Look, 0, 1000, 7},
               {{Do::PassEnd, 1000, 1100}, {Do::Look, 1100, 1110, 8, true}, {Do::Look, 1500, 1120, 8, false},
                {Do::Finish, 1600, 1300, 8}},
               "S P1:1.0 B1 E1:0.4 F:1.6/0"};
  std::vector<STxEvent> all;
  ASSERT_EQ(Replay(c, &all), c.events);
  struct Want {
    std::uint32_t passes, outages;
    std::uint64_t datagrams;
  };
  const Want want[] = {{0, 0, 0}, {1, 0, 100}, {1, 1, 110}, {1, 1, 120}, {1, 1, 300}};
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].dwPass, want[i].passes) << i;
    EXPECT_EQ(all[i].dwOutage, want[i].outages) << i;
    EXPECT_EQ(all[i].qwDatagrams, want[i].datagrams) << i;
  }
}

// The worker notes pass ends while the looking thread takes them.
TEST(TransmissionEvents, PassEndsFromAnotherThread) {
  CTransmissionEvents events(1000);
  std::vector<STxEvent> out;
  events.Start(Seen(L0), out);
  constexpr std::uint32_t kPasses = 2000;
  std::thread worker([&events] {
    for (std::uint32_t i = 1; i <= kPasses; ++i) events.NotePassDone(i, i * 10ull);
  });
  std::uint32_t seen = 0;
  while (seen < kPasses) {
    out.clear();
    events.Update(Seen({Do::Look, 0, 0}), out);
    for (const STxEvent& e : out) {
      ASSERT_EQ(e.kind, TxEventKind::PassComplete);
      ASSERT_EQ(e.dwPass, ++seen);
    }
  }
  worker.join();
  EXPECT_EQ(events.Passes(), kPasses);
  EXPECT_EQ(events.Datagrams(), kPasses * 10ull);
}

}  // namespace
