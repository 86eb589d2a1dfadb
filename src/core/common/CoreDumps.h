#pragma once

// Keeping decrypted documents out of core files.
namespace CoreDumps {

// The environment variable that, set to "1", keeps core dumps possible (for debugging).
inline constexpr const char* AllowVariable = "QUIETBOX_ALLOW_CORE_DUMPS";

// Makes the process non-dumpable (no core file, no ptrace attach by other processes of the
// user) and sets its core file limit to 0, unless AllowVariable asks for dumps. Call first
// thing in main(). False when a step failed or was skipped on request.
bool Forbid();

} // namespace CoreDumps
