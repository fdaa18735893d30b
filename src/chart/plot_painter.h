#pragma once

// Painting of a Plot: plot_painter draws one into any QPainter (a widget, a QImage).
//
// The cost of a paint depends on the pixels, not on the number of points: the visible
// points of a channel whose X never went backwards are found by binary search, a trace
// with more points than pixel columns is drawn as one vertical span per column, and
// markers are drawn at most once per pixel, as filled spans.

#include "chart/plot.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QStaticText>

#include <cstdint>
#include <vector>

class QPainter;

// Where the parts of a chart go inside the rectangle it is painted into.
struct plot_layout {
    QRect title;     // the chart title, centred above the plot area
    QRect plot_area; // the data area; its width and height are the axes' pixel lengths
    QRect legend;    // empty when the legend is hidden or lists nothing
};

class plot_painter {
public:
    // Lays the chart out in rect with label_font for labels and axis titles, sets the
    // plot's plot area from that layout, and paints: background, title, grid lines, axis
    // labels and titles, channels in list order (traces, then markers), legend.
    void paint(QPainter& painter, const QRect& rect, Plot& plot, const QFont& label_font);

    // The layout paint() uses (sets nothing: pure computation).
    static plot_layout layout(const Plot& plot, const QRect& rect, const QFont& label_font);

private:
    // Texts laid out once and drawn many times: shaping a label costs more than drawing it.
    struct text_cache {
        QFont font;
        QHash<QString, QStaticText> texts;
        QHash<QString, int> widths;
        void use(const QFont& f);
        int width(const QString& text);
        const QStaticText& text(const QString& text);
    };
    static plot_layout layout(const Plot& plot, const QRect& rect, const QFont& label_font,
                              text_cache* labels);
    // What the parts of one paint share.
    struct frame_style;
    void paint_x_axis(QPainter& painter, const frame_style& style, const PlotXAxis& axis);
    void paint_y_axis(QPainter& painter, const frame_style& style, const PlotYAxis& axis);
    void paint_frame(QPainter& painter, const frame_style& style);
    void paint_title(QPainter& painter, const frame_style& style, const Plot& plot,
                     const QRect& title);
    void paint_legend(QPainter& painter, const frame_style& style, const Plot& plot,
                      const QRect& box);
    void draw_text(QPainter& painter, text_cache& cache, const QRect& box, int flags,
                   const QString& text);
    void paint_channel(QPainter& painter, const QRect& area, PlotChannel& channel);
    void paint_trace(QPainter& painter, const QRect& area, const PlotChannel& channel,
                     const PlotXAxis& x_axis, const PlotYAxis& y_axis, int first, int last);
    void paint_markers(QPainter& painter, const QRect& area, const PlotChannel& channel,
                       const PlotXAxis& x_axis, const PlotYAxis& y_axis, int first, int last);

    // Scratch kept between paints so that a paint allocates nothing in the steady state.
    std::vector<std::uint64_t> occupied_; // one bit per plot-area pixel
    std::vector<std::uint32_t> centres_;  // marker centres of this channel (pixel index)
    std::vector<std::uint8_t> coverage_;  // marker coverage when markers are many
    std::vector<QPoint> polyline_;
    text_cache labels_;
    text_cache titles_;
};

// Paints plot into a new image of the given size (RGB32), as a PlotWidget of that size
// would show it.
QImage render_plot(Plot& plot, QSize size, const QFont& label_font = QFont());
