// The chart model without a display: tracking, the log clamp, the fit, label texts.

#include "app/chart_setups.h"
#include "chart/plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

TEST(plot, new_plot_has_one_axis_of_each_kind_with_the_defaults) {
    Plot plot;
    ASSERT_EQ(plot.XAxisCount(), 1);
    ASSERT_EQ(plot.YAxisCount(), 1);
    PlotXAxis& x = plot.GetXAxis(0);
    PlotYAxis& y = plot.GetYAxis(0);
    EXPECT_EQ(x.Name(), "X-Axis 1");
    EXPECT_EQ(y.Name(), "Y-Axis 1");
    for (PlotAxis* axis : {static_cast<PlotAxis*>(&x), static_cast<PlotAxis*>(&y)}) {
        EXPECT_EQ(axis->Min(), 0);
        EXPECT_EQ(axis->Span(), 100);
        EXPECT_EQ(axis->ScaleType(), ScaleLinear);
        EXPECT_EQ(axis->LabelsFormatStyle(), LabelsValue);
        EXPECT_EQ(axis->LabelsPrecisionStyle(), PrecisionSignificantDigits);
        EXPECT_EQ(axis->LabelsPrecision(), 3);
        EXPECT_TRUE(axis->TrackingEnabled());
        EXPECT_FALSE(axis->TitleShow());
        EXPECT_EQ(axis->length_px(), 0);
        EXPECT_EQ(axis->marker_allowance(3), 0); // never laid out
    }
    EXPECT_EQ(x.TrackingStyle(), TrackScrollSmooth);
    EXPECT_EQ(x.TrackingAlignFirstStyle(), AlignFirstAuto);
    EXPECT_EQ(y.TrackingStyle(), TrackScaleMinMax);
    EXPECT_EQ(y.TrackingAlignFirstStyle(), AlignFirstNone);
    EXPECT_EQ(plot.BackGroundColor(), QColor(Qt::black));

    PlotChannel& c = plot.AddChannel();
    EXPECT_EQ(&plot.GetChannel(0), &c);
    EXPECT_EQ(&c.GetXAxis(), &x);
    EXPECT_EQ(&c.GetYAxis(), &y);
    EXPECT_TRUE(c.Visible());
    EXPECT_TRUE(c.TraceVisible());
    EXPECT_FALSE(c.MarkersVisible());
    EXPECT_EQ(c.MarkersSize(), 3);
    EXPECT_EQ(c.Color(), QColor(Qt::red));
    EXPECT_EQ(c.AddPoint(1, 2), 0);
    EXPECT_EQ(c.AddPoint(3, 4), 1);
    EXPECT_EQ(c.PointCount(), 2);
    EXPECT_EQ(c.PointX(1), 3);
    EXPECT_EQ(c.PointY(1), 4);
}

TEST(plot, positions_outside_a_list_throw) {
    Plot plot;
    plot.AddChannel();
    EXPECT_THROW(plot.GetChannel(1), std::out_of_range);
    EXPECT_THROW(plot.GetYAxis(1), std::out_of_range);
    EXPECT_THROW(plot.GetXAxis(-1), std::out_of_range);
    EXPECT_THROW(plot.GetChannel(0).PointX(0), std::out_of_range);
    plot.GetChannel(0).SetYAxisName("no such axis");
    EXPECT_THROW(plot.GetChannel(0).GetYAxis(), std::out_of_range);
    EXPECT_EQ(plot.GetChannel(0).AddPoint(1, 1), 0); // a missing axis is not tracked
}

TEST(plot, setting_min_and_span_clamps_them) {
    Plot plot;
    PlotAxis& x = plot.GetXAxis(0);
    x.SetSpan(0);
    EXPECT_EQ(x.Span(), 1e-300);
    x.SetSpan(1e301);
    EXPECT_EQ(x.Span(), 1e300);
    x.SetMin(-1e305);
    EXPECT_EQ(x.Min(), -1e300);
}

TEST(plot, marker_allowance_follows_the_mapping) {
    Plot plot;
    plot.SetPlotArea(800, 250);
    PlotAxis& x = plot.GetXAxis(0);
    EXPECT_DOUBLE_EQ(x.marker_allowance(2), 2 * 100.0 / 800);
    PlotAxis& y = plot.GetYAxis(0);
    y.SetScaleType(ScaleLog10);
    y.SetMin(1);
    y.SetSpan(9999); // four decades over 250 pixels; 2 pixels down from Min
    EXPECT_DOUBLE_EQ(y.marker_allowance(2), 1 - std::pow(10.0, -2 * 4.0 / 250));
}

