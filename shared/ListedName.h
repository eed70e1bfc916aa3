// File names as the page holds them. A name on disk is bytes and need not be
// UTF-8 (an archive or a camera from another system may write Latin-1 or
// Shift_JIS names); the page keeps text, so such a name would reach it with
// U+FFFD in place of its odd bytes and could never be asked for again. The
// host therefore lists every name in a reversible form and the photo origin
// turns a requested name back into the bytes on disk.
//
// The form: each byte that is not part of a well-formed UTF-8 sequence is
// written as U+FFFD followed by the byte's value in two upper-case hex digits
// ("bad\xFF.jpg" is listed as "bad\uFFFDFF.jpg"). So that U+FFFD always
// starts such an escape, a U+FFFD that a name really holds is written the
// same way, byte by byte ("\uFFFDEF\uFFFDBF\uFFFDBD"). Every other character
// stands for itself: names that are UTF-8 without U+FFFD, nearly all, are
// listed unchanged, and no two names on disk share a listed form.
#pragma once

#include <optional>
#include <string>

// The listed form of a file name (or of a relative path: "/" stands for itself).
std::string ListedName(const std::string& fileName);

// The file name a listed form stands for; nothing when `listed` is not a form
// ListedName makes (a U+FFFD without two upper-case hex digits after it, an
// escape of a byte that is written as itself, or bytes that are not UTF-8),
// so each file has exactly one name the page can ask for.
std::optional<std::string> FileNameOfListed(const std::string& listed);
