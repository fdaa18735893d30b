#include "chart/plot_painter.h"

#include "chart/plot_map.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr int margin = 6;
constexpr int tick_length = 4;
constexpr int minor_tick_length = 2;
constexpr int gap = 3;
constexpr int legend_padding = 5;
constexpr int legend_swatch = 22;
// Coordinates beyond this distance from the plot area are clipped by hand before they
// reach the painter, whose fixed-point rasteriser does not like huge values.
constexpr double guard = 4096;
// Past this many span rectangles, markers are stamped into a coverage mask first.
constexpr std::size_t max_marker_rects = 16384;

QColor blend(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

QFont title_font(const Plot& plot) {
    QFont font(plot.TitleFontName());
    if (plot.TitleFontSize() > 0)
        font.setPointSize(plot.TitleFontSize());
    font.setBold(plot.TitleFontBold());
    return font;
}

std::vector<const PlotChannel*> legend_entries(const Plot& plot) {
    std::vector<const PlotChannel*> out;
    if (plot.LegendVisible())
        for (const auto& channel : plot.channels())
            if (channel->VisibleInLegend())
                out.push_back(channel.get());
    return out;
}

int max_y_ticks(int height, const QFontMetrics& fm) {
    return std::max(2, height / std::max(1, 2 * fm.height()));
}

// Axis-parallel lines are filled rectangles: far cheaper than drawLine on a raster.
void vline(QPainter& painter, int x, int y0, int y1, const QColor& c) {
    painter.fillRect(x, y0, 1, y1 - y0 + 1, c);
}
void hline(QPainter& painter, int x0, int x1, int y, const QColor& c) {
    painter.fillRect(x0, y, x1 - x0 + 1, 1, c);
}

// Liang-Barsky clipping of the segment a-b to the rectangle; false when nothing is left.
bool clip_segment(QPointF& a, QPointF& b, const QRectF& r) {
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    QPointF start = a;
    a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
    b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
    return true;
}

// Rows of a filled disc of radius r, merged where consecutive rows have the same width:
// (first row offset, row count, half width).
struct disc_block {
    int dy, rows, half;
};

std::vector<disc_block> disc_blocks(int r) {
    std::vector<disc_block> out;
    for (int dy = -r; dy <= r; ++dy) {
        const double outer = r + 0.5;
        int half = static_cast<int>(std::sqrt(outer * outer - double(dy) * dy));
        if (!out.empty() && out.back().half == half)
            ++out.back().rows;
        else
            out.push_back({dy, 1, half});
    }
    return out;
}

} // namespace

void plot_painter::text_cache::use(const QFont& f) {
    if (f == font && texts.size() < 512 && widths.size() < 512)
        return;
    font = f;
    texts.clear();
    widths.clear();
}

int plot_painter::text_cache::width(const QString& s) {
    auto it = widths.constFind(s);
    if (it != widths.constEnd())
        return *it;
    const int w = QFontMetrics(font).horizontalAdvance(s);
    widths.insert(s, w);
    return w;
}

const QStaticText& plot_painter::text_cache::text(const QString& s) {
    auto it = texts.find(s);
    if (it == texts.end()) {
        QStaticText t(s);
        t.setTextFormat(Qt::PlainText);
        t.prepare(QTransform(), font);
        it = texts.insert(s, t);
    }
    return *it;
}

plot_layout plot_painter::layout(const Plot& plot, const QRect& rect, const QFont& label_font) {
    return layout(plot, rect, label_font, nullptr);
}

