// Reading an image path from a process source, in buffers that grow until the
// path fits, up to the system's limit of 32,767 UTF-16 units.
#pragma once

#include <cstdint>
#include <vector>

#include "watch/ports.h"

//! The length of the image path of an open process, read into `buffer`; 0
//! when it is not to be had.
uint32_t ReadImagePath(ProcessSource& source, ProcessHandle process, std::vector<char16_t>& buffer);

//! The length of the image path the system gives for the identifier alone,
//! read into `buffer`; 0 when it gives none. `*status` is the last answer's.
uint32_t ReadImagePathById(ProcessSource& source, uint32_t id, std::vector<char16_t>& buffer,
                           int32_t* status = nullptr);
