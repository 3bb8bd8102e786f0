#include "song/Tags.h"

#include <chrono>

namespace song {

namespace {

// A date in the tag's form, as numbers; nullopt for another form.
struct DateParts {
    int year = 0;
    unsigned month = 1;  // 1 when the form leaves it out
    unsigned day = 1;
};

std::optional<DateParts> ParseDate(std::string_view date) {
    auto number = [&](std::size_t at, std::size_t n) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (date[i] < '0' || date[i] > '9') return std::nullopt;
            value = value * 10 + (date[i] - '0');
        }
        return value;
    };
    const std::size_t size = date.size();
    if (size != 4 && size != 7 && size != 10) return std::nullopt;
    if ((size >= 7 && date[4] != '/') || (size == 10 && date[7] != '/')) return std::nullopt;
    const auto year = number(0, 4);
    const auto month = size >= 7 ? number(5, 2) : 1;
    const auto day = size == 10 ? number(8, 2) : 1;
    if (!year || !month || !day) return std::nullopt;
    return DateParts{*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)};
}

}  // namespace

std::optional<std::string> DateFault(std::string_view date) {
    std::string quoted(1, '\'');
    quoted.append(date);
    quoted += '\'';
    const std::optional<DateParts> parts = ParseDate(date);
    if (!parts) return quoted + " is not yyyy, yyyy/mm or yyyy/mm/dd";
    const std::chrono::year_month_day real(std::chrono::year(parts->year),
                                           std::chrono::month(parts->month),
                                           std::chrono::day(parts->day));
    if (!real.ok()) {
        return quoted + " is no real date (months 01-12, and a day that the month has)";
    }
    return std::nullopt;
}

}  // namespace song
