// What the global hot key does: finds the entries whose auto-type
// definitions match the window the key was pressed in and types one of them
// into that window. Runs on the hot-key thread.
#pragma once

#include <cstddef>
#include <cstdint>

// The most characters of the window's title that are matched.
constexpr std::size_t kMaxWindowTitle = 259;

// The hot key's callback (the user value is not used):
//  1. waits until the user has let go of the hot key's keys (when they stay
//     down past the bound, nothing is typed);
//  2. reads the foreground window and its title (cut at kMaxWindowTitle);
//  3. a locked store asks for the master password first; Cancel leaves it
//     locked, asks the host to re-read its panel and types nothing;
//  4. the lower-cased title becomes the last window title;
//  5. every entry that matches the title (matchesWindow) gives its key
//     sequence, one per entry title, collected while the store's guard is
//     held; the guard is given back before any dialog or key;
//  6. one match is typed at once; several are offered in the chooser, and
//     the chosen one is typed; none types nothing.
// Before typing, the window is brought back to the front when it is no
// longer there (a dialog was shown, say); when it cannot be (closed, or the
// system refused), nothing is typed. The keys go only to that window (or to
// the one the sequence's own {APPACTIVATE} brought forward): when another
// window comes to the front while they go out, or the sequence's time runs
// out, the rest is dropped and every modifier released. The user is told
// of each of these. The autolock countdown stands
// still from the start (also while a dialog is open) and runs again from the
// full time-out at the end when the store is unlocked then. The sequence and
// the notes are never logged, only the sequence's length.
void onHotKey(std::uint32_t user);
