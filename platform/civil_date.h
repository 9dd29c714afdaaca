// Day numbers of the proleptic Gregorian calendar, counted from 1970-01-01
// (negative before it), and back: the arithmetic the trace files' dates and
// the in-memory machine's clock share. Valid for every date a FILETIME can
// hold and far beyond.
#pragma once

#include <cstdint>

namespace qv::platform {

struct CivilDate {
  int year = 1970, month = 1, day = 1;
  bool operator==(const CivilDate&) const = default;
};

// Days from 1970-01-01 to the date (month 1-12, day 1-31).
constexpr std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The date of day number z.
constexpr CivilDate CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  CivilDate date;
  date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (date.month <= 2));
  return date;
}

}  // namespace qv::platform