plot_layout plot_painter::layout(const Plot& plot, const QRect& rect, const QFont& label_font,
                                 text_cache* labels) {
    const QFontMetrics fm(label_font);
    const QFontMetrics tfm(title_font(plot));
    auto width = [&](const QString& s) {
        return labels ? labels->width(s) : fm.horizontalAdvance(s);
    };
    plot_layout out;

    int top = rect.top() + margin;
    if (!plot.TitleText().isEmpty()) {
        out.title = QRect(rect.left(), top, rect.width(), tfm.height());
        top += tfm.height() + gap;
    }
    top += fm.height() / 2; // the top Y label is centred on the top edge

    const PlotAxis* x_axis = plot.XAxisCount() > 0 ? &plot.GetXAxis(0) : nullptr;
    const PlotAxis* y_axis = plot.YAxisCount() > 0 ? &plot.GetYAxis(0) : nullptr;

    int bottom = rect.bottom() - margin;
    if (x_axis && x_axis->TitleShow())
        bottom -= fm.height() + gap;
    bottom -= fm.height() + tick_length + gap;
    const int height = std::max(0, bottom - top + 1);

    int left = rect.left() + margin;
    if (y_axis) {
        if (y_axis->TitleShow())
            left += fm.height() + gap;
        int widest = 0;
        for (double v : y_axis->ticks(max_y_ticks(height, fm)).major)
            widest = std::max(widest, width(y_axis->LabelText(v)));
        left += widest + gap + tick_length;
    }

    int right = rect.right() - margin;
    if (x_axis)
        right -= width(x_axis->LabelText(x_axis->Max())) / 2;
    const auto entries = legend_entries(plot);
    if (!entries.empty()) {
        int widest = 0;
        for (const PlotChannel* channel : entries)
            widest = std::max(widest, width(channel->TitleText()));
        const int legend_width = 2 * legend_padding + legend_swatch + gap + widest;
        const int rows = static_cast<int>(entries.size());
        const int legend_height = 2 * legend_padding + rows * (fm.height() + 2);
        out.legend =
            QRect(rect.right() - margin - legend_width + 1, top, legend_width, legend_height);
        right = std::min(right, out.legend.left() - 2 * margin);
    }
    out.plot_area = QRect(left, top, std::max(0, right - left + 1), height);
    return out;
}

void plot_painter::draw_text(QPainter& painter, text_cache& cache, const QRect& box, int flags,
                             const QString& text) {
    if (text.isEmpty())
        return;
    const int w = cache.width(text);
    const int h = QFontMetrics(cache.font).height();
    int x = box.left();
    if (flags & Qt::AlignHCenter)
        x = box.left() + (box.width() - w) / 2;
    else if (flags & Qt::AlignRight)
        x = box.right() + 1 - w;
    int y = box.top();
    if (flags & Qt::AlignVCenter)
        y = box.top() + (box.height() - h) / 2;
    painter.drawStaticText(QPoint(x, y), cache.text(text));
}

struct plot_painter::frame_style {
    QRect rect;   // the whole chart
    QRect area;   // the plot area
    QColor text;  // labels, titles
    QColor grid;  // grid lines
    QColor frame; // the plot area's frame, ticks and the legend's box
    QFontMetrics fm;
};

void plot_painter::paint(QPainter& painter, const QRect& rect, Plot& plot,
                         const QFont& label_font) {
    labels_.use(label_font);
    titles_.use(title_font(plot));
    const plot_layout lay = layout(plot, rect, label_font, &labels_);
    const QRect& area = lay.plot_area;
    plot.SetPlotArea(area.width(), area.height());

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor background = plot.BackGroundColor();
    const frame_style style{rect,
                            area,
                            Qt::white,
                            blend(background, Qt::white, 0.25),
                            blend(background, Qt::white, 0.6),
                            QFontMetrics(label_font)};
    painter.fillRect(rect, background);
    painter.setFont(label_font);
    painter.setPen(style.text);

    if (area.width() >= 2 && area.height() >= 2) {
        if (plot.XAxisCount() > 0)
            paint_x_axis(painter, style, plot.GetXAxis(0));
        if (plot.YAxisCount() > 0)
            paint_y_axis(painter, style, plot.GetYAxis(0));
        paint_frame(painter, style);
        for (const auto& channel : plot.channels())
            paint_channel(painter, area, *channel);
    }
    if (!lay.title.isEmpty()) {
        painter.setFont(titles_.font);
        paint_title(painter, style, plot, lay.title);
        painter.setFont(label_font);
    }
    if (!lay.legend.isEmpty())
        paint_legend(painter, style, plot, lay.legend);
    painter.restore();
}

