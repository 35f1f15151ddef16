// The events of one transmission, as an operator's log or a script wants them: started, each
// pass complete, each outage begun and ended, the file changed under the sender, stopped,
// finished. They are derived from the transmission's shared state, looked at now and then by
// the thread that shows the transmission (the command line's loop every 100 ms; the window's
// timer could do the same), and from the worker's pass hook, which notes each pass end when it
// happens. No texts and no formatting here: the command line writes them as log lines or JSON.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

enum class TxEventKind {
  Started,
  PassComplete,
  OutageBegun,
  OutageEnded,
  FileChanged,
  Stopped,
  Finished,
};

struct STxEvent {
  TxEventKind kind = TxEventKind::Started;
  std::int64_t qwTicks = 0;  // counter time at which it happened (a pass end) or was seen
  // PassComplete: the pass's number in the run, from 1; every other event: the complete
  // passes so far.
  std::uint32_t dwPass = 0;
  // OutageBegun, OutageEnded: the outage's number in the run, from 1; every other event: the
  // outages so far.
  std::uint32_t dwOutage = 0;
  // PassComplete: how long the pass took; OutageEnded: how long the outage lasted; Finished:
  // how long the run lasted. Seconds.
  double dSeconds = 0;
  std::uint64_t qwDatagrams = 0;  // datagrams sent whole in the run up to this event
  std::int32_t nResult = 0;       // Finished: the worker's result (a TX_ code)
};

// One look at the shared state, at counter time `qwTicks`.
struct STxObservation {
  std::int64_t qwTicks = 0;
  std::uint64_t qwDatagramsSent = 0;  // g_qwDatagramsSent
  std::uint32_t dwRetryCount = 0;     // g_dwRetryCount
  bool bAdapterWait = false;          // g_bAdapterWait
  bool bStopRequested = false;        // g_nRunState is RUN_STOPPED
  bool bFileChanged = false;          // g_nResult is TX_ERR_CHANGED
};

// The shared state now.
STxObservation ObserveTransmission();

// One run's events. Start, Update and Finish are called by one thread (the one that looks at
// the state); NotePassDone by the worker, through the pass hook, at any time in between.
//
// - An outage begins at the first look that finds a datagram could not be sent (the retry
//   count went up) or the worker waiting for its adapter; it ends at the first look that
//   finds the worker no longer waiting and datagrams sent since it began. Its length runs
//   between those two looks.
// - A pass is timed from the end of the pass before it (from the start for the first), or
//   from the end of an outage when one ended since: after an outage the worker starts the
//   file again at its first datagram. Pass ends noted between two looks come out at the
//   second look, before the outage changes that look finds.
// - File changed: once, when the worker's result says so (seen by a look, or given to Finish);
//   a result that said so already at the start is an earlier worker's, until it is cleared.
// - Stopped: once, at the first look that finds a Stop requested (by the operator, or by the
//   command line after the passes asked for).
class CTransmissionEvents {
 public:
  explicit CTransmissionEvents(std::int64_t ticksPerSecond);

  // The run starts: `seen` is the state before the worker starts; its counts are the run's
  // base. Gives Started.
  void Start(const STxObservation& seen, std::vector<STxEvent>& out);
  // Worker thread: a pass ended at `ticks`, with `datagramsSent` (g_qwDatagramsSent) then.
  void NotePassDone(std::int64_t ticks, std::uint64_t datagramsSent);
  // What happened since the last look.
  void Update(const STxObservation& seen, std::vector<STxEvent>& out);
  // The worker ended with `result`: the last pass ends, FileChanged when the result says so
  // and it was not yet given, Stopped when not yet given, then Finished (its time the run's
  // length). No outage begins or ends at it; nothing comes after it.
  void Finish(const STxObservation& seen, std::int32_t result, std::vector<STxEvent>& out);

  // As of the last look.
  bool InOutage() const { return inOutage_; }
  double OutageSeconds(std::int64_t now) const { return Seconds(now - outageBegan_); }
  std::uint32_t Outages() const { return outages_; }
  std::uint32_t Passes() const { return passes_; }
  std::uint64_t Datagrams() const { return datagrams_; }

 private:
  struct PassEnd {
    std::int64_t ticks;
    std::uint64_t datagramsSent;
  };
  double Seconds(std::int64_t ticks) const;
  STxEvent Make(TxEventKind kind, std::int64_t ticks) const;
  void TakePassEnds(std::vector<STxEvent>& out);
  void TakeEndings(const STxObservation& seen, bool fileChanged, std::vector<STxEvent>& out);

  std::int64_t ticksPerSecond_;
  std::mutex mutex_;             // guards pending_
  std::vector<PassEnd> pending_;  // noted by the worker, not yet given out

  std::int64_t startTicks_ = 0;
  std::uint64_t baseSent_ = 0;
  std::uint32_t lastRetries_ = 0;
  std::uint64_t datagrams_ = 0;
  std::uint32_t passes_ = 0;
  std::int64_t lastPassEnd_ = 0;    // or the start
  std::int64_t lastOutageEnd_ = 0;  // or the start
  bool inOutage_ = false;
  std::int64_t outageBegan_ = 0;
  std::uint64_t sentAtOutage_ = 0;
  std::uint32_t outages_ = 0;
  bool fileChangedGiven_ = false;
  bool staleFileChanged_ = false;  // the result said so at the start, and has not been cleared since
  bool stoppedGiven_ = false;
  bool finished_ = false;
};
