#include "common/datetime.h"

namespace hw::datetime {

std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    // Normalise the month first so that the day carry works from its 1st.
    y += (m - 1) >= 0 ? (m - 1) / 12 : -((12 - m) / 12);
    m = ((m - 1) % 12 + 12) % 12 + 1;
    // Howard Hinnant's days_from_civil for day 1, then add the day offset.
    std::int64_t yy = m <= 2 ? y - 1 : y;
    const std::int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    const std::int64_t yoe = yy - era * 400;
    const std::int64_t mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + (d - 1);
}

Date CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(m <= 2 ? y + 1 : y), static_cast<int>(m), static_cast<int>(d)};
}

bool ParseDay(const std::string& t, std::int64_t& days) {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
    int field[3] = {0, 0, 0}, which = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (i == 4 || i == 7) {
            ++which;
            continue;
        }
        if (t[i] < '0' || t[i] > '9') return false;
        field[which] = field[which] * 10 + (t[i] - '0');
    }
    const int y = field[0], m = field[1], d = field[2];
    if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
    days = DaysFromCivil(y, m, d);
    return true;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[(month - 1) % 12];
}

}  // namespace hw::datetime