void plot_painter::paint_x_axis(QPainter& painter, const frame_style& style,
                                const PlotXAxis& axis) {
    const QRect& area = style.area;
    const QFontMetrics& fm = style.fm;
    const plot_map map(axis, area.width());
    auto width = [&](const QString& s) { return labels_.width(s); };
    const int label =
        std::max(width(axis.LabelText(axis.Min())), width(axis.LabelText(axis.Max())));
    const plot_ticks ticks =
        axis.ticks(std::max(2, area.width() / std::max(1, label + 4 * fm.averageCharWidth())));
    auto column = [&](double v) { return area.left() + map.pixel_of(v); };
    const int below = area.bottom() + 1;
    if (axis.GridLinesVisible())
        for (double v : ticks.major)
            vline(painter, column(v), area.top(), area.bottom(), style.grid);
    for (double v : ticks.major)
        vline(painter, column(v), below, below + tick_length - 1, style.frame);
    for (double v : ticks.minor)
        vline(painter, column(v), below, below + minor_tick_length - 1, style.frame);
    const int label_top = below + tick_length + gap / 2;
    for (double v : ticks.major)
        draw_text(painter, labels_, QRect(column(v) - 200, label_top, 400, fm.height()),
                  Qt::AlignHCenter | Qt::AlignTop, axis.LabelText(v));
    if (axis.TitleShow())
        draw_text(painter, labels_,
                  QRect(area.left(), label_top + fm.height() + gap, area.width(), fm.height()),
                  Qt::AlignHCenter | Qt::AlignTop, axis.Title());
}

void plot_painter::paint_y_axis(QPainter& painter, const frame_style& style,
                                const PlotYAxis& axis) {
    const QRect& area = style.area;
    const QRect& rect = style.rect;
    const QFontMetrics& fm = style.fm;
    const plot_map map(axis, area.height());
    const plot_ticks ticks = axis.ticks(max_y_ticks(area.height(), fm));
    auto row = [&](double v) { return area.bottom() - map.pixel_of(v); };
    const int before = area.left() - 1;
    if (axis.GridLinesVisible())
        for (double v : ticks.major)
            hline(painter, area.left(), area.right(), row(v), style.grid);
    for (double v : ticks.major)
        hline(painter, before - tick_length + 1, before, row(v), style.frame);
    for (double v : ticks.minor)
        hline(painter, before - minor_tick_length + 1, before, row(v), style.frame);
    const int label_right = before - tick_length - gap;
    for (double v : ticks.major)
        draw_text(painter, labels_,
                  QRect(rect.left(), row(v) - fm.height() / 2, label_right - rect.left() + 1,
                        fm.height()),
                  Qt::AlignRight | Qt::AlignVCenter, axis.LabelText(v));
    if (axis.TitleShow()) {
        painter.save();
        painter.translate(rect.left() + margin, area.top() + area.height() / 2);
        painter.rotate(-90);
        painter.drawText(QRect(-area.height(), 0, 2 * area.height(), fm.height()),
                         Qt::AlignHCenter | Qt::AlignTop, axis.Title());
        painter.restore();
    }
}

void plot_painter::paint_frame(QPainter& painter, const frame_style& style) {
    const QRect& area = style.area;
    hline(painter, area.left() - 1, area.right() + 1, area.top() - 1, style.frame);
    hline(painter, area.left() - 1, area.right() + 1, area.bottom() + 1, style.frame);
    vline(painter, area.left() - 1, area.top(), area.bottom(), style.frame);
    vline(painter, area.right() + 1, area.top(), area.bottom(), style.frame);
}

void plot_painter::paint_title(QPainter& painter, const frame_style& style, const Plot& plot,
                               const QRect& title) {
    // Centred on the plot area, as far as the chart's width allows.
    const QRect& rect = style.rect;
    const int centre = style.area.left() + style.area.width() / 2;
    const int half = std::max(0, std::min(centre - rect.left(), rect.right() - centre));
    painter.setPen(style.text);
    draw_text(painter, titles_, QRect(centre - half, title.top(), 2 * half, title.height()),
              Qt::AlignHCenter | Qt::AlignVCenter, plot.TitleText());
}

void plot_painter::paint_legend(QPainter& painter, const frame_style& style, const Plot& plot,
                                const QRect& box) {
    const QFontMetrics& fm = style.fm;
    hline(painter, box.left(), box.right(), box.top(), style.frame);
    hline(painter, box.left(), box.right(), box.bottom(), style.frame);
    vline(painter, box.left(), box.top(), box.bottom(), style.frame);
    vline(painter, box.right(), box.top(), box.bottom(), style.frame);
    int y = box.top() + legend_padding;
    for (const PlotChannel* channel : legend_entries(plot)) {
        const int mid = y + fm.height() / 2;
        const int x0 = box.left() + legend_padding;
        if (channel->TraceVisible())
            hline(painter, x0, x0 + legend_swatch - 1, mid, channel->Color());
        if (channel->MarkersVisible() || !channel->TraceVisible()) {
            const int r = std::clamp(channel->MarkersSize(), 1, fm.height() / 3);
            for (const disc_block& b : disc_blocks(r))
                painter.fillRect(x0 + legend_swatch / 2 - b.half, mid + b.dy, 2 * b.half + 1,
                                 b.rows, channel->Color());
        }
        painter.setPen(style.text);
        draw_text(painter, labels_, QRect(x0 + legend_swatch + gap, y, box.width(), fm.height()),
                  Qt::AlignLeft | Qt::AlignVCenter, channel->TitleText());
        y += fm.height() + 2;
    }
}

