#include "forms/fonts.h"

#include <array>
#include <utility>

namespace forms {
namespace {
struct FaceMap {
    std::string_view face;
    const char* family;
};
constexpr std::array<FaceMap, 6> kFaces{{
    {"ＭＳ ゴシック", "IPAGothic"},
    {"MS Gothic", "IPAGothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"ＭＳ 明朝", "IPAMincho"},
    {"Arial", "Liberation Sans"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
}};
}  // namespace

QString fontFamilyFor(std::string_view face) {
    for (const auto& f : kFaces)
        if (f.face == face) return QString::fromLatin1(f.family);
    return QString::fromUtf8(face.data(), static_cast<int>(face.size()));
}

QFont makeFont(std::string_view face, double points, bool bold, bool italic, bool underline) {
    QFont font(fontFamilyFor(face));
    font.setPointSizeF(points > 0 ? points : 9);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    if (fontFamilyFor(face) == QLatin1String("IPAGothic")) font.setFixedPitch(true);
    return font;
}

void installFontSubstitutions() {
    for (const auto& f : kFaces) {
        const QString face = QString::fromUtf8(f.face.data(), static_cast<int>(f.face.size()));
        QFont::removeSubstitutions(face);
        QFont::insertSubstitution(face, QString::fromLatin1(f.family));
    }
}

}  // namespace forms
