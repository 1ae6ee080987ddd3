// Reading a whole file within a bound, for both platforms' file systems.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "trust/file_system.h"

//! The most a single call of `readSome` is asked for: a slow drive shows its
//! progress piece by piece.
constexpr size_t kReadPiece = 256u << 10;

//! Reads what is left of an open file into `bytes`, in one buffer of the size
//! the file had when opened, and adds what each call read to `progress`. A file
//! that grows meanwhile is kChanged, or kTooLarge once past `limit`.
//! `readSome(at, room)` reads at most `room` bytes to `at`: their count, 0 at
//! the end, or -1.
template <typename ReadSome>
FileSystem::ReadResult ReadUpTo(uint64_t size, uint64_t limit, std::string& bytes,
                                Progress& progress, ReadSome readSome) {
    using ReadResult = FileSystem::ReadResult;
    if (size > limit || size >= SIZE_MAX) return ReadResult::kTooLarge;
    std::string data;
    size_t have = 0;
    // One byte more than the file holds tells a file that grew. No room for the
    // buffer throws, to the caller: it is no file that cannot be read.
    data.resize(static_cast<size_t>(size) + 1);
    for (;;) {
        if (have == data.size())
            return size == limit ? ReadResult::kTooLarge : ReadResult::kChanged;
        long long got = readSome(&data[have], std::min(data.size() - have, kReadPiece));
        if (got < 0) return ReadResult::kFailed;
        if (got == 0) break;
        have += static_cast<size_t>(got);
        progress.fetch_add(static_cast<uint64_t>(got), std::memory_order_relaxed);
    }
    data.resize(have);
    bytes.swap(data);
    return ReadResult::kRead;
}
