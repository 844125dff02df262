#include "core/printer_metrics.h"

#include <cstdlib>

#include "print_fixture.h"

namespace {

class PrinterMetrics : public printtest::PrintTest {};

TEST_F(PrinterMetrics, OffsetsUseTheResolutionOfTheirAxis) {
    // A quarter inch across at 600 dots per inch; 100 pixels down at 300.
    auto info = fakePrinter("Uneven", 600, 150, 100);
    info.dpiY = 300;
    usePrinters({info});
    EXPECT_EQ(gfniGetOffsetX(), 360);
    EXPECT_EQ(gfniGetOffsetY(), 480);

    std::vector<std::string> values(kPrinterMetricsCount);
    gsbGetPrinterMetrics(printer::currentPrinter(), values);
    EXPECT_EQ(values[0], "Uneven");
    EXPECT_EQ(values[1], "fake driver");
    EXPECT_EQ(values[14], "ＭＳ ゴシック");
    EXPECT_EQ(values[16], "11");
    EXPECT_EQ(values[19], "11906");
    EXPECT_EQ(values[22], "9");
    EXPECT_EQ(values[31], "2.4");
    EXPECT_EQ(values[32], "4.8");
    EXPECT_NEAR(std::atof(values[40].c_str()), 6.349, 0.001);
    EXPECT_NEAR(std::atof(values[41].c_str()), 480 / 56.7, 1e-9);
    // Right and bottom as on an A4 sheet: 11907 − printable width − left edge.
    EXPECT_NEAR(std::atof(values[42].c_str()), (11907 - (11906 - 720) - 360) / 56.7, 1e-6);
    EXPECT_NEAR(std::atof(values[43].c_str()), (16839.9 - (16838 - 960) - 480) / 56.7, 1e-3);
    EXPECT_GT(std::atof(values[35].c_str()), std::atof(values[37].c_str()));
    for (const auto& v : values) EXPECT_FALSE(v.empty() && &v != &values[15]);
}

TEST_F(PrinterMetrics, NoPrinterRaisesItsError) {
    usePrinters({});
    std::vector<std::string> values(kPrinterMetricsCount);
    EXPECT_EQ(printtest::errorOf([] { (void)gfniGetOffsetX(); }), 484);
    EXPECT_EQ(printtest::errorOf([&] { gsbGetPrinterMetrics(printer::currentPrinter(), values); }), 484);
}

}  // namespace
