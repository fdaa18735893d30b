// Painting into images offscreen, and the widget's coalesced repaints.

#include "app/chart_setups.h"
#include "chart/plot_map.h"
#include "chart/plot_widget.h"

#include "marker_reference.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const QRgb green = qRgb(0, 255, 0);
const QRgb cyan = qRgb(0, 255, 255);

QRect area_of(const Plot& plot, QSize size) {
    return plot_painter::layout(plot, QRect(QPoint(0, 0), size), QFont()).plot_area;
}

// The pixel of value (x, y) as the painter places it.
QPoint pixel_of(Plot& plot, QSize size, double x, double y) {
    const QRect area = area_of(plot, size);
    return {area.left() + plot_map(plot.GetXAxis(0), area.width()).pixel_of(x),
            area.bottom() - plot_map(plot.GetYAxis(0), area.height()).pixel_of(y)};
}

int count_pixels(const QImage& image, QRgb color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == color;
    return n;
}

// A channel drawn only by its markers, whose points do not move the view.
PlotChannel& add_marker_channel(Plot& plot, QColor color, int size) {
    PlotChannel& c = plot.AddChannel();
    c.SetColor(color);
    c.SetTraceVisible(false);
    c.SetMarkersVisible(true);
    c.SetMarkersSize(size);
    c.SetXAxisTrackingEnabled(false);
    c.SetYAxisTrackingEnabled(false);
    return c;
}

// A filled disc of radius 2 covers rows of 3, 5, 5, 5 and 3 pixels.
constexpr int disc2_pixels = 21;

TEST(paint, markers_have_the_channel_colour_background_follows_the_plot) {
    const QSize size(300, 200);
    for (bool backwards : {false, true}) {
        Plot plot;
        PlotChannel& c = add_marker_channel(plot, Qt::green, 2);
        if (backwards) {
            c.AddPoint(50, 50);
            c.AddPoint(20, 80); // X went back: the channel is scanned, not searched
            c.AddPoint(-40, 50);
            c.AddPoint(50, 130);
            ASSERT_FALSE(c.x_non_decreasing());
        } else {
            c.AddPoint(-40, 50); // left of the view
            c.AddPoint(20, 80);
            c.AddPoint(50, 50);
            c.AddPoint(50, 130); // above it
            c.AddPoint(170, 50); // right of it
        }
        QImage image = render_plot(plot, size);
        EXPECT_EQ(image.pixel(pixel_of(plot, size, 50, 50)), green);
        EXPECT_EQ(image.pixel(pixel_of(plot, size, 20, 80)), green);
        EXPECT_EQ(count_pixels(image, green), 2 * disc2_pixels) << "points outside drew";
        EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 0));

        plot.SetBackGroundColor(QColor(128, 128, 128));
        image = render_plot(plot, size);
        EXPECT_EQ(image.pixel(1, 1), qRgb(128, 128, 128));
        EXPECT_EQ(image.pixel(size.width() - 2, size.height() - 2), qRgb(128, 128, 128));
        EXPECT_EQ(image.pixel(pixel_of(plot, size, 50, 50)), green);
    }
}

TEST(paint, traces_join_points_and_a_zero_sits_on_the_bottom_of_a_log_axis) {
    const QSize size(400, 300);
    Plot plot;
    setup_bioluminescence_chart(plot);
    PlotChannel& c = plot.GetChannel(0); // the hidden trace channel, shown here
    c.SetVisible(true);
    c.SetColor(Qt::green);
    c.SetXAxisTrackingEnabled(false);
    c.SetYAxisTrackingEnabled(false);
    c.AddPoint(-50, 1000); // outside: its segment still enters the view
    c.AddPoint(10, 1000);
    c.AddPoint(30, 1000);
    c.AddPoint(60, 0);
    c.AddPoint(1e9, 1e9); // far outside: its segment is clipped, not lost
    const QImage image = render_plot(plot, size);
    EXPECT_EQ(image.pixel(pixel_of(plot, size, 3, 1000)), green);
    EXPECT_EQ(image.pixel(pixel_of(plot, size, 20, 1000)), green);
    const QRect area = area_of(plot, size);
    EXPECT_EQ(pixel_of(plot, size, 60, 0).y(), area.bottom());
    EXPECT_EQ(image.pixel(pixel_of(plot, size, 60, 0)), green);
    EXPECT_NE(image.pixel(pixel_of(plot, size, 85, 1000)), green); // after the last point
}

