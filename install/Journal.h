// The install's journal: what a run is about to change in the destination
// folders, so that the next run can undo it when this one dies half-way
// (killed, a power cut, the session ended).
//
// It is written and flushed before the first change to a destination file
// (the first second name of an old file) and lives beside the INF files as
// ~setup-<process>-<start>-<n>.jnl. Later lines are appended: the driver
// packages the run added to the driver store, then "committed" once every
// file is in place. A run that finds a journal of a run that did not commit
// takes that install back; a committed one only needs its leftovers
// cleared. A journal that could not be deleted once that was done is marked
// so, and only deleted by the runs after.
//
// The text, one record a line:
//   ~setup journal 2                            (1: a run of an earlier version)
//   P <process id, hex> <start time, hex>       (version 1: no start time)
//   D <destination folder>                      (numbered from 0 in order)
//   F <folder> <existed 0|1> <id|-> <counter> <name>
//   .                                           (the end of the first part)
//   S <published name>                          (appended)
//   C                                           (appended)
//   X                                           (appended: taken back or finished)
// <id> is the copy's file id as volume:index:size:written in hex (version
// 1: volume:index); <counter> that of the
// file's temporary names (its .tmp, .bak, .old and .new). A first part
// without its "." was cut short by the power: nothing after it happened. An
// appended line without its end is ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "install/Services.h"

namespace setup::install {

struct JournalEntry {
    std::size_t folder = 0;     // index into Journal::folders
    std::wstring name;          // the file's name in it
    bool existed = false;       // an old file was there
    std::optional<FileId> copy; // the new file, as it was staged
    std::uint32_t counter = 0;  // of its temporary names
};

struct Journal {
    RunId run;  // whose temporary names the entries' counters number
    std::vector<std::wstring> folders;
    std::vector<JournalEntry> entries;
    std::vector<std::wstring> published;  // driver packages the run added
    bool committed = false;
    bool done = false;  // nothing left to do but delete it
};

// The first part: everything but the published packages and the commit.
std::wstring FormatJournal(const Journal& journal);
std::wstring FormatPublished(const std::wstring& publishedName);
std::wstring FormatCommitted();
std::wstring FormatDone();

enum class JournalText {
    Whole,     // read into the journal
    CutShort,  // the power went while its first part was written
    Foreign,   // not a journal of this program's, or of a later version
};
JournalText ParseJournal(const std::wstring& text, Journal& journal);

}  // namespace setup::install