void plot_painter::paint_channel(QPainter& painter, const QRect& area, PlotChannel& channel) {
    PlotXAxis* x_axis = channel.find_x_axis();
    PlotYAxis* y_axis = channel.find_y_axis();
    const int count = channel.PointCount();
    if (!channel.Visible() || !x_axis || !y_axis || count == 0)
        return;
    if (!channel.TraceVisible() && !channel.MarkersVisible())
        return;

    // The points whose X lies in the view: by binary search while X never went back.
    int first = 0;
    int last = count - 1;
    if (channel.x_non_decreasing()) {
        if (x_axis->ScaleType() == ScaleLog10) {
            auto xs = channel.x_log10();
            const double lo = x_axis->scaled_min(), hi = x_axis->scaled_max();
            first = static_cast<int>(std::lower_bound(xs.begin(), xs.end(), lo) - xs.begin());
            last = static_cast<int>(std::upper_bound(xs.begin(), xs.end(), hi) - xs.begin()) - 1;
        } else {
            auto xs = channel.x_values();
            const double lo = x_axis->Min(), hi = x_axis->Max();
            first = static_cast<int>(std::lower_bound(xs.begin(), xs.end(), lo) - xs.begin());
            last = static_cast<int>(std::upper_bound(xs.begin(), xs.end(), hi) - xs.begin()) - 1;
        }
    }
    if (channel.TraceVisible())
        paint_trace(painter, area, channel, *x_axis, *y_axis, first, last);
    if (channel.MarkersVisible() && first <= last)
        paint_markers(painter, area, channel, *x_axis, *y_axis, first, last);
}

namespace {

// Reads point i of a channel in its axes' scales.
struct scaled_points {
    std::span<const double> x, y;
    std::span<const float> x_log, y_log;
    bool x_is_log, y_is_log;

    scaled_points(const PlotChannel& c, const PlotAxis& xa, const PlotAxis& ya)
        : x(c.x_values()), y(c.y_values()), x_log(c.x_log10()), y_log(c.y_log10()),
          x_is_log(xa.ScaleType() == ScaleLog10), y_is_log(ya.ScaleType() == ScaleLog10) {}
    double sx(int i) const { return x_is_log ? x_log[i] : x[i]; }
    double sy(int i) const { return y_is_log ? y_log[i] : y[i]; }
};

} // namespace

