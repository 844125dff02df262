#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "com/qt_site.h"
#include "com/registry.h"
#include "fake_control.h"

using namespace com;

TEST(Variant, CoercesAsALateBoundCallDoes) {
    struct Case {
        Variant in;
        HResult i2;
        std::int16_t i2Value;
        std::string text;
    };
    const Case cases[] = {
        {Variant::i4(12), Ok, 12, "12"},
        {Variant::i4(40000), Overflow, 0, "40000"},
        {Variant::boolean(true), Ok, -1, "True"},
        {Variant::bstr(" 7 "), Ok, 7, " 7 "},
        {Variant::bstr("七"), TypeMismatch, 0, "七"},
        {Variant::bstr(""), TypeMismatch, 0, ""},
        {Variant(), Ok, 0, ""},
    };
    for (const auto& c : cases) {
        std::int16_t v = 0;
        EXPECT_EQ(c.in.toI2(v), c.i2) << c.text;
        if (c.i2 == Ok) {
            EXPECT_EQ(v, c.i2Value) << c.text;
        }
        EXPECT_EQ(c.in.asString(), c.text);
    }
    bool b = false;
    EXPECT_EQ(Variant::bstr("False").toBool(b), Ok);
    EXPECT_FALSE(b);
    EXPECT_EQ(Variant::i2(2).toBool(b), Ok);
    EXPECT_TRUE(b);
}

TEST(Variant, ByReferenceWritesThroughToTheCallersValue) {
    Variant mine = Variant::i2(1);
    Variant ref = Variant::byRef(mine);
    EXPECT_EQ(ref.type(), VarType::I2);
    ref.assign(Variant::bstr("書き戻し"));
    EXPECT_EQ(mine.asString(), "書き戻し");
}

TEST(Registry, CreatesRegisteredAndLibraryClassesAndRefusesOthers) {
    registerClass("Fake_InProcess", [] { return std::make_unique<FakeControl>(); });
    registerLibraryClass("Fake_Control", "FakeControl.so");
    registerLibraryClass("Fake_Missing", "NoSuchLibrary.so");
    setLibraryFolder(FAKE_CONTROL_DIR);

    std::unique_ptr<Control> c;
    EXPECT_EQ(createInstance("Fake_InProcess", c), Ok);
    EXPECT_TRUE(c);
    EXPECT_EQ(createInstance("Fake_Control", c), Ok);
    ASSERT_TRUE(c);
    Variant sum;
    EXPECT_EQ(callMethod(*c, 2, {Variant::i2(2), Variant::bstr("3")}, &sum), Ok);
    EXPECT_EQ(sum.asI4(), 5);
    EXPECT_EQ(createInstance("Fake_Missing", c), ClassNotRegistered);
    EXPECT_FALSE(c);
    EXPECT_EQ(createInstance("Nobody", c), ClassNotRegistered);
    unregisterClass("Fake_InProcess");
    EXPECT_EQ(createInstance("Fake_InProcess", c), ClassNotRegistered);
}

TEST(Dispatch, PropertiesIndexedGettersAndErrorsAreNumbered) {
    FakeControl c;
    EXPECT_EQ(putProperty(c, 1, Variant::bstr("250")), Ok);
    Variant v;
    EXPECT_EQ(getProperty(c, 1, v), Ok);
    EXPECT_EQ(v.asI4(), 250);
    EXPECT_EQ(getProperty(c, 3, v, {Variant::i2(2)}), Ok);
    EXPECT_EQ(v.asString(), "名前2");
    EXPECT_EQ(getProperty(c, 3, v, {Variant::i2(9)}), Ok);
    EXPECT_EQ(v.asString(), "");
    EXPECT_EQ(callMethod(c, 2, {Variant::i2(1)}), BadParamCount);
    EXPECT_EQ(callMethod(c, 2, {Variant::i2(1), Variant::bstr("x")}), TypeMismatch);
    EXPECT_EQ(callMethod(c, 99, {}), MemberNotFound);
}

TEST(Dispatch, EventsReachEveryAdvisedSink) {
    struct Sink : EventSink {
        void onEvent(DispId id, std::span<const Variant> args) noexcept override {
            got.emplace_back(id, args.empty() ? 0 : args[0].asI4());
        }
        std::vector<std::pair<DispId, std::int32_t>> got;
    } a, b;
    FakeControl c;
    c.advise(&a);
    c.advise(&b);
    callMethod(c, 4, {});
    c.unadvise(&b);
    callMethod(c, 4, {});
    EXPECT_EQ(a.got.size(), 2u);
    ASSERT_EQ(b.got.size(), 1u);
    EXPECT_EQ(b.got[0], std::make_pair(DispId{1}, std::int32_t{101}));
}

TEST(QtHostSite, TimersCallTheControlOnTheContainersThread) {
    FakeControl c;
    QtHostSite site(c);
    c.setSite(&site);
    site.setTimer(1, 1);
    site.setTimer(2, 1);
    site.killTimer(2);
    QElapsedTimer clock;
    clock.start();
    while (c.timersFired.empty() && clock.elapsed() < 5000) callMethod(c, 5, {});  // pumps
    ASSERT_FALSE(c.timersFired.empty());
    for (unsigned id : c.timersFired) EXPECT_EQ(id, 1u);
}
