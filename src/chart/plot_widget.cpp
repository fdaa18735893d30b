#include "chart/plot_widget.h"

#include "chart/plot_map.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// One wheel notch zooms by this factor.
constexpr double zoom_step = 0.8;
// A press that moves fewer pixels than this is a click, not a drag.
constexpr int drag_threshold = 3;
// Hover finds points within this many pixels (across) of the pointer.
constexpr int hover_reach = 24;

} // namespace

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
    // The paint covers every pixel, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    plot_.set_change_hook([this] {
        if (adjusting_)
            return;
        if (view_ == plot_view::whole_run)
            view_stale_ = true;
        update();
    });
}

PlotWidget::~PlotWidget() {
    plot_.set_change_hook(nullptr);
}

QSize PlotWidget::sizeHint() const {
    return {480, 320};
}
QSize PlotWidget::minimumSizeHint() const {
    return {160, 100};
}

QRect PlotWidget::plot_area() const {
    return plot_painter::layout(plot_, rect(), font()).plot_area;
}

void PlotWidget::set_paused_hint(const QString& hint) {
    paused_hint_ = hint;
    if (view_ == plot_view::paused)
        update();
}

void PlotWidget::set_view(plot_view view) {
    if (view_ == view)
        return;
    view_ = view;
    emit view_changed(view);
}

void PlotWidget::show_whole_run(bool on) {
    if (!on) {
        follow();
        return;
    }
    set_view(plot_view::whole_run);
    view_stale_ = true;
    update();
}

void PlotWidget::follow() {
    set_view(plot_view::following);
    view_stale_ = false;
    if (plot_.XAxisCount() > 0)
        plot_.GetXAxis(0).release_view();
    if (plot_.YAxisCount() > 0)
        plot_.GetYAxis(0).release_view();
    update();
}

void PlotWidget::update_view() {
    if (view_ != plot_view::whole_run || plot_.XAxisCount() == 0 || plot_.YAxisCount() == 0)
        return;
    view_stale_ = false;
    adjusting_ = true;
    // X first: the Y fit covers the points of the X view.
    PlotXAxis& x = plot_.GetXAxis(0);
    PlotYAxis& y = plot_.GetYAxis(0);
    double min = 0, span = 0;
    if (x.whole_view(min, span))
        x.hold_view(min, span);
    else
        x.release_view();
    if (y.fitted_view(min, span))
        y.hold_view(min, span);
    else
        y.release_view();
    adjusting_ = false;
}

void PlotWidget::pause_at(double min, double max) {
    if (plot_.XAxisCount() == 0 || !(max > min))
        return;
    set_view(plot_view::paused);
    view_stale_ = false;
    plot_.GetXAxis(0).hold_view(min, max - min);
}

void PlotWidget::zoom_x(double at, double factor) {
    if (plot_.XAxisCount() == 0 || !(factor > 0))
        return;
    const PlotXAxis& x = plot_.GetXAxis(0);
    const plot_map map(x, plot_.PlotAreaWidth());
    pause_at(map.value_at(at * (1 - factor)), map.value_at(at + (1 - at) * factor));
}

void PlotWidget::pan_x(double fraction) {
    if (plot_.XAxisCount() == 0)
        return;
    const plot_map map(plot_.GetXAxis(0), plot_.PlotAreaWidth());
    pause_at(map.value_at(-fraction), map.value_at(1 - fraction));
}

void PlotWidget::wheelEvent(QWheelEvent* event) {
    const QRect area = plot_area();
    const QPoint pos = event->position().toPoint();
    const int notches = event->angleDelta().y();
    if (!area.contains(pos) || area.width() < 2 || notches == 0) {
        event->ignore();
        return;
    }
    const double at = double(pos.x() - area.left()) / (area.width() - 1);
    zoom_x(at, std::pow(zoom_step, notches / 120.0));
    hover_at(pos);
    event->accept();
}

void PlotWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || plot_.XAxisCount() == 0 ||
        !plot_area().contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    dragged_ = false;
    press_at_ = event->position().toPoint();
    press_min_ = plot_.GetXAxis(0).Min();
    press_span_ = plot_.GetXAxis(0).Span();
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (pressed_ && (event->buttons() & Qt::LeftButton)) {
        const int dx = pos.x() - press_at_.x();
        dragged_ = dragged_ || std::abs(dx) >= drag_threshold;
        const int width = plot_.PlotAreaWidth();
        if (dragged_ && width >= 2) {
            // From the view at the press, so that the drag does not drift.
            const PlotXAxis& x = plot_.GetXAxis(0);
            const plot_map map(x.ScaleType() == ScaleLog10, press_min_, press_span_, width);
            const double f = double(dx) / (width - 1);
            pause_at(map.value_at(-f), map.value_at(1 - f));
        }
    }
    hover_at(pos);
}

void PlotWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = false;
    QWidget::mouseReleaseEvent(event);
}

void PlotWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && plot_area().contains(event->position().toPoint())) {
        follow();
        hover_at(event->position().toPoint()); // the view moved under the pointer
    } else
        QWidget::mouseDoubleClickEvent(event);
}

void PlotWidget::leaveEvent(QEvent* event) {
    if (hover_index_ >= 0) {
        hover_channel_ = hover_index_ = -1;
        hover_text_.clear();
        update();
    }
    QWidget::leaveEvent(event);
}

void PlotWidget::hover_at(QPoint pos) {
    update_view();
    int channel_found = -1, index_found = -1;
    const QRect area = plot_area();
    if (area.contains(pos) && area.width() >= 2 && plot_.XAxisCount() > 0) {
        const PlotXAxis& x = plot_.GetXAxis(0);
        const plot_map xm(x, area.width());
        const double target = xm.value_at(double(pos.x() - area.left()) / (area.width() - 1));
        double best = hover_reach + 1;
        for (int c = 0; c < plot_.ChannelCount(); ++c) {
            PlotChannel& channel = plot_.GetChannel(c);
            if (!channel.Visible() || channel.PointCount() == 0 || !channel.x_non_decreasing() ||
                channel.find_x_axis() != &x || !channel.find_y_axis())
                continue;
            // The points on either side of the pointer's time, if they are in view.
            const auto xs = channel.x_values();
            const auto after = std::lower_bound(xs.begin(), xs.end(), target) - xs.begin();
            for (auto i : {after - 1, after}) {
                if (i < 0 || i >= static_cast<long>(xs.size()) || xs[i] < x.Min() ||
                    xs[i] > x.Max())
                    continue;
                const double distance = std::abs(xm.offset_of(xs[i]) - (pos.x() - area.left()));
                if (distance < best) {
                    best = distance;
                    channel_found = c;
                    index_found = static_cast<int>(i);
                }
            }
        }
    }
    if (channel_found == hover_channel_ && index_found == hover_index_)
        return;
    hover_channel_ = channel_found;
    hover_index_ = index_found;
    hover_text_.clear();
    if (index_found >= 0) {
        PlotChannel& channel = plot_.GetChannel(channel_found);
        hover_text_ = channel.GetXAxis().LabelText(channel.PointX(index_found)) + ", " +
                      channel.GetYAxis().LabelText(channel.PointY(index_found));
    }
    update();
}

void PlotWidget::paintEvent(QPaintEvent*) {
    ++paint_count_;
    if (view_stale_)
        update_view();
    QPainter painter(this);
    painter_.paint(painter, rect(), plot_, font());
    if (view_ == plot_view::paused || hover_index_ >= 0)
        paint_overlay(painter, plot_area());
}

void PlotWidget::paint_overlay(QPainter& painter, const QRect& area) {
    const QFontMetrics fm(font());
    painter.setFont(font());
    auto label = [&](const QString& text, QPoint at, int flags) {
        const int w = fm.horizontalAdvance(text) + 8, h = fm.height() + 4;
        QRect box(at, QSize(w, h));
        if (flags & Qt::AlignRight)
            box.moveRight(at.x());
        box = box.intersected(area);
        painter.fillRect(box, QColor(0, 0, 0, 200));
        painter.setPen(Qt::white);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.drawText(box, Qt::AlignCenter, text);
    };
    if (view_ == plot_view::paused)
        label(paused_hint_, QPoint(area.right() - 4, area.top() + 4), Qt::AlignRight);
    if (hover_index_ < 0 || hover_channel_ >= plot_.ChannelCount())
        return;
    PlotChannel& channel = plot_.GetChannel(hover_channel_);
    if (hover_index_ >= channel.PointCount())
        return;
    const plot_map xm(channel.GetXAxis(), area.width()), ym(channel.GetYAxis(), area.height());
    const QPoint at(area.left() + xm.pixel_of(channel.PointX(hover_index_)),
                    area.bottom() - ym.pixel_of(channel.PointY(hover_index_)));
    if (area.contains(at)) {
        const int r = std::max(channel.MarkersSize(), 2) + 3;
        painter.setPen(Qt::white);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, r, r);
    }
    label(hover_text_, QPoint(area.left() + 4, area.top() + 4), Qt::AlignLeft);
}

void PlotWidget::resizeEvent(QResizeEvent* event) {
    // The marker allowance of the next point depends on the axis lengths, so they follow
    // the size at once rather than at the next paint.
    const plot_layout lay = plot_painter::layout(plot_, rect(), font());
    plot_.SetPlotArea(lay.plot_area.width(), lay.plot_area.height());
    QWidget::resizeEvent(event);
}
