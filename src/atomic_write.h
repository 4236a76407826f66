// Writes whole files so that anyone reading them, during a run or after a
// failed or interrupted one, finds either the old content or the new one in
// full, never a truncated or mixed file.
#pragma once

#include <string_view>

// Replaces the file at path with text. The text goes to a hidden temporary
// file beside it, named after it, which is synced and then renamed over it.
// A symbolic link is followed and its target replaced, the link kept. A path
// that names something other than a regular file (a device, a FIFO) is
// written directly. A new file gets mode 0666 less the umask; a replaced one
// keeps its mode. Returns 0, or the errno of the step that failed, in which
// case the temporary file is gone and the old file is untouched. SIGINT,
// SIGTERM, SIGHUP and SIGQUIT are held while the temporary file exists, so
// that a stopped run leaves none behind; they take effect right after.
int write_atomically(const char* path, std::string_view text);
