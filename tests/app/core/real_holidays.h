#pragma once
// Japan's public holidays as published, written out day by day: the national holidays,
// substitute holidays (振替休日, tagged S) and days between holidays (国民の休日, tagged B).
// Kept apart from the program's rules so that the schedule can be checked against it.
#include <string>
#include <vector>

namespace realholidays {

struct Holiday {
    int month, day;
    char kind;  // ' ' national holiday, 'S' substitute holiday, 'B' day between holidays
};

struct Year {
    int year;
    const char* days;  // "MMDD[S|B] ..."
};

inline const Year kYears[] = {
    {2026, "0101 0112 0211 0223 0320 0429 0503 0504 0505 0506S 0720 0811 0921 0922B 0923 1012 1103 1123"},
    {2027, "0101 0111 0211 0223 0321 0322S 0429 0503 0504 0505 0719 0811 0920 0923 1011 1103 1123"},
    {2028, "0101 0110 0211 0223 0320 0429 0503 0504 0505 0717 0811 0918 0922 1009 1103 1123"},
    {2029, "0101 0108 0211 0212S 0223 0320 0429 0430S 0503 0504 0505 0716 0811 0917 0923 0924S 1008 1103 1123"},
    {2030, "0101 0114 0211 0223 0320 0429 0503 0504 0505 0506S 0715 0811 0812S 0916 0923 1014 1103 1104S 1123"},
    {2031, "0101 0113 0211 0223 0224S 0321 0429 0503 0504 0505 0506S 0721 0811 0915 0923 1013 1103 1123 1124S"},
    {2032, "0101 0112 0211 0223 0320 0429 0503 0504 0505 0719 0811 0920 0921B 0922 1011 1103 1123"},
    {2033, "0101 0110 0211 0223 0320 0321S 0429 0503 0504 0505 0718 0811 0919 0923 1010 1103 1123"},
    {2034, "0101 0102S 0109 0211 0223 0320 0429 0503 0504 0505 0717 0811 0918 0923 1009 1103 1123"},
    {2035, "0101 0108 0211 0212S 0223 0321 0429 0430S 0503 0504 0505 0716 0811 0917 0923 0924S 1008 1103 1123"},
    {2036, "0101 0114 0211 0223 0320 0429 0503 0504 0505 0506S 0721 0811 0915 0922 1013 1103 1123 1124S"},
    {2037, "0101 0112 0211 0223 0320 0429 0503 0504 0505 0506S 0720 0811 0921 0922B 0923 1012 1103 1123"},
};

inline std::vector<Holiday> parse(const char* text) {
    std::vector<Holiday> out;
    const std::string s(text);
    for (std::size_t i = 0; i < s.size();) {
        Holiday h{std::stoi(s.substr(i, 2)), std::stoi(s.substr(i + 2, 2)), ' '};
        i += 4;
        if (i < s.size() && s[i] != ' ') h.kind = s[i++];
        out.push_back(h);
        while (i < s.size() && s[i] == ' ') ++i;
    }
    return out;
}

}  // namespace realholidays
