#include "watch/image_path.h"

namespace {

// Image paths are asked for in 1024 units, then in larger buffers up to the
// system's limit of 32,767 and the terminating NUL.
constexpr uint32_t kFirstPathSize = 1024;
constexpr uint32_t kMaxPathSize = 32768;
// The query by identifier is asked first with this many bytes.
constexpr uint32_t kFirstNameBytes = 2048;

}  // namespace

uint32_t ReadImagePath(ProcessSource& source, ProcessHandle process,
                       std::vector<char16_t>& buffer) {
    for (uint32_t size = kFirstPathSize; size <= kMaxPathSize; size *= 2) {
        if (buffer.size() < size) buffer.resize(size);
        uint32_t length = source.GetProcessImageFileNameW(process, buffer.data(), size);
        if (length == 0) return 0;
        if (length < size) return length;
    }
    return 0;
}

uint32_t ReadImagePathById(ProcessSource& source, uint32_t id, std::vector<char16_t>& buffer,
                           int32_t* status) {
    for (uint32_t bytes = kFirstNameBytes;;) {
        if (buffer.size() < bytes / 2) buffer.resize(bytes / 2);
        ImageName name;
        name.maximumLength = static_cast<uint16_t>(bytes);
        name.buffer = buffer.data();
        int32_t answer = source.QueryProcessIdImage(id, name);
        if (status) *status = answer;
        if (answer == kStatusInfoLengthMismatch && bytes < kMaxImageNameBytes) {
            // Some systems say how much they need; where one does not, the buffer doubles.
            uint32_t next = name.maximumLength > bytes ? name.maximumLength : bytes * 2;
            bytes = next < kMaxImageNameBytes ? next : kMaxImageNameBytes;
            continue;
        }
        if (answer < 0 || name.length > bytes) return 0;
        return name.length / 2;
    }
}
