// Reading a whole file within a bound, for both platforms' file systems.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "trust/file_system.h"

//! Reads what is left of an open file into `bytes`, in one buffer of the size
//! the file had when opened; a file that grows meanwhile is read to its end, up
//! to one byte past `limit`, which tells that it is too large. `readSome(at,
//! room)` reads at most `room` bytes to `at`: their count, 0 at the end, or -1.
template <typename ReadSome>
FileSystem::ReadResult ReadUpTo(uint64_t size, uint64_t limit, std::string& bytes,
                                ReadSome readSome) {
    using ReadResult = FileSystem::ReadResult;
    if (size > limit) return ReadResult::kTooLarge;
    // One byte past the limit tells a file too large; the whole file, when the limit is none.
    uint64_t cap = limit < UINT64_MAX ? limit + 1 : limit;
    std::string data;
    size_t have = 0;
    try {
        data.resize(static_cast<size_t>(std::min(size + 1, cap)));
        for (;;) {
            if (have == data.size()) {
                if (have > limit) return ReadResult::kTooLarge;
                uint64_t more = std::min<uint64_t>(static_cast<uint64_t>(have) * 2, cap);
                if (more <= have || more > SIZE_MAX) return ReadResult::kFailed;
                data.resize(static_cast<size_t>(more));
            }
            long long got = readSome(&data[have], data.size() - have);
            if (got < 0) return ReadResult::kFailed;
            if (got == 0) break;
            have += static_cast<size_t>(got);
        }
    } catch (const std::exception&) {
        return ReadResult::kFailed;  // no room for it: nothing may throw into a window procedure
    }
    if (have > limit) return ReadResult::kTooLarge;
    data.resize(have);
    bytes.swap(data);
    return ReadResult::kRead;
}
