#include "transmit/events.h"

#include <algorithm>

#include "platform/clock.h"
#include "transmit/state.h"

STxObservation ObserveTransmission() {
  STxObservation seen;
  // The counters before the flags: a look never finds the worker waiting again without the
  // datagrams it sent before it.
  seen.qwDatagramsSent = g_qwDatagramsSent.load();
  seen.dwRetryCount = g_dwRetryCount.load();
  seen.bAdapterWait = g_bAdapterWait.load() != 0;
  seen.bStopRequested = g_nRunState.load() == RUN_STOPPED;
  seen.bFileChanged = g_nResult.load() == TX_ERR_CHANGED;
  seen.qwTicks = platform::CounterNow();
  return seen;
}

CTransmissionEvents::CTransmissionEvents(std::int64_t ticksPerSecond)
    : ticksPerSecond_(std::max<std::int64_t>(1, ticksPerSecond)) {}

double CTransmissionEvents::Seconds(std::int64_t ticks) const {
  return static_cast<double>(std::max<std::int64_t>(0, ticks)) / static_cast<double>(ticksPerSecond_);
}

STxEvent CTransmissionEvents::Make(TxEventKind kind, std::int64_t ticks) const {
  STxEvent e;
  e.kind = kind;
  e.qwTicks = ticks;
  e.dwPass = passes_;
  e.dwOutage = outages_;
  e.qwDatagrams = datagrams_;
  return e;
}

void CTransmissionEvents::Start(const STxObservation& seen, std::vector<STxEvent>& out) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
  }
  startTicks_ = lastPassEnd_ = lastOutageEnd_ = seen.qwTicks;
  baseSent_ = seen.qwDatagramsSent;
  lastRetries_ = seen.dwRetryCount;
  datagrams_ = 0;
  passes_ = 0;
  inOutage_ = false;
  outages_ = 0;
  fileChangedGiven_ = stoppedGiven_ = finished_ = false;
  // A result left by an earlier worker (the window clears it only when it shows its box) is
  // not this run's: it counts once it was seen cleared.
  staleFileChanged_ = seen.bFileChanged;
  out.push_back(Make(TxEventKind::Started, seen.qwTicks));
}

void CTransmissionEvents::NotePassDone(std::int64_t ticks, std::uint64_t datagramsSent) {
  const std::lock_guard<std::mutex> lock(mutex_);
  pending_.push_back({ticks, datagramsSent});
}

void CTransmissionEvents::TakePassEnds(std::vector<STxEvent>& out) {
  std::vector<PassEnd> ends;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ends.swap(pending_);
  }
  for (const PassEnd& end : ends) {
    std::int64_t began = lastPassEnd_;
    if (lastOutageEnd_ > began && lastOutageEnd_ <= end.ticks) began = lastOutageEnd_;
    ++passes_;
    datagrams_ = std::max(datagrams_, end.datagramsSent - baseSent_);
    STxEvent e = Make(TxEventKind::PassComplete, end.ticks);
    e.dSeconds = Seconds(end.ticks - began);
    out.push_back(e);
    lastPassEnd_ = std::max(lastPassEnd_, end.ticks);
  }
}

void CTransmissionEvents::Update(const STxObservation& seen, std::vector<STxEvent>& out) {
  if (finished_) return;
  TakePassEnds(out);
  datagrams_ = std::max(datagrams_, seen.qwDatagramsSent - baseSent_);

  const bool datagramFailed = seen.dwRetryCount != lastRetries_;
  lastRetries_ = seen.dwRetryCount;
  if (!inOutage_ && (datagramFailed || seen.bAdapterWait)) {
    inOutage_ = true;
    outageBegan_ = seen.qwTicks;
    sentAtOutage_ = seen.qwDatagramsSent;
    ++outages_;
    out.push_back(Make(TxEventKind::OutageBegun, seen.qwTicks));
  } else if (inOutage_ && !seen.bAdapterWait && seen.qwDatagramsSent > sentAtOutage_) {
    inOutage_ = false;
    lastOutageEnd_ = seen.qwTicks;
    STxEvent e = Make(TxEventKind::OutageEnded, seen.qwTicks);
    e.dSeconds = Seconds(seen.qwTicks - outageBegan_);
    out.push_back(e);
  }
  if (!seen.bFileChanged) staleFileChanged_ = false;
  TakeEndings(seen, seen.bFileChanged && !staleFileChanged_, out);
}

void CTransmissionEvents::TakeEndings(const STxObservation& seen, bool fileChanged, std::vector<STxEvent>& out) {
  if (fileChanged && !fileChangedGiven_) {
    fileChangedGiven_ = true;
    out.push_back(Make(TxEventKind::FileChanged, seen.qwTicks));
  }
  if (seen.bStopRequested && !stoppedGiven_) {
    stoppedGiven_ = true;
    out.push_back(Make(TxEventKind::Stopped, seen.qwTicks));
  }
}

void CTransmissionEvents::Finish(const STxObservation& seen, std::int32_t result, std::vector<STxEvent>& out) {
  if (finished_) return;
  // No outage begins or ends here: the worker, ended, waits for nothing and sends nothing.
  TakePassEnds(out);
  datagrams_ = std::max(datagrams_, seen.qwDatagramsSent - baseSent_);
  TakeEndings(seen, (seen.bFileChanged && !staleFileChanged_) || result == TX_ERR_CHANGED, out);
  finished_ = true;
  STxEvent e = Make(TxEventKind::Finished, seen.qwTicks);
  e.dSeconds = Seconds(seen.qwTicks - startTicks_);
  e.nResult = result;
  out.push_back(e);
}
