#include "common/sddl.h"

#include <cstdlib>
#include <map>

namespace hw::sddl {

namespace {

// The full form of the well-known accounts Windows writes as an alias.
std::string Alias(const std::string& sid) {
    static const std::map<std::string, std::string> aliases = {
        {"S-1-5-32-544", "BA"}, {"S-1-5-18", "SY"}, {"S-1-5-32-545", "BU"}, {"S-1-1-0", "WD"},
        {"S-1-5-11", "AU"},     {"S-1-3-0", "CO"},  {"S-1-5-4", "IU"},      {"S-1-3-4", "OW"}};
    const auto it = aliases.find(sid);
    return it == aliases.end() ? sid : it->second;
}

std::optional<std::uint32_t> Rights(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(text.c_str() + 2, &end, 16);
        if (*end != '\0' || v > 0xFFFFFFFFull) return std::nullopt;
        // Generic rights (and "as much as may be") as a file takes them.
        std::uint32_t rights = static_cast<std::uint32_t>(v);
        if (rights & 0x12000000u) rights |= 0x1f01ff;  // GENERIC_ALL, MAXIMUM_ALLOWED
        if (rights & 0x40000000u) rights |= 0x120116;  // GENERIC_WRITE
        if (rights & 0x80000000u) rights |= 0x120089;  // GENERIC_READ
        if (rights & 0x20000000u) rights |= 0x1200a0;  // GENERIC_EXECUTE
        return rights;
    }
    static const std::map<std::string, std::uint32_t> codes = {
        {"GA", 0x1f01ff}, {"GR", 0x120089}, {"GW", 0x120116}, {"GX", 0x1200a0}, {"FA", 0x1f01ff},
        {"FR", 0x120089}, {"FW", 0x120116}, {"FX", 0x1200a0}, {"CC", 0x1},      {"DC", 0x2},
        {"LC", 0x4},      {"SW", 0x8},      {"RP", 0x10},     {"WP", 0x20},     {"DT", 0x40},
        {"LO", 0x80},     {"CR", 0x100},    {"SD", 0x10000},  {"RC", 0x20000},  {"WD", 0x40000},
        {"WO", 0x80000}};
    std::uint32_t rights = 0;
    if (text.size() % 2) return std::nullopt;
    for (size_t i = 0; i < text.size(); i += 2) {
        const auto it = codes.find(text.substr(i, 2));
        if (it == codes.end()) return std::nullopt;
        rights |= it->second;
    }
    return rights;
}

std::optional<Ace> ParseAce(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ';') fields.emplace_back();
        else fields.back() += c;
    }
    if (fields.size() != 6) return std::nullopt;
    const std::optional<std::uint32_t> rights = Rights(fields[2]);
    if (!rights) return std::nullopt;
    return Ace{fields[0], fields[1], *rights, Alias(fields[5])};
}

}  // namespace

bool HasFlag(const std::string& flags, const char* flag) {
    for (size_t i = 0; i + 1 < flags.size(); i += 2)
        if (flags.compare(i, 2, flag) == 0) return true;
    return false;
}

std::optional<Descriptor> Parse(const std::string& text) {
    Descriptor d;
    size_t at = 0;
    while (at < text.size()) {
        if (text.size() - at < 2 || text[at + 1] != ':') return std::nullopt;
        const char part = text[at];
        at += 2;
        if (part == 'O' || part == 'G') {
            size_t end = at;
            while (end < text.size() && !(end + 1 < text.size() && text[end + 1] == ':' && end > at)) ++end;
            if (part == 'O') d.owner = Alias(text.substr(at, end - at));
            at = end;
        } else if (part == 'D' || part == 'S') {
            Descriptor list;
            while (at < text.size() && text[at] != '(' && !(at + 1 < text.size() && text[at + 1] == ':')) {
                if (text.compare(at, 17, "NO_ACCESS_CONTROL") == 0) {
                    list.nullDacl = true;
                    at += 17;
                } else if (text.compare(at, 2, "AI") == 0 || text.compare(at, 2, "AR") == 0) {
                    at += 2;
                } else if (text[at] == 'P') {
                    list.protectedDacl = true;
                    ++at;
                } else {
                    return std::nullopt;
                }
            }
            while (at < text.size() && text[at] == '(') {
                const size_t close = text.find(')', at);
                if (close == std::string::npos) return std::nullopt;
                const std::optional<Ace> ace = ParseAce(text.substr(at + 1, close - at - 1));
                if (!ace) return std::nullopt;
                list.aces.push_back(*ace);
                at = close + 1;
            }
            if (part == 'D') {
                d.hasDacl = true;
                d.nullDacl = list.nullDacl;
                d.protectedDacl = list.protectedDacl;
                d.aces = std::move(list.aces);
            }
        } else {
            return std::nullopt;
        }
    }
    return d;
}

bool Descriptor::AppliesToItself(const Ace& ace) const { return !HasFlag(ace.flags, "IO"); }

bool Trusted(const std::string& sid) {
    static const std::string kInstallerService = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    return sid == "BA" || sid == "SY" || sid == kInstallerService;
}

bool OthersMay(const std::string& text, std::uint32_t rights, bool orWhatItMakes) {
    const std::optional<Descriptor> d = Parse(text);
    if (!d || !d->hasDacl || d->nullDacl || !Trusted(d->owner)) return true;
    for (const Ace& ace : d->aces) {
        if (ace.type == "D") continue;  // a deny only narrows; any other kind may grant
        const bool applies = d->AppliesToItself(ace) ||
                             (orWhatItMakes && (HasFlag(ace.flags, "OI") || HasFlag(ace.flags, "CI")));
        if (applies && !Trusted(ace.sid) && (ace.rights & rights)) return true;
    }
    return false;
}

}  // namespace hw::sddl
