#include <gtest/gtest.h>

#include "control/errors.h"

namespace {

TEST(CardErrorText, KnownUnknownAndWaveOutputNumbers) {
    EXPECT_EQ(control::cardErrorText(0), "指定されたコマンドを実行しました。");
    EXPECT_EQ(control::cardErrorText(112), "ドライバーがインストールさせていません。");
    EXPECT_EQ(control::cardErrorText(610), "メッセージが壊れています。（ＢＢブロックエラー）");
    EXPECT_EQ(control::cardErrorText(123), "不明なエラー番号です。");
    EXPECT_EQ(control::cardErrorText(1000), "不明なエラーです。");
    EXPECT_TRUE(control::cardErrorText(5).empty()) << "the wave-output system names its own codes";
}

}  // namespace
