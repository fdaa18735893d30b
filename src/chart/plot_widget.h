#pragma once

// PlotWidget: the widget that owns a Plot and shows it (painted by plot_painter), with
// the views a user picks on its first X axis: following the newest points as tracking
// moves the axes (the default), the whole run, or a view the user zoomed (mouse wheel)
// or panned (drag) to, which stays put while points arrive until a double-click returns
// to following. Hovering shows the time and value of the nearest point.

#include "chart/plot.h"
#include "chart/plot_painter.h"

#include <QWidget>

enum class plot_view {
    following, // the axes' own views, as tracking keeps them
    whole_run, // X from the first point to the latest, Y fitted to the data in view
    paused,    // X where the user zoomed or panned it to
};

// The widget that shows a Plot. Every change of the model schedules one repaint through
// update(), so any number of changes within one event-loop turn cost one paint.
class PlotWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlotWidget(QWidget* parent = nullptr);
    ~PlotWidget() override;

    Plot& plot() { return plot_; }
    const Plot& plot() const { return plot_; }

    // Number of paint events handled so far.
    int paint_count() const { return paint_count_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    plot_view view() const { return view_; }
    // The whole run in view (on), or following again (off).
    void show_whole_run(bool on);
    // Back to the axes' own views, which tracking has kept following all along.
    void follow();
    // Zooms X by factor (below 1 in, above 1 out) around the point at fraction at of
    // the plot area's width, and pans X by a fraction of that width (positive moves
    // the data right, to earlier times). Both pause following.
    void zoom_x(double at, double factor);
    void pan_x(double fraction);
    // Brings the whole-run view up to date now rather than at the next paint.
    void update_view();

    // The text shown for the point nearest the pointer ("" when none), and the hint
    // shown while paused: what a double-click does.
    const QString& hover_text() const { return hover_text_; }
    const QString& paused_hint() const { return paused_hint_; }
    void set_paused_hint(const QString& hint);

signals:
    void view_changed(plot_view view);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QRect plot_area() const;
    void set_view(plot_view view);
    void pause_at(double min, double max);
    void hover_at(QPoint pos);
    void paint_overlay(QPainter& painter, const QRect& area);

    Plot plot_;
    plot_painter painter_;
    int paint_count_ = 0;
    plot_view view_ = plot_view::following;
    bool view_stale_ = false; // the whole-run view is to be brought up to date
    bool adjusting_ = false;  // changes made by update_view() itself
    // A drag: where it started and the X view then.
    bool pressed_ = false;
    bool dragged_ = false;
    QPoint press_at_;
    double press_min_ = 0, press_span_ = 1;
    // The point under the pointer: channel and index, -1 when none.
    int hover_channel_ = -1;
    int hover_index_ = -1;
    QString hover_text_;
    QString paused_hint_ = QStringLiteral("Paused: double-click to follow");
};