void plot_painter::paint_trace(QPainter& painter, const QRect& area, const PlotChannel& channel,
                               const PlotXAxis& x_axis, const PlotYAxis& y_axis, int first,
                               int last) {
    const int count = channel.PointCount();
    const bool sorted = channel.x_non_decreasing();
    const scaled_points pts(channel, x_axis, y_axis);
    const plot_map xm(x_axis, area.width());
    const plot_map ym(y_axis, area.height());
    const double left = area.left();
    const double bottom = area.bottom();
    const QRectF guard_rect = QRectF(area).adjusted(-guard, -guard, guard, guard);
    const QRectF clip_rect = QRectF(area).adjusted(-2, -2, 2, 2);

    QPen pen(channel.Color());
    pen.setCosmetic(true);
    pen.setWidth(1);
    painter.save();
    painter.setPen(pen);
    painter.setClipRect(area);

    auto point = [&](int i) {
        return QPointF(left + xm.offset(pts.sx(i)), bottom - ym.offset(pts.sy(i)));
    };
    auto flush = [&] {
        if (polyline_.size() >= 2)
            painter.drawPolyline(polyline_.data(), static_cast<int>(polyline_.size()));
        else if (polyline_.size() == 1)
            painter.drawPoint(polyline_.front());
        polyline_.clear();
    };
    auto same_pixel = [](QPoint a, QPointF b) {
        return std::abs(a.x() - b.x()) < 0.5 && std::abs(a.y() - b.y()) < 0.5;
    };

    // Joins points a..b in order. Segments inside the guard band go into one polyline whose
    // consecutive vertices are distinct pixels; the others are clipped one by one.
    auto join = [&](int a, int b) {
        bool open = false;
        bool have_prev = false;
        QPointF prev;
        for (int i = a; i <= b; ++i) {
            QPointF p = point(i);
            if (!std::isfinite(p.x()) || !std::isfinite(p.y())) {
                flush();
                open = have_prev = false;
                continue;
            }
            if (have_prev) {
                if (guard_rect.contains(prev) && guard_rect.contains(p)) {
                    if (!open) {
                        flush();
                        polyline_.push_back(prev.toPoint());
                        open = true;
                    }
                    if (!same_pixel(polyline_.back(), p))
                        polyline_.push_back(p.toPoint());
                } else {
                    flush();
                    open = false;
                    QPointF ca = prev, cb = p;
                    if (clip_segment(ca, cb, clip_rect))
                        painter.drawLine(ca, cb);
                }
            }
            prev = p;
            have_prev = true;
        }
        flush();
    };

    if (!sorted) {
        join(0, count - 1);
    } else if (last - first + 1 <= 2 * area.width()) {
        join(std::max(first - 1, 0), std::min(last + 1, count - 1));
    } else {
        // More points than columns: per pixel column, the first, lowest, highest and last
        // value, so the polyline has at most four vertices a column.
        join(std::max(first - 1, 0), first);
        const double y_lo = -guard, y_hi = area.height() + guard;
        int column = -1;
        double y_first = 0, y_min = 0, y_max = 0, y_last = 0;
        auto push_column = [&] {
            if (column < 0)
                return;
            const int x = area.left() + column;
            auto y = [&](double v) { return area.bottom() - static_cast<int>(std::lround(v)); };
            for (double v : {y_first, y_min, y_max, y_last}) {
                QPoint p(x, y(v));
                if (polyline_.empty() || polyline_.back() != p)
                    polyline_.push_back(p);
            }
        };
        for (int i = first; i <= last; ++i) {
            const double fy = ym.offset(pts.sy(i));
            if (!std::isfinite(fy))
                continue;
            const double v = std::clamp(fy, y_lo, y_hi);
            const int c = static_cast<int>(std::lround(xm.offset(pts.sx(i))));
            if (c != column) {
                push_column();
                column = c;
                y_first = y_min = y_max = v;
            }
            y_min = std::min(y_min, v);
            y_max = std::max(y_max, v);
            y_last = v;
        }
        push_column();
        flush();
        join(last, std::min(last + 1, count - 1));
    }
    painter.restore();
}

namespace {

// Whether every row from r0 to r1 of the columns c0 to c1 holds a marker centre, in a
// bitmap of columns of h rows each.
bool rows_set(const std::vector<std::uint64_t>& bits, int h, int c0, int c1, int r0, int r1) {
    for (int c = c0; c <= c1; ++c) {
        std::size_t a = static_cast<std::size_t>(c) * h + r0;
        const std::size_t b = static_cast<std::size_t>(c) * h + r1;
        while (a <= b) {
            const std::size_t word = a >> 6;
            const int low = static_cast<int>(a & 63);
            const int high = word == (b >> 6) ? static_cast<int>(b & 63) : 63;
            const int n = high - low + 1;
            const std::uint64_t mask = (n == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << n) - 1)
                                       << low;
            if ((bits[word] & mask) != mask)
                return false;
            a = (word + 1) << 6;
        }
    }
    return true;
}