TEST(paint, a_long_history_paints_exactly_like_its_visible_part) {
    // View widths of 100 s (every point drawn) and 20000 s (per-column spans).
    for (double width : {100.0, 20000.0}) {
        const int total = 200000;
        const double view_min = total - width;
        Plot full, part;
        for (Plot* plot : {&full, &part}) {
            setup_bioluminescence_chart(*plot);
            plot->GetChannel(0).SetVisible(true);
        }
        auto y_of = [](int t) { return 1000 + 900 * std::sin(t * 0.37) + (t % 97) * 50.0; };
        for (int t = 0; t < total; ++t) {
            const bool near_view = t >= view_min - 2;
            for (Plot* plot : {&full, &part}) {
                if (plot == &part && !near_view)
                    continue;
                plot->GetChannel(0).AddPoint(t, y_of(t) / 2);
                plot->GetChannel(1).AddPoint(t, y_of(t));
            }
        }
        for (Plot* plot : {&full, &part}) {
            plot->GetXAxis(0).SetMin(view_min);
            plot->GetXAxis(0).SetSpan(width);
            plot->GetYAxis(0).SetMin(1);
            plot->GetYAxis(0).SetSpan(1e4);
        }
        const QImage a = render_plot(full, {900, 320});
        const QImage b = render_plot(part, {900, 320});
        EXPECT_TRUE(a == b) << "view width " << width;
        EXPECT_GT(count_pixels(a, qRgb(255, 255, 0)), 100);
    }
}

TEST(paint, a_dense_trace_covers_the_range_of_each_column) {
    const QSize size(400, 300);
    Plot plot;
    PlotChannel& c = plot.AddChannel();
    c.SetColor(Qt::green);
    c.SetXAxisTrackingEnabled(false);
    c.SetYAxisTrackingEnabled(false);
    plot.GetXAxis(0).SetSpan(20000);
    for (int i = 0; i <= 20000; ++i)
        c.AddPoint(i, i % 2 ? 90 : 10);
    const QImage image = render_plot(plot, size);
    for (double y : {10.0, 50.0, 90.0})
        EXPECT_EQ(image.pixel(pixel_of(plot, size, 10000, y)), green) << y;
    EXPECT_NE(image.pixel(pixel_of(plot, size, 10000, 95)), green);
    EXPECT_NE(image.pixel(pixel_of(plot, size, 10000, 5)), green);
}

TEST(paint, few_and_many_markers_draw_the_same_discs_once_per_pixel) {
    // One value per pixel, points every 8 pixels: discs that never touch. Several
    // thousand of them take the coverage-mask path, a hundred the span path.
    const QSize size(800, 640);
    Plot plot;
    PlotChannel& c = add_marker_channel(plot, Qt::cyan, 2);
    QRect area;
    for (int pass = 0; pass < 3; ++pass) { // the layout depends on the labels of the view
        area = area_of(plot, size);
        plot.GetXAxis(0).SetSpan(area.width() - 1);
        plot.GetYAxis(0).SetSpan(area.height() - 1);
    }
    ASSERT_EQ(area, area_of(plot, size));
    int centres = 0;
    for (int y = 4; y <= area.height() - 5; y += 8)
        for (int x = 4; x <= area.width() - 5; x += 8) {
            c.AddPoint(x, y);
            c.AddPoint(x + 0.2, y - 0.2); // the same pixel: drawn once
            ++centres;
        }
    ASSERT_GT(centres, 5000);
    EXPECT_EQ(count_pixels(render_plot(plot, size), cyan), centres * disc2_pixels);

    PlotChannel& few = add_marker_channel(plot, Qt::green, 2);
    for (int i = 0; i < 100; ++i)
        few.AddPoint(c.PointX(2 * i), c.PointY(2 * i));
    c.SetVisible(false);
    EXPECT_EQ(count_pixels(render_plot(plot, size), green), 100 * disc2_pixels);
}

