// The system's texts in their two language forms, one table per kind.
//
// Every text is UTF-8. A language code is g_nLanguage's value: 0 English, 1 Chinese; for
// any other code there is no text (nullptr), and the caller shows nothing.
#pragma once

#include <cstddef>

namespace texts {

enum class Caption {
  Error,   // every error message
  Prompt,  // an operation refused while sending
  Notify,  // the archive tool prompt
};

enum class Message {
  FileUnreadable,   // the file cannot be opened (Start, and the worker's own box)
  PolicyMismatch,   // Start: the file does not fit the upgrade policy, or cannot be measured
  OpenFailed,       // the worker ended with "the file cannot be opened"
  CrcError,         // the worker ended because the whole-file CRC could not be computed
  AnotherInstance,  // start-up: a copy of the tool runs already in this logon
  StopFirst,        // Open refused while a transmission is marked as running (Caption::Prompt)
  ArchiveToolNeeded,  // start-up: the archive tool must be located (Caption::Notify)
  FileChanged,      // the worker stopped: the file is no longer the one that was checked
  AdapterBusy,      // Start: another program sends on the chosen adapter
  SettingsNotKept,    // start-up: the chosen archive tool cannot be stored; "%s" is the folder
                      // (Caption::Notify)
  WaitingForAdapter,  // the datagram field while the worker waits for its adapter
};

const char* CaptionText(Caption c, int language);
const char* MessageText(Message m, int language);

// The fixed texts that the file analysis writes into the version line, and the text of its
// "file is invalid" box (shown with Caption::Error).
enum class VersionText {
  Prefix,       // put before the version found in the file
  Analysing,    // shown while the analysis runs
  SizeWrong,    // the file's size is outside the limits of its kind
  Failure,      // any other failure of the analysis
  FileInvalid,  // the box: a "bin" file that is neither an upgrade package nor an image unit file
};

const char* VersionLineText(VersionText t, int language);

// The captions the language switch sets, in the order it sets them: a control of the main
// window and its two forms. The English forms are also the dialog template's.
struct SControlCaption {
  int nControlId;
  const char* pszEnglish;
  const char* pszChinese;
};
// The version-line dictionary: the pairs by which the language switch translates the text
// the version line shows, in the order they are applied (the same in both directions;
// longer texts before the texts they contain).
struct SVersionPair {
  const char* pszEnglish;
  const char* pszChinese;
};

// A table with its length.
template <class T>
struct STable {
  const T* pRows;
  std::size_t nCount;
  const T* begin() const { return pRows; }
  const T* end() const { return pRows + nCount; }
};

STable<SControlCaption> ControlCaptions();
STable<SVersionPair> VersionDictionary();

// The form of a caption or a pair for a language; nullptr for a code other than 0 or 1.
const char* CaptionForm(const SControlCaption& row, int language);

}  // namespace texts
