// Small text functions that several subsystems share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/tagged_value.h"

namespace hw::text {

// Blanks are spaces, as the system's trimming has always meant.
std::string Trim(std::string_view s);
std::string Upper(std::string_view s);
bool ContainsNoCase(std::string_view haystack, std::string_view needle);
std::vector<std::string> Split(std::string_view s, std::string_view delimiter);
std::string Join(const std::vector<std::string>& parts, std::string_view delimiter);

// The leading decimal number of a text: leading blanks skipped, an optional
// sign, digits with one decimal point; anything after it is ignored; 0 when
// there is none.
double LeadingNumber(std::string_view s);
// Nearest whole number, halves to the even neighbour.
double RoundHalfEven(double v);

// The path trimmed, with "\" appended unless it is blank or ends in one.
std::string AddTrailingBackslash(std::string_view path);
// True for the empty value and for a text that is empty after trimming.
bool IsBlankValue(const TaggedValue& value);
bool IsBlankValue(const std::string& value);
inline bool IsBlankValue(const char* value) { return IsBlankValue(std::string(value)); }

// Every NUL character turned into a blank.
std::string ReplaceNulls(std::string_view s);
// The part after (returnAfter) or before the first delimiter; the text
// itself when the delimiter is absent.
std::string SplitAtDelimiter(std::string_view s, std::string_view delimiter, bool returnAfter);

// The last path component and the folder before it (with its backslash).
// The host of an address ("" when it has none), and whether an address is
// one the webhook can post to: http:// or https://, a host, no blanks.
std::string UrlHost(std::string_view url);
bool IsWebUrl(std::string_view url);

std::string FileName(std::string_view path);
std::string FolderOf(std::string_view path);
std::string BaseNameWithoutExtension(std::string_view path);

// "Ask the length, read into a buffer, cut to size": a text of at most
// `length` characters (none when it is not positive), read by `read`
// into a buffer of length + 1 bytes; `read` answers how many it copied
// (negative or 0 when it failed).
template <class Read>
std::string ReadSized(std::int64_t length, Read&& read) {
    if (length <= 0) return {};
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
    const std::int64_t got = read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    buffer.resize(static_cast<std::size_t>(got < 0 ? 0 : got > length ? length : got));
    return buffer;
}

}  // namespace hw::text