// One value sequence on the X axis (markers hidden, Y not tracked).
struct tracking_case {
    const char* what;
    PlotTrackingStyle style;
    PlotTrackingAlignFirstStyle align;
    std::vector<double> values;
    double min, span;
};

class tracking : public ::testing::TestWithParam<tracking_case> {};

TEST_P(tracking, moves_the_view_as_the_styles_say) {
    const tracking_case& t = GetParam();
    Plot plot;
    plot.SetPlotArea(800, 250);
    PlotAxis& x = plot.GetXAxis(0);
    x.SetTrackingStyle(t.style);
    x.SetTrackingAlignFirstStyle(t.align);
    PlotChannel& c = plot.AddChannel();
    c.SetYAxisTrackingEnabled(false);
    for (double v : t.values)
        c.AddPoint(v, 0);
    EXPECT_DOUBLE_EQ(x.Min(), t.min) << t.what;
    EXPECT_DOUBLE_EQ(x.Span(), t.span) << t.what;
    EXPECT_TRUE(x.first_point_seen());
}

INSTANTIATE_TEST_SUITE_P(
    plot, tracking,
    ::testing::Values(
        tracking_case{"first min", TrackScrollSmooth, AlignFirstMin, {50}, 50, 100},
        tracking_case{"first max", TrackScrollSmooth, AlignFirstMax, {50}, -50, 100},
        tracking_case{"first auto inside", TrackScrollSmooth, AlignFirstAuto, {50}, 0, 100},
        tracking_case{"first auto above", TrackScrollSmooth, AlignFirstAuto, {150}, 150, 100},
        tracking_case{"first auto below", TrackScrollSmooth, AlignFirstAuto, {-5}, -5, 100},
        tracking_case{"first none", TrackScrollSmooth, AlignFirstNone, {150}, 0, 100},
        tracking_case{"scroll right", TrackScrollSmooth, AlignFirstNone, {0, 150}, 50, 100},
        tracking_case{"scroll left", TrackScrollSmooth, AlignFirstNone, {0, 150, 20}, 20, 100},
        tracking_case{"scroll inside", TrackScrollSmooth, AlignFirstNone, {0, 99.5}, 0, 100},
        tracking_case{"scale up", TrackScaleMinMax, AlignFirstNone, {0, 150}, 0, 150},
        // Lowering Min keeps Span: the upper end comes down with it.
        tracking_case{"scale down", TrackScaleMinMax, AlignFirstNone, {0, 150, -10}, -10, 150},
        tracking_case{"first min then scale", TrackScaleMinMax, AlignFirstMin, {50, 40}, 40, 100}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

TEST(plot, disabled_tracking_neither_moves_nor_sets_the_flag) {
    Plot plot;
    PlotAxis& x = plot.GetXAxis(0);
    PlotChannel& c = plot.AddChannel();
    x.SetTrackingEnabled(false);
    c.AddPoint(500, 500);
    EXPECT_EQ(x.Min(), 0);
    EXPECT_FALSE(x.first_point_seen());
    EXPECT_TRUE(plot.GetYAxis(0).first_point_seen());
    EXPECT_EQ(plot.GetYAxis(0).Span(), 100); // AlignFirstNone: the first value only sets it

    x.SetTrackingEnabled(true);
    c.SetXAxisTrackingEnabled(false);
    c.AddPoint(700, 0);
    EXPECT_EQ(x.Min(), 0);
}

TEST(plot, values_that_are_not_finite_leave_the_view_alone) {
    Plot plot;
    setup_bioluminescence_chart(plot);
    plot.SetPlotArea(800, 250);
    PlotChannel& bl = plot.GetChannel(1);
    bl.AddPoint(10, 1000);
    const double x_min = plot.GetXAxis(0).Min(), y_span = plot.GetYAxis(0).Span();
    bl.AddPoint(std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity());
    bl.AddPoint(std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(plot.GetXAxis(0).Min(), x_min);
    EXPECT_EQ(plot.GetYAxis(0).Span(), y_span);
    EXPECT_EQ(bl.PointCount(), 3); // kept, as every point is
    EXPECT_FALSE(bl.x_non_decreasing());
}

TEST(plot, log_axis_never_takes_a_min_or_span_that_is_not_positive) {
    Plot plot;
    setup_bioluminescence_chart(plot);
    plot.SetPlotArea(800, 250);
    PlotYAxis& y = plot.GetYAxis(0);
    plot.GetChannel(1).AddPoint(0, 0); // tracked at -p and +p; -p would be the new Min
    EXPECT_EQ(y.Min(), 1);
    EXPECT_EQ(y.Span(), 10000000);
    EXPECT_EQ(y.fraction(0), 0); // drawn at value 1, the bottom
    EXPECT_EQ(y.fraction(-5), 0);

    y.SetMin(10);
    plot.GetChannel(1).AddPoint(1, 0);
    EXPECT_EQ(y.Min(), 1);

    y.set_view(-3, -2);
    EXPECT_EQ(y.Min(), 1);
    EXPECT_EQ(y.Span(), 1);
    PlotAxis& x = plot.GetXAxis(0);
    x.set_view(-3, -2); // linear: Min may be negative, Span only clamped
    EXPECT_EQ(x.Min(), -3);
    EXPECT_EQ(x.Span(), 1e-300);
}

TEST(plot, clear_points_keeps_view_and_flags_clear_all_channels_clears_the_flags) {
    Plot plot;
    setup_bioluminescence_chart(plot);
    PlotXAxis& x = plot.GetXAxis(0);
    PlotChannel& bl = plot.GetChannel(1);
    for (int t = 0; t <= 300; ++t)
        bl.AddPoint(t, 1000);
    ASSERT_EQ(x.Min(), 200);

    bl.ClearPoints();
    EXPECT_EQ(bl.PointCount(), 0);
    EXPECT_EQ(x.Min(), 200);
    EXPECT_TRUE(x.first_point_seen());
    bl.AddPoint(0, 1000); // flag still set: scrolls back rather than aligning
    EXPECT_EQ(x.Min(), 0);

    bl.AddPoint(300, 1000);
    plot.ClearAllChannels();
    EXPECT_EQ(bl.PointCount(), 0);
    EXPECT_EQ(x.Min(), 200);
    EXPECT_FALSE(x.first_point_seen());
    EXPECT_FALSE(plot.GetYAxis(0).first_point_seen());
    bl.AddPoint(250, 1000); // inside the view: AlignFirstAuto leaves it
    EXPECT_EQ(x.Min(), 200);
    plot.ClearAllChannels();
    bl.AddPoint(50, 1000); // outside: Min moves to the value
    EXPECT_EQ(x.Min(), 50);
}

TEST(plot, bioluminescence_view_scrolls_so_the_newest_point_sits_at_the_right_end) {
    Plot plot;
    setup_bioluminescence_chart(plot);
    plot.SetPlotArea(800, 250);
    PlotXAxis& x = plot.GetXAxis(0);
    PlotChannel& bl = plot.GetChannel(1);
    const double p = x.marker_allowance(2);
    ASSERT_DOUBLE_EQ(p, 0.25);
    for (int t = 0; t < 400; ++t) {
        bl.AddPoint(t, 100 + t);
        EXPECT_EQ(x.Span(), 100) << t;
        if (t >= 100) {
            EXPECT_DOUBLE_EQ(x.Max(), t + p) << t;
        }
    }
}

TEST(plot, raw_counts_chart_spans_its_sixty_points_after_each_refill) {
    Plot plot;
    setup_raw_counts_chart(plot);
    plot.SetPlotArea(800, 250);
    PlotChannel& raw = plot.GetChannel(0);
    PlotXAxis& x = raw.GetXAxis();
    for (int record = 0; record < 4; ++record) {
        raw.ClearPoints();
        for (int j = 1; j <= 60; ++j)
            raw.AddPoint(j, (j * 7 + record * 13) % 40);
        const double p = x.marker_allowance(2);
        x.FitToData();
        EXPECT_DOUBLE_EQ(x.Min(), 1 - p) << record;
        EXPECT_DOUBLE_EQ(x.Max(), 60 + p) << record;
        EXPECT_GE(plot.GetYAxis(0).Max(), 39.0);
    }
}

// The fit of one axis; the plot holds channels 0 and 1.
struct fit_case {
    const char* what;
    bool fit_x;
    std::vector<std::pair<double, double>> points0, points1;
    bool markers, visible0;
    double min, span; // expected, before the markers' allowance at each end
    bool unchanged;   // the axis keeps Min 0 and Span 100
};

class fit : public ::testing::TestWithParam<fit_case> {};

TEST_P(fit, covers_the_drawn_data) {
    const fit_case& t = GetParam();
    Plot plot;
    plot.SetPlotArea(1000, 500);
    PlotChannel& c0 = plot.AddChannel();
    PlotChannel& c1 = plot.AddChannel();
    for (PlotChannel* c : {&c0, &c1}) {
        c->SetXAxisTrackingEnabled(false);
        c->SetYAxisTrackingEnabled(false);
        c->SetMarkersVisible(t.markers);
        c->SetMarkersSize(5);
    }
    c0.SetVisible(t.visible0);
    for (auto [x, y] : t.points0)
        c0.AddPoint(x, y);
    for (auto [x, y] : t.points1)
        c1.AddPoint(x, y);
    PlotAxis& axis = t.fit_x ? static_cast<PlotAxis&>(plot.GetXAxis(0)) : plot.GetYAxis(0);
    const double p = t.markers && !t.unchanged ? axis.marker_allowance(5) : 0;
    axis.FitToData();
    EXPECT_DOUBLE_EQ(axis.Min(), t.min - p) << t.what;
    EXPECT_DOUBLE_EQ(axis.Span(), t.span + 2 * p) << t.what;
}

INSTANTIATE_TEST_SUITE_P(
    plot, fit,
    ::testing::Values(
        // one point: no extent without markers, the allowance either side with them
        fit_case{"x_single_hidden_markers", true, {{30, 5}}, {}, false, true, 0, 100, true},
        fit_case{"x_single_markers", true, {{30, 5}}, {}, true, true, 30, 0, false},
        fit_case{"y_single_markers", false, {{30, 5}}, {}, true, true, 5, 0, false},
        fit_case{"no_channel_with_points", true, {}, {}, true, true, 0, 100, true},
        fit_case{"only_hidden_channel", false, {{1, 2}, {3, 4}}, {}, true, false, 0, 100, true},
        fit_case{"hidden_channel_ignored",
                 true,
                 {{-50, 0}, {500, 0}},
                 {{2, 0}, {8, 0}},
                 false,
                 false,
                 2,
                 6,
                 false},
        // X extent is from the first to the last point added, not the least and greatest
        fit_case{
            "x_first_and_last", true, {{10, 0}, {90, 0}, {40, 0}}, {}, false, true, 10, 30, false},
        fit_case{"x_over_channels",
                 true,
                 {{10, 0}, {20, 0}},
                 {{-5, 0}, {15, 0}},
                 false,
                 true,
                 -5,
                 25,
                 false},
        fit_case{"y_all_one_value", false, {{1, 7}, {2, 7}}, {}, false, true, 0, 100, true},
        // Y only over the points in the X view [0, 100] and one beyond each end
        fit_case{"y_view_only",
                 false,
                 {{-20, -900}, {-10, -3}, {50, 2}, {110, 40}, {120, 900}},
                 {},
                 false,
                 true,
                 -3,
                 43,
                 false}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(plot, y_fit_finds_the_view_by_binary_search_with_its_neighbours) {
    Plot plot;
    PlotChannel& c = plot.AddChannel();
    c.SetXAxisTrackingEnabled(false);
    c.SetYAxisTrackingEnabled(false);
    for (int i = 0; i < 100000; ++i)
        c.AddPoint(i, i % 1000 == 500 ? -1e6 : i);
    PlotXAxis& x = plot.GetXAxis(0);
    PlotYAxis& y = plot.GetYAxis(0);
    struct {
        double min, span, y_min, y_max;
    } cases[] = {
        {100, 100, 100, 200},        // both ends on a point
        {100.5, 99, 100, 200},       // both between points: one more each side
        {80000, 400, 80000, 80400},  // the low value at 80500 lies outside
        {80000, 499.5, -1e6, 80499}, // ... but is the neighbour beyond the right end
        {80000, 600, -1e6, 80600},   // ... or inside
        {-50, 70.5, 0, 21},          // view starts left of every point
    };
    for (const auto& t : cases) {
        x.SetMin(t.min);
        x.SetSpan(t.span);
        y.FitToData();
        EXPECT_EQ(y.Min(), t.y_min) << t.min;
        EXPECT_EQ(y.Max(), t.y_max) << t.min;
    }
}

TEST(plot, fit_matches_axis_names_ignoring_case) {
    Plot plot;
    PlotChannel& c = plot.AddChannel();
    c.SetYAxisTrackingEnabled(false);
    c.SetYAxisName("y-axis 1");
    c.AddPoint(1, 10);
    c.AddPoint(2, 30);
    plot.GetYAxis(0).FitToData();
    EXPECT_EQ(plot.GetYAxis(0).Min(), 10);
    EXPECT_EQ(plot.GetYAxis(0).Span(), 20);
}

struct label_case {
    PlotLabelsFormatStyle format;
    PlotLabelsPrecisionStyle precision_style;
    int precision;
    double span;
    double v;
    const char* text;
};

TEST(plot, label_texts_follow_the_precision_rules) {
    const label_case cases[] = {
        {LabelsValue, PrecisionSignificantDigits, 3, 100, 50, "50"},
        {LabelsValue, PrecisionSignificantDigits, 3, 5, 2.5, "2.50"},
        {LabelsValue, PrecisionSignificantDigits, 3, 5, -2.5, "-2.50"},
        {LabelsValue, PrecisionSignificantDigits, 3, 0.5, 0.25, "0.250"},
        {LabelsValue, PrecisionSignificantDigits, 3, 0.05, 0.0123, "0.0123"},
        {LabelsValue, PrecisionSignificantDigits, 3, 47, 40, "40.0"},
        {LabelsValue, PrecisionSignificantDigits, 3, 1000, 1234.4, "1234"},
        {LabelsValue, PrecisionSignificantDigits, 0, 5, 2.6, "3"},
        {LabelsValue, PrecisionFixedDecimals, 0, 60, 7, "7"},
        {LabelsValue, PrecisionFixedDecimals, 2, 1e6, 3, "3.00"},
        {LabelsExponent, PrecisionSignificantDigits, 3, 1e7, 1000, "1.00e+03"},
        {LabelsExponent, PrecisionSignificantDigits, 3, 1e7, 1, "1.00e+00"},
        {LabelsExponent, PrecisionSignificantDigits, 3, 1e7, 12345, "1.23e+04"},
        {LabelsExponent, PrecisionSignificantDigits, 1, 1e7, 1e-5, "1e-05"},
    };
    for (const label_case& t : cases) {
        Plot plot;
        PlotAxis& axis = plot.GetYAxis(0);
        axis.SetLabelsFormatStyle(t.format);
        axis.SetLabelsPrecisionStyle(t.precision_style);
        axis.SetLabelsPrecision(t.precision);
        axis.SetSpan(t.span);
        EXPECT_EQ(axis.LabelText(t.v), t.text) << t.span << " " << t.v;
    }
}

TEST(plot, ticks_lie_in_the_view_and_decades_on_a_log_axis) {
    Plot plot;
    setup_bioluminescence_chart(plot);
    const plot_ticks log_ticks = plot.GetYAxis(0).ticks(10);
    std::vector<double> decades;
    for (int e = 0; e <= 7; ++e)
        decades.push_back(std::pow(10.0, e));
    EXPECT_EQ(log_ticks.major, decades);
    EXPECT_EQ(plot.GetYAxis(0).ticks(4).major.size(), 4u); // every other decade

    PlotAxis& x = plot.GetXAxis(0);
    x.SetMin(-0.25);
    x.SetSpan(100);
    const plot_ticks linear = x.ticks(10);
    EXPECT_EQ(linear.major.front(), 0);
    EXPECT_EQ(linear.major.back(), 90);
    EXPECT_EQ(linear.major.size(), 10u);
}

TEST(plot, every_change_is_reported_and_x_order_is_kept_track_of) {
    Plot plot;
    int calls = 0;
    plot.set_change_hook([&] { ++calls; });
    PlotChannel& c = plot.AddChannel();
    calls = 0;
    for (int i = 0; i < 10; ++i)
        c.AddPoint(i, i);
    EXPECT_GE(calls, 10);
    calls = 0;
    plot.SetBackGroundColor(Qt::black); // the same colour still redraws
    EXPECT_EQ(calls, 1);
    c.SetColor(Qt::red); // unchanged: nothing to redraw
    EXPECT_EQ(calls, 1);

    EXPECT_TRUE(c.x_non_decreasing());
    c.AddPoint(9, 0); // equal X keeps the order
    EXPECT_TRUE(c.x_non_decreasing());
    c.AddPoint(3, 0);
    EXPECT_FALSE(c.x_non_decreasing());
    c.ClearPoints();
    EXPECT_TRUE(c.x_non_decreasing());
}

} // namespace