TEST(paint, many_markers_paint_exactly_what_drawing_every_marker_paints) {
    struct exact_case {
        const char* what;
        bool log;
        double zeros;    // share of points at 0 (drawn at 1 on the log axis)
        double outliers; // share of points far from the level
        double from, to; // the X view, as parts of the data
        int radius;
        int width = 640; // narrow charts put whole coarse blocks in one column
        // Values on rungs this far apart (in log10 or units), a row and a third on log, two and a
        // half on linear: rows between rungs stay empty though each block reaches both sides of
        // them.
        double rung = 0;
    };
    const exact_case cases[] = {
        {"log, all in view", true, 0, 0, 0, 1, 2},
        {"log, rare zeros", true, 0.001, 0, 0, 1, 2},
        {"log, zeros and outliers, part in view", true, 0.002, 0.01, 0.3, 0.61, 2},
        {"linear, outliers", false, 0, 0.003, 0, 1, 1},
        {"linear, zeros, part in view", false, 0.01, 0, 0.5, 0.9, 3},
        {"log, zeros and outliers, narrow", true, 0.004, 0.003, 0, 1, 2, 150},
        {"linear, many zeros, narrow", false, 0.02, 0.001, 0.1, 1, 1, 140},
        {"log, rare zeros, middle width", true, 0.001, 0, 0, 1, 2, 330},
        {"log, rungs apart", true, 0, 0, 0, 1, 0, 640, 0.04},
        {"linear, rungs apart, narrow", false, 0.001, 0, 0, 1, 0, 200, 13},
    };
    const int points = 150000;
    for (const exact_case& t : cases) {
        const QSize size(t.width, 300);
        Plot plot;
        PlotChannel& c = add_marker_channel(plot, Qt::yellow, t.radius);
        PlotYAxis& y = plot.GetYAxis(0);
        if (t.log)
            y.SetScaleType(ScaleLog10);
        std::mt19937 rng(11);
        std::normal_distribution<double> noise(0, t.log ? 0.08 : 40);
        std::uniform_real_distribution<double> unit(0, 1);
        double level = t.log ? 3.5 : 500;
        for (int i = 0; i < points; ++i) {
            level += (unit(rng) - 0.5) * (t.log ? 0.01 : 5);
            double v = level + noise(rng);
            if (t.rung > 0)
                v = (t.log ? 3.5 : 500) + t.rung * std::floor(unit(rng) * 6);
            if (unit(rng) < t.outliers)
                v += (unit(rng) - 0.5) * (t.log ? 4 : 800);
            v = t.log ? std::pow(10.0, v) : v;
            c.AddPoint(i, unit(rng) < t.zeros ? 0 : v);
        }
        plot.GetXAxis(0).set_view(t.from * points, (t.to - t.from) * points);
        y.set_view(t.log ? 1 : -100, t.log ? 1e7 : 1200);
        const QImage painted = render_plot(plot, size);
        const QImage by_hand = every_marker_by_hand(plot, c, size);
        EXPECT_TRUE(painted == by_hand) << t.what;
        EXPECT_GT(count_pixels(painted, qRgb(255, 255, 0)), 500) << t.what;
    }
}

TEST(paint, the_three_charts_paint_their_titles_and_legend_in_white) {
    Plot charts[3];
    setup_raw_counts_chart(charts[0]);
    setup_bioluminescence_chart(charts[1]);
    setup_calibration_chart(charts[2]);
    for (int j = 1; j <= 60; ++j)
        charts[0].GetChannel(0).AddPoint(j, j % 9);
    for (int t = 0; t < 300; ++t)
        charts[1].GetChannel(1).AddPoint(t, 1e3 + 10 * t);
    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 3; ++k)
            charts[2].GetChannel(k).AddPoint(i, 10 * (k + 1) + i);
    for (Plot& plot : charts) {
        const QSize size(700, 340);
        const plot_layout lay = plot_painter::layout(plot, QRect(QPoint(), size), QFont());
        const QImage image = render_plot(plot, size);
        int white_in_title = 0;
        for (int y = lay.title.top(); y <= lay.title.bottom(); ++y)
            for (int x = 0; x < size.width(); ++x)
                white_in_title += image.pixel(x, y) == qRgb(255, 255, 255);
        EXPECT_GT(white_in_title, 20) << plot.TitleText().toStdString();
        EXPECT_EQ(lay.legend.isEmpty(), !plot.LegendVisible());
    }
}

