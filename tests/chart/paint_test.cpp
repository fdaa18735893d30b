// Painting into images offscreen, and the widget's coalesced repaints.

#include "app/chart_setups.h"
#include "chart/plot_widget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QRgb green = qRgb(0, 255, 0);
const QRgb cyan = qRgb(0, 255, 255);

QRect area_of(const Plot& plot, QSize size) {
    return plot_painter::layout(plot, QRect(QPoint(0, 0), size), QFont()).plot_area;
}

// The pixel of value (x, y) as the painter places it.
QPoint pixel_of(Plot& plot, QSize size, double x, double y) {
    const QRect area = area_of(plot, size);
    const double fx = plot.GetXAxis(0).fraction(x), fy = plot.GetYAxis(0).fraction(y);
    return {area.left() + static_cast<int>(std::lround(fx * (area.width() - 1))),
            area.bottom() - static_cast<int>(std::lround(fy * (area.height() - 1)))};
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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
