#pragma once

namespace beatmarks {

// Size of the output text buffer in bytes; the text holds at most M - 1
// characters before its terminating zero.
inline constexpr int M = 65536;

// Entries in each tempo map array.
inline constexpr int N = 512;

// Sections a tempo map file can define; the last two entries stay spare.
inline constexpr int kMaxSectionsRead = 510;

// Size of the file name buffers: 127 characters and the terminating zero.
inline constexpr int kNameSize = 128;

// Size of the command word buffer: 7 characters and the terminating zero.
inline constexpr int kCommandSize = 8;

}  // namespace beatmarks
