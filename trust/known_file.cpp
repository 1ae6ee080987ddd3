#include "trust/known_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <random>
#include <utility>

const char kKnownFileName[] = "known.dat";
const char kKnownTempName[] = "known.dat.tmp";
const char kKnownLockName[] = "known.dat.lock";

namespace {

using Read = FileSystem::ReadResult;

// A change is read once the stamp has held still over this many looks, a
// pause apart, in all some 200 ms: a writer has finished. A file that is
// still changing after some seconds is left for a later read.
constexpr int kSteadyLooks = 3;
constexpr unsigned kSteadyPauseMilliseconds = 100;
constexpr int kSteadyPauses = 20;
// A replace that meets another opener (an indexer, a virus scanner, an editor
// that writes), or the lock of another run's save, is tried again, in all for
// about a quarter of a second.
constexpr int kReplaceAttempts = 11;
constexpr unsigned kReplacePauseMilliseconds = 25;
// A save whose file keeps changing under it merges again this many times, then gives up.
constexpr int kSaveAttempts = 3;
// A read that meets a file being changed is made again this many times at most.
constexpr int kReadAttempts = 3;
// A leftover of a save older than this is no save that still runs.
constexpr uint64_t kStaleLeftover = 60ull * 10000000ull;

bool Present(const FileStamp& stamp) {
    return stamp.state == FileStamp::State::kPresent;
}

// Waits until the file's stamp has held still; false when it kept changing.
bool HoldsStill(FileSystem& files, FileStamp& stamp) {
    int same = 1;
    for (int pause = 0; pause < kSteadyPauses; ++pause) {
        files.Pause(kSteadyPauseMilliseconds);
        FileStamp now = files.Stamp(kKnownFileName);
        same = now == stamp ? same + 1 : 1;
        stamp = now;
        if (same == kSteadyLooks) return true;
    }
    return false;
}

// Reads the file of `stamp` into `found`, and looks at the stamp again after:
// false when the file changed meanwhile, and what was read is no version of it.
bool ReadAsStamped(FileSystem& files, const FileStamp& stamp, FileFound& found) {
    found.read = true;
    found.stamp = stamp;
    found.list.clear();
    found.readAt = files.Now();
    std::string bytes;
    // A look at the size spares the read of a file that is too large.
    found.result = Present(stamp) && stamp.size > kKnownMaxBytes
                       ? Read::kTooLarge
                       : files.Read(kKnownFileName, bytes, kKnownMaxBytes);
    if (found.result == Read::kTooLarge) return true;
    if (found.result == Read::kChanged || files.Stamp(kKnownFileName) != stamp) return false;
    if (found.result == Read::kRead && !found.list.AdoptFile(std::move(bytes), kKnownMaxEntries)) {
        found.result = Read::kTooLarge;
    }
    found.fromFile = found.list.size();
    return true;
}

// The complete leftovers of saves that ended before they were put in place,
// newest first, when they are `wanted`. Removes the others that no save of a
// run still writes: those older versions wrote, and those a minute old.
std::vector<std::pair<uint64_t, std::string>> TakeLeftovers(FileSystem& files, bool wanted) {
    std::vector<std::pair<uint64_t, std::string>> complete;
    for (const std::string& name : files.Names(kKnownFileName, ".tmp")) {
        if (!IsKnownTempName(name)) continue;
        FileStamp stamp = files.Stamp(name);
        std::string bytes;
        if (wanted && files.Read(name, bytes, kKnownMaxBytes) == Read::kRead &&
            IsCompleteSave(bytes)) {
            complete.emplace_back(stamp.written, name);
        } else if (name == kKnownTempName || stamp.written + kStaleLeftover < files.Now()) {
            files.Remove(name);
        }
    }
    std::sort(complete.rbegin(), complete.rend());
    return complete;
}

// Puts a complete leftover in the place of a missing "known.dat", or, where it
// cannot be, takes its entries for this run.
void TakeUpLeftover(FileSystem& files, FileFound& found) {
    auto leftovers = TakeLeftovers(files, true);
    if (leftovers.empty()) return;
    const std::string& newest = leftovers.front().second;
    if (files.Replace(newest, kKnownFileName) == FileSystem::ReplaceResult::kReplaced) {
        for (size_t i = 1; i < leftovers.size(); ++i) files.Remove(leftovers[i].second);
        ReadAsStamped(files, files.Stamp(kKnownFileName), found);
        return;
    }
    std::string bytes;
    if (files.Read(newest, bytes, kKnownMaxBytes) == Read::kRead) {
        found.leftover.AdoptFile(std::move(bytes), kKnownMaxEntries);
    }
}

// A name for this save's own file, which no other writer shares.
std::string NewTempName() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char name[40];
    std::snprintf(name, sizeof name, "known.dat.%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    return name;
}

// Puts `temp` in the place of "known.dat", which must still be the file of
// `stamp`, while holding the lock that every run's save takes for this step.
// kBusy when the file changed first: it is to be read and merged again.
FileSystem::ReplaceResult PutInPlace(FileSystem& files, const std::string& temp,
                                     const FileStamp& stamp, FileStamp& placed) {
    using Replace = FileSystem::ReplaceResult;
    for (int attempt = 1;; ++attempt) {
        std::unique_ptr<FileSystem::Held> lock = files.Hold(kKnownLockName);
        if (lock) {
            // Looked at before every try: an editor may write while the replace waits.
            if (files.Stamp(kKnownFileName) != stamp) return Replace::kBusy;
            Replace result = files.Replace(temp, kKnownFileName);
            if (result == Replace::kReplaced) placed = files.Stamp(kKnownFileName);
            if (result != Replace::kBusy) return result;
        }
        if (attempt == kReplaceAttempts) return Replace::kFailed;
        files.Pause(kReplacePauseMilliseconds);
    }
}

}  // namespace

