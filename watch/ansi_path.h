// Image paths in the program's 8-bit form: every character of the ANSI code
// page as the system's 8-bit calls give it, every other one as an escape, so
// that two files never share one path and no path is read on a look-alike.
#pragma once

#include <cstddef>
#include <string>

#include "watch/ports.h"

//! The 8-bit form of `length` UTF-16 units: each character of the code page as
//! WideCharToMultiByte gives it, each character it lacks (a lone surrogate
//! too) as "<U+XXXX>". Windows forbids '<' and '>' in file names, so an
//! escaped path never equals the path of another file.
std::string AnsiPath(const char16_t* wide, size_t length, const PathSystem& text);

//! The bytes of the character that begins at `at`: two for a lead byte and its
//! second byte, a whole escape, or one.
size_t CharacterLength(const std::string& path, size_t at, const PathSystem& text);

//! The text after the last backslash, read character by character (a second
//! byte may be 0x5C in a double-byte code page); the whole path when it has none.
std::string BaseName(const std::string& path, const PathSystem& text);
