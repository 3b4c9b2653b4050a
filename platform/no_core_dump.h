#pragma once

namespace quorvel {

// Keeps the passwords and tokens held in memory out of core dumps: the
// process is made undumpable (nor can another process of the user attach to
// it) and its core file limit is set to 0. Called once at start.
// Returns false when either could not be set.
bool disableCoreDumps();

}  // namespace quorvel
