#pragma once

#include <cstddef>

// The archive's block: every file's content is cut into blocks of this many bytes, each one
// zlib stream on its own.
inline constexpr std::size_t ArchiveBlockBytes = 524288;
