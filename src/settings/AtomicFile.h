// Replaces a file's contents so that a crash or a failed write never leaves
// it half written: the data goes to a new file beside it, is flushed to the
// disk, and is then renamed over the old file.
//
// One backend per platform (AtomicFilePosix.cpp, AtomicFileWindows.cpp).
// Stateless; any thread may call. Two writers of one path do not corrupt it:
// each uses a temporary file of its own and the last rename wins.
#pragma once

#include <string>
#include <string_view>

namespace brevane::settings {

// Writes `data` to `path` atomically. On failure the previous file (if any)
// is untouched, no temporary file is left behind and `error` (when given)
// describes what failed.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error);

// Renames `from` to `to`, replacing a file of that name (which a plain
// rename does not do on Windows). False when it failed; `from` is then
// untouched.
bool RenameReplacing(const std::string& from, const std::string& to);

// For tests: called after the temporary file is written and flushed and
// before it is renamed (for example to simulate a crash at that point).
// Null removes the hook.
using AtomicWriteHook = void (*)(const std::string& temporaryPath);
void SetAtomicWriteHookForTesting(AtomicWriteHook hook);

}  // namespace brevane::settings
