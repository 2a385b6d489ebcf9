// What the portable and the platform parts of the local files share
// (files.cpp, files_posix.cpp, files_win32.cpp); nothing else includes it.
#pragma once

#include <cstdint>
#include <string>

namespace obrix {

// Raises Failure(code) "WHAT PATH: REASON", the reason being errno's
// description.
[[noreturn]] void RaiseFileFailure(int32_t code, const std::string& what, const std::string& path);

// Closes a descriptor that a LocalFile holds; 0 when it closed, as the
// system's close answers.
int CloseDescriptor(int descriptor);

}  // namespace obrix
