#include "common/text.h"

#include <cctype>
#include <cmath>

namespace hw::text {

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return std::string(s.substr(b, e - b));
}

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
    return Upper(haystack).find(Upper(needle)) != std::string::npos;
}

std::vector<std::string> Split(std::string_view s, std::string_view delimiter) {
    std::vector<std::string> parts;
    if (delimiter.empty()) {
        parts.emplace_back(s);
        return parts;
    }
    size_t start = 0;
    for (;;) {
        size_t p = s.find(delimiter, start);
        if (p == std::string_view::npos) {
            parts.emplace_back(s.substr(start));
            return parts;
        }
        parts.emplace_back(s.substr(start, p - start));
        start = p + delimiter.size();
    }
}

std::string Join(const std::vector<std::string>& parts, std::string_view delimiter) {
    std::string r;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) r += delimiter;
        r += parts[i];
    }
    return r;
}

double LeadingNumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    double value = 0, scale = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            any = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    if (!any) return 0;
    return negative ? -value : value;
}

double RoundHalfEven(double v) {
    double r = std::nearbyint(v);  // default rounding mode: to nearest, ties to even
    return r;
}

std::string AddTrailingBackslash(std::string_view path) {
    std::string p = Trim(path);
    if (!p.empty() && p.back() != '\\') p += '\\';
    return p;
}

bool IsBlankValue(const TaggedValue& value) {
    if (value.IsEmpty()) return true;
    if (!value.IsText()) return false;
    return Trim(value.ToText()).empty();
}

bool IsBlankValue(const std::string& value) { return Trim(value).empty(); }

std::string ReplaceNulls(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c == '\0') c = ' ';
    return r;
}

std::string SplitAtDelimiter(std::string_view s, std::string_view delimiter, bool returnAfter) {
    size_t p = delimiter.empty() ? std::string_view::npos : s.find(delimiter);
    if (p == std::string_view::npos) return std::string(s);
    return returnAfter ? std::string(s.substr(p + delimiter.size())) : std::string(s.substr(0, p));
}

std::string FileName(std::string_view path) {
    size_t p = path.find_last_of("\\/");
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string FolderOf(std::string_view path) {
    size_t p = path.find_last_of("\\/");
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string BaseNameWithoutExtension(std::string_view path) {
    std::string name = FileName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string UrlHost(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return "";
    std::string_view authority = url.substr(scheme + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    return std::string(authority.substr(0, authority.find(':')));
}

bool IsWebUrl(std::string_view url) {
    const std::string upper = Upper(url);
    return (upper.rfind("HTTP://", 0) == 0 || upper.rfind("HTTPS://", 0) == 0) && !UrlHost(url).empty() &&
           url.find_first_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace hw::text