// Marks the centres of points first..last of a channel whose X never goes back, as
// mark(i) on every point would, reading block summaries where they show that a block
// adds nothing: its lowest and highest points are marked, and when every row that the
// values of its other points reach is already marked in every column the block spans,
// those points are passed over. The picture is the same as marking every point; the
// points read are those of blocks that still add rows to a column. mark_in(column, y)
// marks a value known to lie in a column, as the extremes of a block inside one do;
// mark_rows(column, r0, r1) marks rows r0 to r1 of a column, as a block inside one
// whose values leave no row out does.
template <typename Mark, typename MarkIn, typename MarkRows>
void mark_dense(const std::vector<std::uint64_t>& bits, const PlotChannel& channel, bool y_log,
                const plot_map& xm, const plot_map& ym, int w, int h, int first, int last,
                Mark&& mark, MarkIn&& mark_in, MarkRows&& mark_rows) {
    const std::span<const double> xs = channel.x_values();
    const int count = channel.PointCount();
    const double x_end = w - 0.5, y_end = h - 0.5;
    // The pixel column of point i, or -1 when it is not drawn.
    auto column_of = [&](int i) {
        const double f = xm.offset(xs[static_cast<std::size_t>(i)]);
        return f >= -0.5 && f < x_end ? static_cast<int>(f + 0.5) : -1;
    };
    // The pixel column that every point of the block in hand lies in, or -1 when the
    // columns are read from the points' X.
    int column = -1;
    // Whether every row that values from lo to hi reach is marked in every column that
    // points start..end lie in (true also when none of them is drawn).
    auto covered = [&](int start, int end, double lo, double hi) {
        const double f0 = column >= 0 ? column : xm.offset(xs[start]);
        const double f1 = column >= 0 ? column : xm.offset(xs[end]);
        const double y0 = ym.offset(lo), y1 = ym.offset(hi);
        if (std::isnan(f0) || std::isnan(f1) || std::isnan(y0) || std::isnan(y1))
            return false;
        if (f1 < -0.5 || f0 >= x_end || y1 < -0.5 || y0 >= y_end)
            return true;
        const int c0 = f0 < -0.5 ? 0 : static_cast<int>(f0 + 0.5);
        const int c1 = f1 >= x_end ? w - 1 : static_cast<int>(f1 + 0.5);
        const int r0 = y1 >= y_end ? 0 : h - 1 - static_cast<int>(y1 + 0.5);
        const int r1 = y0 < -0.5 ? h - 1 : h - 1 - static_cast<int>(y0 + 0.5);
        return rows_set(bits, h, c0, c1, r0, r1);
    };
    // Whether the block adds nothing: every row from its lowest to its highest value
    // is marked already.
    auto whole_covered = [&](const auto& b, int start, int end) {
        auto visit = [&](const auto& e) {
            return std::isnan(e.low[0]) || covered(start, end, e.low[0], e.high[0]);
        };
        return y_log ? visit(b.y_log) : visit(b.y);
    };
    auto mark_extremes = [&](const auto& b, int start) {
        auto visit = [&](const auto& e) {
            for (int j = 0; j < b.marked && !std::isnan(e.low[j]); ++j) {
                if (column >= 0) {
                    // The values are those of the points: no need to read them.
                    mark_in(column, e.low[j]);
                    mark_in(column, e.high[j]);
                } else {
                    mark(start + e.at_low[j]);
                    mark(start + e.at_high[j]);
                }
            }
        };
        y_log ? visit(b.y_log) : visit(b.y);
    };
    // A block inside the column whose other points (those but the marked extremes)
    // leave no gap of a pixel row between neighbours has a marker on every row from
    // its low[K] to its high[K]: those rows are marked without reading the points.
    // False when that is not known.
    const double rows_per_unit = ym.pixels_per_unit();
    auto mark_gapless = [&](const auto& b) {
        auto visit = [&](const auto& e) {
            const double lo = e.low[b.marked], hi = e.high[b.marked];
            if (column < 0 || !(lo <= hi) || !(double(e.gap) * rows_per_unit < 0.999))
                return false;
            const double y0 = ym.offset(lo), y1 = ym.offset(hi);
            if (std::isnan(y0) || std::isnan(y1))
                return false;
            if (y1 < -0.5 || y0 >= y_end)
                return true;
            const int r0 = y1 >= y_end ? 0 : h - 1 - static_cast<int>(y1 + 0.5);
            const int r1 = y0 < -0.5 ? h - 1 : h - 1 - static_cast<int>(y0 + 0.5);
            mark_rows(column, r0, r1);
            return true;
        };
        return y_log ? visit(b.y_log) : visit(b.y);
    };
    // The points but the marked extremes lie from low[K] to high[K]; none are left
    // when there are no more values than the extremes hold.
    auto rest_covered = [&](const auto& b, int start, int end) {
        auto visit = [&](const auto& e) {
            const auto lo = e.low[b.marked], hi = e.high[b.marked];
            return std::isnan(lo) || lo > hi || covered(start, end, lo, hi);
        };
        return y_log ? visit(b.y_log) : visit(b.y);
    };

    // The summary levels, largest first.
    constexpr int levels = 3;
    constexpr int sizes[levels] = {PlotChannel::coarse_block, PlotChannel::middle_block,
                                   PlotChannel::fine_block};
    const std::span<const plot_coarse_block> coarse = channel.coarse_blocks();
    const std::span<const plot_coarse_block> middle = channel.middle_blocks();
    const std::span<const plot_fine_block> fine = channel.fine_blocks();
    // Calls f with block of level that starts at start.
    auto with_block = [&](int level, int start, auto&& f) {
        const auto n = static_cast<std::size_t>(start / sizes[level]);
        if (level == 0)
            return f(coarse[n]);
        if (level == 1)
            return f(middle[n]);
        return f(fine[n]);
    };
    // Sets column for points start..end: theirs when they share one.
    auto enter = [&](int start, int end) {
        column = column_of(start);
        if (column >= 0 && column_of(end) != column)
            column = -1;
    };

    // Marks points a..b as marking each would. The whole blocks of the level first,
    // all of them before any is read further, so that the rows their summaries give
    // are there when the others are checked against them; then the pieces at either
    // end and the blocks whose other points may still add rows, a level down.
    // Per level, whether each whole block in hand is settled by its summary alone.
    std::vector<bool> settled[levels];
    auto walk = [&](auto&& self, int level, int a, int b) -> void {
        if (level == levels) {
            for (int i = a; i <= b; ++i)
                mark(i);
            return;
        }
        const int size = sizes[level];
        const int head_end = std::min((a + size - 1) / size * size, b + 1); // first block
        int tail = head_end;                                                // past them
        while (tail <= b && std::min(tail + size, count) - 1 <= b)
            tail = std::min(tail + size, count);
        auto block_end = [&](int start) { return std::min(start + size, count) - 1; };
        std::vector<bool>& done = settled[level];
        done.clear();
        for (int start = head_end; start < tail; start += size) {
            enter(start, block_end(start));
            done.push_back(with_block(level, start, [&](const auto& blk) {
                if (whole_covered(blk, start, block_end(start)))
                    return true;
                mark_extremes(blk, start);
                return mark_gapless(blk);
            }));
        }
        if (a < head_end)
            self(self, level + 1, a, head_end - 1);
        if (tail <= b)
            self(self, level + 1, tail, b);
        for (int start = head_end; start < tail; start += size) {
            if (done[static_cast<std::size_t>((start - head_end) / size)])
                continue;
            enter(start, block_end(start));
            const bool rest = with_block(level, start, [&](const auto& blk) {
                return rest_covered(blk, start, block_end(start));
            });
            if (!rest)
                self(self, level + 1, start, block_end(start));
        }
    };
    // The largest blocks of which a pixel column holds two or more.
    const int per_column = (last - first + 1) / std::max(w, 1);
    int top = levels - 1;
    while (top > 0 && 2 * sizes[top - 1] <= per_column)
        --top;
    walk(walk, top, first, last);
}

} // namespace

