// Small text helpers shared by every folder: ASCII case folding, comparisons that ignore case,
// trimming and splitting. Strings are UTF-8; only ASCII letters fold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace text {

char UpperChar(char c);
char LowerChar(char c);
std::string Upper(std::string_view s);
std::string Lower(std::string_view s);

// True when a and b are equal ignoring ASCII case.
bool SameText(std::string_view a, std::string_view b);
// <0, 0, >0 as a compares to b ignoring ASCII case.
int CompareText(std::string_view a, std::string_view b);
// True when one of the list's items equals `name` ignoring ASCII case.
bool ContainsText(const std::vector<std::string>& list, std::string_view name);
bool StartsWithText(std::string_view s, std::string_view prefix);
bool EndsWithText(std::string_view s, std::string_view suffix);
// Position of `needle` in `s` ignoring case, or npos.
size_t FindText(std::string_view s, std::string_view needle, size_t from = 0);

std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// Splits on `sep`; keeps empty pieces.
std::vector<std::string> Split(std::string_view s, char sep);
std::string Join(const std::vector<std::string>& parts, std::string_view sep);
// Replaces every occurrence of `from` by `to`.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);
// UTF-16 text (bytes, little-endian unless `bigEndian`) as UTF-8; a lone surrogate becomes U+FFFD
// and an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
// A script file's text as UTF-8: by its byte-order mark UTF-16 (either order) or UTF-8 without
// the mark; without a mark as it stands.
std::string TextOfFile(std::string_view bytes);

// The length of a UTF-8 text in characters, or in bytes when `bytes`.
size_t Utf8Length(std::string_view s, bool bytes = false);
// The position of the first byte of `s` that does not belong to well-formed UTF-8 (an overlong
// form, a surrogate, a code point past U+10FFFF, a sequence cut short), or npos when there is none.
size_t Utf8Fault(std::string_view s);
// The longest start of a UTF-8 text at most `room` long (characters, or bytes when `bytes`) that
// splits no character.
std::string_view Utf8Start(std::string_view s, size_t room, bool bytes = false);
// The text as a message shows it: whole when it has at most `room` characters, else its first
// `room` characters followed by "...".
std::string Shown(std::string_view s, size_t room);

// Reads the quoted text that opens at s[pos] with its quote character; inside, a doubled quote
// stands for one. Puts the text without its quotes into `out` and returns the position after the
// closing quote; npos when `s` ends first (`out` then holds the rest of `s`).
size_t ReadQuoted(std::string_view s, size_t pos, std::string& out);

// Case-insensitive ordering and hashing for maps keyed by names.
struct LessText {
  bool operator()(std::string_view a, std::string_view b) const { return CompareText(a, b) < 0; }
};

}  // namespace text
