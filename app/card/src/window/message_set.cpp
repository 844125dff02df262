// The files of a saved message set and the reading and writing of its name list.
#include "card/message_set.h"

#include <fstream>

#include "core/files.h"
#include "core/strings.h"
#include "text/text.h"

namespace card {
namespace {

const char* const kColon = "：";

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string afterColon(const std::string& line) {
    const auto at = line.find(kColon);
    return at == std::string::npos ? std::string() : line.substr(at + std::string(kColon).size());
}

}  // namespace

std::string messageWavePath(const std::string& folder, int ch) {
    return gfnsAddBackslash(folder) + "Msg_" + (ch < 10 ? "0" : "") + std::to_string(ch) + ".wav";
}

std::string nameListPath(const std::string& folder) { return gfnsAddBackslash(folder) + "Msg.txt"; }

bool writeNameList(const std::string& path, const NameList& list) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text::toCp932("カード名 　　　：" + list.cardName) << "\r\n";
    for (int ch = 1; ch <= 12; ++ch)
        out << text::toCp932((ch < 10 ? "0" : "") + std::to_string(ch) + " メッセージ名：" +
                             list.names[static_cast<std::size_t>(ch - 1)])
            << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}

NameList readNameList(const std::string& path) {
    NameList list;
    std::ifstream in(path, std::ios::binary);
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string line = text::fromCp932(raw);
        // Only the line that starts with the key names the card: a message may be called
        // "カード名の案内".
        if (line.rfind("カード名", 0) == 0) {
            list.cardName = gfnsLeftB(afterColon(line), 20);
        } else if (line.find("メッセージ名") != std::string::npos) {
            std::size_t digits = 0;
            while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
            const int ch = digits == 0 || digits > 4 ? 0 : std::stoi(line.substr(0, digits));
            if (ch < 1 || ch > 12) continue;
            list.names[static_cast<std::size_t>(ch - 1)] = rtrim(gfnsLeftB(afterColon(line), 20));
        }
    }
    return list;
}

}  // namespace card
