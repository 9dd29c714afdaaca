// Day numbers of the calendar: known dates, and every day of eight
// centuries there and back (the leap rules of 1600, 1700, 1900, 2000 and
// 2100 included).
#include <gtest/gtest.h>

#include "platform/civil_date.h"

namespace qv::platform {
namespace {

TEST(CivilDate, KnownDates) {
  struct Case {
    int year, month, day;
    std::int64_t days;
  } cases[] = {
      {1970, 1, 1, 0},        {1969, 12, 31, -1},   {1601, 1, 1, -134774}, {2000, 2, 29, 11016},
      {2000, 3, 1, 11017},    {1900, 3, 1, -25508}, {2100, 2, 28, 47540},  {2100, 3, 1, 47541},
      {2026, 12, 10, 20797},  {0, 3, 1, -719468},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
    EXPECT_EQ(DaysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day)), c.days);
    EXPECT_EQ(CivilFromDays(c.days), (CivilDate{c.year, c.month, c.day}));
  }
}

TEST(CivilDate, EveryDayFollowsTheOneBefore) {
  constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::int64_t expected = DaysFromCivil(1600, 1, 1);
  for (int year = 1600; year <= 2400; ++year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    for (int month = 1; month <= 12; ++month) {
      const int days = kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
      for (int day = 1; day <= days; ++day, ++expected) {
        const std::int64_t n = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
        const CivilDate back = CivilFromDays(n);
        if (n != expected || back != CivilDate{year, month, day}) {
          FAIL() << year << "-" << month << "-" << day << ": " << n << " (expected " << expected << "), back "
                 << back.year << "-" << back.month << "-" << back.day;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qv::platform