bool IsKnownTempName(const std::string& name) {
    if (name == kKnownTempName) return true;
    const std::string prefix = std::string(kKnownFileName) + ".";
    if (name.size() != prefix.size() + 16 + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
        return false;
    }
    for (size_t i = prefix.size(); i < prefix.size() + 16; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

bool IsCompleteSave(const std::string& bytes) {
    return bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
}

void ReadKnownFile(FileSystem& files, const ReadOrder& order, FileFound& found) {
    if (order.waitMilliseconds != 0 &&
        files.WaitForChange(order.waitMilliseconds) == FileSystem::Change::kWoken) {
        return;  // other work is wanted
    }
    FileStamp stamp = files.Stamp(kKnownFileName);
    if (!order.start) {
        if (stamp == order.loaded && !order.always) {
            // Unchanged, as far as the stamp tells; once more when it may not tell.
            if (order.confirmAfter == 0 || files.Now() < order.confirmAfter) return;
        } else if (!HoldsStill(files, stamp)) {
            return;
        }
    }
    for (int attempt = 1; !ReadAsStamped(files, stamp, found); ++attempt) {
        // Taken as it is at start, where some list is wanted now; read again soon after.
        if (attempt == kReadAttempts) {
            if (!order.start) found.read = false;
            found.stamp = FileStamp();
            break;
        }
        files.Pause(kSteadyPauseMilliseconds);
        stamp = files.Stamp(kKnownFileName);
    }
    if (order.start && found.read && found.result == Read::kMissing) {
        TakeUpLeftover(files, found);
    } else if (order.start) {
        TakeLeftovers(files, false);
    }
}

void SaveKnownFile(FileSystem& files, const StringList& additions, FileFound& found) {
    files.Remove(kKnownTempName);  // left by an older version, whose saves never run beside ours
    for (int attempt = 1; attempt <= kSaveAttempts; ++attempt) {
        FileStamp stamp = files.Stamp(kKnownFileName);
        if (!ReadAsStamped(files, stamp, found)) continue;
        if (found.result == Read::kFailed || found.result == Read::kTooLarge) {
            // Never replace a list that could not be read with one that may be shorter.
            found.save =
                found.result == Read::kTooLarge ? SaveResult::kTooLarge : SaveResult::kUnreadable;
            return;
        }
        size_t fromFile = found.list.size();
        for (const std::string& entry : additions) {
            if (!found.list.Contains(entry)) found.list.push_back(entry);
        }
        // Never a file that no read takes back whole.
        if (found.list.size() > kKnownMaxEntries) {
            found.save = SaveResult::kTooLarge;
            return;
        }

        // Written whole beside the file first, and only then put in its place,
        // so that a failure at any step leaves the old list on the disk.
        std::string temp = NewTempName();
        KnownList::Writer writer(found.list);
        if (!files.WriteNew(temp, std::ref(writer))) {
            files.Remove(temp);
            found.save = SaveResult::kUnwritable;
            return;
        }
        FileStamp written = files.Stamp(temp);
        if (written.size > kKnownMaxBytes) {
            files.Remove(temp);
            found.save = SaveResult::kTooLarge;
            return;
        }
        FileStamp placed;
        FileSystem::ReplaceResult put = PutInPlace(files, temp, stamp, placed);
        if (put != FileSystem::ReplaceResult::kReplaced) files.Remove(temp);
        // Another writer came since the file was read: what it wrote is merged in
        // and the list written again, so that no line of its is lost.
        if (put == FileSystem::ReplaceResult::kBusy) continue;
        if (put == FileSystem::ReplaceResult::kFailed) {
            found.save = SaveResult::kUnwritable;
            return;
        }
        // The additions are on the disk only if the file in place is the one
        // written. A rename may give it the creation time of the file it
        // replaced, so size and write time tell.
        bool settled =
            Present(placed) && placed.size == written.size && placed.written == written.written;
        found.stamp = settled ? placed : FileStamp();
        found.fromFile = settled ? found.list.size() : fromFile;
        return;
    }
    // Still changing: the next read of the file saves what waits.
    found.read = false;
    found.save = SaveResult::kUnreadable;
}
