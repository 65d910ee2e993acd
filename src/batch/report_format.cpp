#include "batch/report_format.h"

#include <cinttypes>
#include <cstdio>

namespace {

// Days since 1970-01-01 to a civil date and back (the proleptic Gregorian
// calendar, any year): arithmetic only, so the text is the same on every
// system and needs no time-zone call.
void civil_from_days(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int64_t floor_div(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

std::string report_modified_text(const BatchFile& file) {
    if (!file.modified_known) return std::string();
    const int64_t days = floor_div(file.modified_seconds, 86400);
    const int64_t second_of_day = file.modified_seconds - days * 86400;
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civil_from_days(days, year, month, day);
    char text[64];
    snprintf(text, sizeof text, "%04" PRId64 "-%02u-%02uT%02u:%02u:%02u.%09uZ", year, month, day,
             static_cast<unsigned>(second_of_day / 3600), static_cast<unsigned>(second_of_day / 60 % 60),
             static_cast<unsigned>(second_of_day % 60), static_cast<unsigned>(file.modified_nanoseconds));
    return text;
}

bool report_modified_parse(const std::string& text, int64_t& seconds, uint32_t& nanoseconds) {
    int64_t year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0, nanos = 0;
    int consumed = 0;
    if (sscanf(text.c_str(), "%" SCNd64 "-%2u-%2uT%2u:%2u:%2u.%9uZ%n", &year, &month, &day, &hour, &minute, &second,
               &nanos, &consumed) != 7 ||
        static_cast<size_t>(consumed) != text.size()) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    nanoseconds = nanos;
    return true;
}

std::string report_identity_text(const BatchFile& file) {
    if (!file.identity_known) return std::string();
    char text[48];
    snprintf(text, sizeof text, "%" PRIx64 ":%" PRIx64, file.identity.volume, file.identity.index);
    return text;
}

bool report_identity_parse(const std::string& text, FileIdentity& identity) {
    int consumed = 0;
    if (sscanf(text.c_str(), "%" SCNx64 ":%" SCNx64 "%n", &identity.volume, &identity.index, &consumed) != 2) {
        return false;
    }
    return static_cast<size_t>(consumed) == text.size();
}

bool report_json_lists(const BatchFile& file, bool with_actions) {
    return batch_file_reported(file, with_actions) || file.status == BATCH_STATUS_OTHER;
}
