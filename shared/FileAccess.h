// Reading and writing whole files with the system's own error texts. The
// portable units call these; each operating system defines them in its
// layer (platform/posix/FileAccess.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Throws std::runtime_error("<path>: <system message>").
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// Writes to a uniquely named sibling, flushes it to disk, renames it over
// `path` and flushes the folder, so a failed write never leaves a truncated
// file in the target's place and a crash right after cannot undo the rename
// (a TReplacingFile written in one piece).
// Throws std::runtime_error with the system's message; the sibling is removed.
void WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool IsRegularFile(const std::string& path);

// Creates or truncates `path`, writes `bytes` and flushes them to disk before
// returning. Throws std::runtime_error("<path>: <system message>").
void WriteFileDurably(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Flushes a folder's entries (names created, renamed or removed in it) to disk.
void SyncFolder(const std::string& path);
// The safe replace for files another process reads while they may change:
// writes the "<path>.tmp" sibling, flushes it, renames it over `path` and
// flushes the folder. On failure the sibling is removed and the error thrown;
// `path` is then as it was.
void ReplaceFileThroughTmp(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Puts the folder `from` in the place of `to` in one step, so that a reader
// (or a crash) finds at `to` either the old folder or the new one, never
// neither nor a mix. When `to` existed, its old content is left at `from`
// and the answer is true; otherwise `from` is gone and the answer is false.
// Both must lie in one file system. Throws std::runtime_error with the
// system's message; nothing has moved then.
bool SwapFolderIntoPlace(const std::string& from, const std::string& to);
// The bytes of UTF-8 text with a byte order mark before it.
std::vector<std::uint8_t> BytesWithBom(const std::string& utf8);
// UTF-8 text with a byte order mark, written as WriteFileReplacing does.
void WriteTextFileWithBom(const std::string& path, const std::string& utf8);
// Drops a leading UTF-8 byte order mark.
std::string SkipUtf8Bom(std::string text);
