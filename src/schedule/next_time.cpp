#include "schedule/next_time.h"

#include <cctype>
#include <cstdio>
#include <array>
#include <string_view>

#include "common/datetime.h"
#include "schedule/catalogue.h"

namespace hw::schedule {

DateTime FromLocalTime(const platform::LocalTime& t) {
    return {t.year, t.month, t.day, t.hour, t.minute};
}

std::string FormatNextTime(const DateTime& t) {
    int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %02d:%02d %s", t.month % 100, t.day % 100,
                  ((t.year % 100) + 100) % 100, h12 % 100, t.minute % 100, t.hour < 12 ? "AM" : "PM");
    return buf;
}

namespace {

struct Token {
    enum Kind { Number, Slash, Colon, Word } kind;
    int value = 0;
    int digits = 0;
    char word[3] = {0, 0, 0};  // a word of one or two letters, upper-cased
};

// At most a dozen tokens make a date-time; longer texts are no date. Kept
// free of allocations: the refresh cycle reads every row's time each tick.
struct Tokens {
    std::array<Token, 12> items;
    size_t count = 0;
    bool push(const Token& t) {
        if (count == items.size()) return false;
        items[count++] = t;
        return true;
    }
};

bool Tokenize(const std::string& s, Tokens& out) {
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        Token t{Token::Number};
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        } else if (std::isdigit(c)) {
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
                if (++t.digits > 4) return false;
                t.value = t.value * 10 + (s[i++] - '0');
            }
        } else if (c == '/' || c == '-') {
            t.kind = Token::Slash;
            ++i;
        } else if (c == ':') {
            t.kind = Token::Colon;
            ++i;
        } else if (std::isalpha(c)) {
            t.kind = Token::Word;
            int n = 0;
            while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) {
                if (n == 2) return false;
                t.word[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i++])));
            }
        } else {
            return false;
        }
        if (!out.push(t)) return false;
    }
    return true;
}

// Takes the tokens in order.
struct Reader {
    const Tokens& tokens;
    size_t i = 0;
    bool Done() const { return i == tokens.count; }
    std::optional<Token> Number(int maxDigits) {
        if (i < tokens.count && tokens.items[i].kind == Token::Number && tokens.items[i].digits <= maxDigits)
            return tokens.items[i++];
        return std::nullopt;
    }
    bool Separator(Token::Kind k) {
        if (i < tokens.count && tokens.items[i].kind == k) {
            ++i;
            return true;
        }
        return false;
    }
    const Token* Word() { return i < tokens.count && tokens.items[i].kind == Token::Word ? &tokens.items[i++] : nullptr; }
};

// month/day/year, the year in two digits or four.
bool ReadDate(Reader& in, DateTime& r) {
    auto month = in.Number(2);
    if (!month || !in.Separator(Token::Slash)) return false;
    auto day = in.Number(2);
    if (!day) return false;
    if (!in.Separator(Token::Slash)) return false;
    auto year = in.Number(4);
    if (!year || (year->digits != 2 && year->digits != 4)) return false;
    r.year = year->digits == 2 ? 2000 + year->value : year->value;
    r.month = month->value;
    r.day = day->value;
    // Written back with two digits, any other century would come back as this one.
    return r.year >= 2000 && r.year <= 2099 && r.month >= 1 && r.month <= 12 && r.day >= 1 &&
           r.day <= datetime::DaysInMonth(r.year, r.month);
}

// hour[:minute[:second]], then AM or PM on a 12-hour clock, and nothing after.
bool ReadTime(Reader& in, DateTime& r) {
    auto hour = in.Number(2);
    if (!hour) return false;
    int minute = 0;
    if (in.Separator(Token::Colon)) {
        auto m = in.Number(2);
        if (!m || m->value > 59) return false;
        minute = m->value;
        if (in.Separator(Token::Colon)) {
            auto sec = in.Number(2);
            if (!sec || sec->value > 59) return false;
        }
    }
    int h = hour->value;
    if (const Token* word = in.Word()) {
        const std::string_view w = word->word;
        if (w != "AM" && w != "PM" && w != "A" && w != "P") return false;
        if (h < 1 || h > 12) return false;
        const bool pm = w[0] == 'P';
        h = h % 12 + (pm ? 12 : 0);
    } else if (h > 23) {
        return false;
    }
    if (!in.Done()) return false;
    r.hour = h;
    r.minute = minute;
    return true;
}

}  // namespace

std::optional<DateTime> ParseDateTime(const std::string& text) {
    Tokens tokens;
    if (!Tokenize(text, tokens)) return std::nullopt;
    Reader in{tokens};
    DateTime r;
    if (!ReadDate(in, r)) return std::nullopt;
    if (in.Done()) return r;  // a date alone is midnight
    if (!ReadTime(in, r)) return std::nullopt;
    return r;
}

bool IsDue(const std::string& nextTime, const DateTime& now) {
    auto when = ParseDateTime(nextTime);
    return when && *when <= now;
}

namespace {
DateTime FromDays(std::int64_t days, int hour, int minute) {
    datetime::Date d = datetime::CivilFromDays(days);
    return {d.year, d.month, d.day, hour, minute};
}
}  // namespace

DateTime NextOccurrence(int frequencyId, const DateTime& now) {
    std::int64_t days = 0;
    switch (frequencyId) {
        case kDaily:
            days = datetime::DaysFromCivil(now.year, now.month, now.day + 1);
            break;
        case kWeekly:
            days = datetime::DaysFromCivil(now.year, now.month, now.day + 7);
            break;
        default:
            days = datetime::DaysFromCivil(now.year, now.month + 1, now.day);
            break;
    }
    return FromDays(days, now.hour, now.minute);
}

DateTime DefaultNextTime(int frequencyId, const DateTime& today) {
    DateTime t = NextOccurrence(frequencyId, today);
    t.hour = t.minute = 0;
    return t;
}

}  // namespace hw::schedule