void plot_painter::paint_markers(QPainter& painter, const QRect& area, const PlotChannel& channel,
                                 const PlotXAxis& x_axis, const PlotYAxis& y_axis, int first,
                                 int last) {
    const int w = area.width();
    const int h = area.height();
    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    const scaled_points pts(channel, x_axis, y_axis);
    const plot_map xm(x_axis, w);
    const plot_map ym(y_axis, h);

    // One marker per occupied pixel: the bitmap (column by column, so that a column's
    // rows are consecutive bits) is all clear between paints.
    const std::size_t words = (pixels + 63) / 64;
    if (occupied_.size() < words)
        occupied_.resize(words, 0);
    centres_.clear();
    const double x_end = w - 0.5, y_end = h - 0.5;
    // Marks the point of value sy (in the Y axis's scale) in column cx.
    auto mark_in = [&](int cx, double sy) {
        const double fy = ym.offset(sy);
        if (!(fy >= -0.5 && fy < y_end))
            return; // also drops NaN
        const int cy = h - 1 - static_cast<int>(fy + 0.5);
        const std::uint32_t index = static_cast<std::uint32_t>(cx) * h + cy;
        std::uint64_t& word = occupied_[index >> 6];
        const std::uint64_t bit = std::uint64_t(1) << (index & 63);
        if (word & bit)
            return;
        word |= bit;
        centres_.push_back(index);
    };
    auto mark = [&](int i) {
        const double fx = xm.offset(pts.sx(i));
        if (fx >= -0.5 && fx < x_end) // also drops NaN
            mark_in(static_cast<int>(fx + 0.5), pts.sy(i));
    };
    auto mark_rows = [&](int cx, int cy0, int cy1) {
        const std::uint32_t base = static_cast<std::uint32_t>(cx) * h;
        for (std::uint32_t index = base + cy0; index <= base + cy1; ++index) {
            std::uint64_t& word = occupied_[index >> 6];
            const std::uint64_t bit = std::uint64_t(1) << (index & 63);
            if (!(word & bit)) {
                word |= bit;
                centres_.push_back(index);
            }
        }
    };
    if (!channel.x_non_decreasing() || pts.x_is_log || last - first < 4 * w) {
        for (int i = first; i <= last; ++i)
            mark(i);
    } else {
        mark_dense(occupied_, channel, pts.y_is_log, xm, ym, w, h, first, last, mark, mark_in,
                   mark_rows);
    }

    const int r = std::clamp(channel.MarkersSize(), 0, 32);
    const std::vector<disc_block> blocks = disc_blocks(r);
    const QColor color = channel.Color();
    if (centres_.size() * blocks.size() <= max_marker_rects) {
        for (std::uint32_t index : centres_) {
            const int cx = static_cast<int>(index / h);
            const int cy = static_cast<int>(index % h);
            for (const disc_block& b : blocks) {
                const int x0 = std::max(cx - b.half, 0), x1 = std::min(cx + b.half, w - 1);
                const int y0 = std::max(cy + b.dy, 0), y1 = std::min(cy + b.dy + b.rows - 1, h - 1);
                if (x0 <= x1 && y0 <= y1)
                    painter.fillRect(area.left() + x0, area.top() + y0, x1 - x0 + 1, y1 - y0 + 1,
                                     color);
            }
        }
    } else {
        // Many markers: stamp them into a coverage mask, then fill its runs row by row,
        // so the rectangles are bounded by the area, not by the markers. A column's
        // centres come in runs of rows, and the discs of a run cover a disc's full
        // width over the run, a disc's upper half above it and its lower half below.
        coverage_.assign(pixels, 0);
        std::vector<int> half(static_cast<std::size_t>(r) + 1);
        for (int d = 0; d <= r; ++d)
            half[static_cast<std::size_t>(d)] =
                static_cast<int>(std::sqrt((r + 0.5) * (r + 0.5) - double(d) * d));
        auto stamp = [&](int cx, int half_width, int y0, int y1) {
            const int x0 = std::max(cx - half_width, 0), x1 = std::min(cx + half_width, w - 1);
            for (int y = std::max(y0, 0); y <= std::min(y1, h - 1); ++y)
                std::memset(&coverage_[static_cast<std::size_t>(y) * w + x0], 1, x1 - x0 + 1);
        };
        // The first bit from i on (up to end) that is set, or clear when set is false.
        auto next_bit = [&](std::size_t i, std::size_t end, bool set) {
            while (i < end) {
                std::uint64_t word = occupied_[i >> 6];
                if (!set)
                    word = ~word;
                word >>= (i & 63);
                if (word != 0)
                    return std::min(i + static_cast<std::size_t>(std::countr_zero(word)), end);
                i = ((i >> 6) + 1) << 6;
            }
            return end;
        };
        for (int cx = 0; cx < w; ++cx) {
            const std::size_t base = static_cast<std::size_t>(cx) * h;
            const std::size_t column_end = base + static_cast<std::size_t>(h);
            std::size_t i = base;
            while (true) {
                // The next run of centres in this column.
                i = next_bit(i, column_end, true);
                if (i >= column_end)
                    break;
                const std::size_t run_end = next_bit(i, column_end, false);
                const int a = static_cast<int>(i - base);
                const int b = static_cast<int>(run_end - base) - 1;
                i = run_end;
                stamp(cx, half[0], a, b);
                for (int d = 1; d <= r; ++d) {
                    stamp(cx, half[static_cast<std::size_t>(d)], a - d, a - d);
                    stamp(cx, half[static_cast<std::size_t>(d)], b + d, b + d);
                }
            }
        }
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = &coverage_[static_cast<std::size_t>(y) * w];
            int x = 0;
            while (x < w) {
                const void* hit = std::memchr(row + x, 1, w - x);
                if (!hit)
                    break;
                const int start = static_cast<int>(static_cast<const std::uint8_t*>(hit) - row);
                int end = start;
                while (end < w && row[end])
                    ++end;
                painter.fillRect(area.left() + start, area.top() + y, end - start, 1, color);
                x = end;
            }
        }
    }

    if (centres_.size() > words / 4)
        std::fill(occupied_.begin(), occupied_.begin() + words, 0);
    else
        for (std::uint32_t index : centres_)
            occupied_[index >> 6] = 0;
}

QImage render_plot(Plot& plot, QSize size, const QFont& label_font) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    plot_painter().paint(painter, image.rect(), plot, label_font);
    return image;
}