TEST(paint, widget_repaints_once_for_many_changes_and_follows_its_size) {
    QWidget window;
    auto* chart = new PlotWidget(&window);
    chart->setObjectName("Plot1");
    chart->setGeometry(0, 0, 500, 321);
    setup_bioluminescence_chart(chart->plot());
    window.resize(500, 321);
    window.show();
    EXPECT_EQ(window.findChild<PlotWidget*>("Plot1"), chart);
    EXPECT_EQ(chart->plot().PlotAreaWidth(),
              plot_painter::layout(chart->plot(), chart->rect(), chart->font()).plot_area.width());
    EXPECT_GT(chart->plot().PlotAreaWidth(), 0);

    auto settle = [] {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 100)
            QApplication::processEvents();
    };
    settle();
    const int before = chart->paint_count();
    EXPECT_GE(before, 1);
    for (int t = 0; t < 500; ++t)
        chart->plot().GetChannel(1).AddPoint(t, 1000 + t);
    chart->plot().SetBackGroundColor(QColor(128, 128, 128));
    settle();
    EXPECT_EQ(chart->paint_count(), before + 1);
    settle();
    EXPECT_EQ(chart->paint_count(), before + 1); // nothing changed since
}

// The lower chart in a widget beside a twin plot that only ever follows: whatever the
// user does to the widget's view, following again shows exactly the twin's view.
struct chart_and_twin {
    PlotWidget chart;
    Plot twin;
    std::vector<plot_view> views;

    chart_and_twin() {
        setup_bioluminescence_chart(chart.plot());
        setup_bioluminescence_chart(twin);
        chart.resize(900, 320); // not shown: nothing is painted, the layout stays
        const QRect area = plot_painter::layout(chart.plot(), chart.rect(), chart.font()).plot_area;
        chart.plot().SetPlotArea(area.width(), area.height());
        twin.SetPlotArea(area.width(), area.height());
        QObject::connect(&chart, &PlotWidget::view_changed,
                         [this](plot_view v) { views.push_back(v); });
    }
    void add(int from, int to) {
        for (int t = from; t < to; ++t) {
            const double y = t % 50 == 0 ? 0 : 1e3 * (2 + std::sin(t * 0.1)) * (1 + t / 100.0);
            chart.plot().GetChannel(1).AddPoint(t, y);
            twin.GetChannel(1).AddPoint(t, y);
        }
    }
    QRect area() const {
        return plot_painter::layout(chart.plot(), chart.rect(), chart.font()).plot_area;
    }
    void expect_following() {
        EXPECT_EQ(chart.view(), plot_view::following);
        for (int a = 0; a < 2; ++a) {
            const PlotAxis& shown = a ? static_cast<const PlotAxis&>(chart.plot().GetYAxis(0))
                                      : chart.plot().GetXAxis(0);
            const PlotAxis& own =
                a ? static_cast<const PlotAxis&>(twin.GetYAxis(0)) : twin.GetXAxis(0);
            EXPECT_EQ(shown.Min(), own.Min()) << "axis " << a;
            EXPECT_EQ(shown.Span(), own.Span()) << "axis " << a;
        }
    }
};

TEST(chart_views, whole_run_zoom_and_pan_leave_following_exactly_as_it_was) {
    chart_and_twin c;
    c.add(0, 500);
    c.expect_following();
    PlotXAxis& x = c.chart.plot().GetXAxis(0);
    PlotYAxis& y = c.chart.plot().GetYAxis(0);

    c.chart.show_whole_run(true);
    c.chart.update_view();
    EXPECT_LE(x.Min(), 0);
    EXPECT_GE(x.Max(), 499);
    EXPECT_LT(x.Span(), 510);
    double fit_min = 0, fit_span = 0;
    ASSERT_TRUE(y.fitted_view(fit_min, fit_span));
    EXPECT_LT(fit_min, 0); // zeros, less the marker allowance: 1 on the log axis
    EXPECT_EQ(y.Min(), 1);
    EXPECT_EQ(y.Span(), fit_span);
    EXPECT_LT(y.Span(), c.twin.GetYAxis(0).Span() / 100);
    c.add(500, 700); // the view keeps up
    c.chart.update_view();
    EXPECT_GE(x.Max(), 699);
    EXPECT_LE(x.Min(), 0);
    c.add(100, 120); // the clock set back: the run so far stays in view
    c.chart.update_view();
    EXPECT_GE(x.Max(), 699);
    EXPECT_LE(x.Min(), 0);

    // Zoomed in around 3/4 of the width: the time there stays there.
    const plot_map before(x, x.length_px());
    c.chart.zoom_x(0.75, 0.5);
    const plot_map after(x, x.length_px());
    EXPECT_NEAR(after.value_at(0.75), before.value_at(0.75), 1e-9);
    EXPECT_NEAR(x.Span(), before.value_at(1) - before.value_at(0), 1e-9 * 0.5 * 700 + 350);
    const double min = x.Min(), span = x.Span();
    c.add(700, 900); // paused: the view stays
    c.chart.update_view();
    EXPECT_EQ(x.Min(), min);
    EXPECT_EQ(x.Span(), span);
    c.chart.pan_x(0.25); // a quarter of the width to the right: earlier times
    EXPECT_NEAR(x.Min(), min - span / 4, 1e-9);
    EXPECT_NEAR(x.Span(), span, 1e-9);

    c.chart.follow();
    c.add(900, 950);
    c.expect_following();
    c.chart.show_whole_run(true);
    c.chart.show_whole_run(false);
    c.expect_following();
    EXPECT_EQ(c.views,
              (std::vector<plot_view>{plot_view::whole_run, plot_view::paused, plot_view::following,
                                      plot_view::whole_run, plot_view::following}));
}

TEST(chart_views, wheel_drag_double_click_and_hover_act_on_the_plot_area) {
    chart_and_twin c;
    c.add(0, 300);
    PlotXAxis& x = c.chart.plot().GetXAxis(0);
    const QRect area = c.area();
    const QPoint at(area.left() + area.width() / 4, area.center().y());
    auto time_at = [&](QPoint p) {
        return plot_map(x, area.width()).value_at(double(p.x() - area.left()) / (area.width() - 1));
    };
    auto mouse = [&](QEvent::Type type, QPoint p, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(p), c.chart.mapToGlobal(QPointF(p)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(&c.chart, &e);
    };

    // The wheel outside the plot area does nothing; inside it zooms around the pointer.
    const double under = time_at(at);
    QWheelEvent outside(QPointF(2, 2), c.chart.mapToGlobal(QPointF(2, 2)), {}, {0, 120},
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&c.chart, &outside);
    c.expect_following();
    QWheelEvent in(QPointF(at), c.chart.mapToGlobal(QPointF(at)), {}, {0, 120}, Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&c.chart, &in);
    EXPECT_EQ(c.chart.view(), plot_view::paused);
    EXPECT_NEAR(time_at(at), under, 1e-9);
    EXPECT_NEAR(x.Span(), 100 * 0.8, 1e-9);

    // A drag of 90 pixels to the left shows later times: 90 pixels' worth.
    const double min = x.Min(), per_pixel = x.Span() / (area.width() - 1);
    mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(QEvent::MouseMove, at - QPoint(40, 0), Qt::LeftButton);
    mouse(QEvent::MouseMove, at - QPoint(90, 0), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, at - QPoint(90, 0), Qt::NoButton);
    EXPECT_NEAR(x.Min(), min + 90 * per_pixel, 1e-9);

    // Hovering names the nearest point by the axes' label texts.
    const plot_map xm(x, area.width());
    const QPoint over(area.left() + xm.pixel_of(250) + 1, area.center().y());
    mouse(QEvent::MouseMove, over, Qt::NoButton);
    PlotChannel& bl = c.chart.plot().GetChannel(1);
    EXPECT_EQ(c.chart.hover_text().toStdString(),
              (x.LabelText(250) + ", " + bl.GetYAxis().LabelText(bl.PointY(250))).toStdString());
    mouse(QEvent::MouseMove, QPoint(2, 2), Qt::NoButton);
    EXPECT_EQ(c.chart.hover_text(), "");

    // A double-click in the plot area returns to following.
    mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton);
    c.expect_following();
}

TEST(chart_views, the_paused_hint_shows_while_paused_only) {
    chart_and_twin c;
    c.add(0, 300);
    c.chart.show();
    const QRect area = c.area();
    auto white_top_right = [&] {
        const QImage image = c.chart.grab().toImage();
        int n = 0;
        for (int y = area.top(); y < area.top() + 30; ++y)
            for (int x = area.center().x(); x <= area.right(); ++x)
                n += (image.pixel(x, y) & 0xffffff) == 0xffffff;
        return n;
    };
    EXPECT_EQ(white_top_right(), 0);
    c.chart.pan_x(0.1);
    EXPECT_GT(white_top_right(), 50);
    c.chart.follow();
    EXPECT_EQ(white_top_right(), 0);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
