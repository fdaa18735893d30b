#pragma once

// The chart model: a Plot holds channels (point series) and X and Y axes. Adding a point
// lets the channel's axes follow it ("tracking"), an axis can fit itself to the data drawn
// against it, and the axes map values to pixels and make label texts. Nothing here paints:
// PlotWidget (plot_widget.h) draws a Plot and is told of every change through the change
// hook, so the model is used and tested without a display.
//
// Chart properties follow one pattern: property P is read with P() and set with SetP(v).
// Every setter that changes what is drawn reports a change. Positions outside a list
// (GetChannel, GetXAxis, GetYAxis, PointX, PointY) throw std::out_of_range.

#include <QColor>
#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <vector>

enum PlotScaleType { ScaleLinear, ScaleLog10 };
enum PlotLabelsFormatStyle { LabelsValue, LabelsExponent };
enum PlotLabelsPrecisionStyle { PrecisionSignificantDigits, PrecisionFixedDecimals };
enum PlotTrackingStyle { TrackScaleMinMax, TrackScrollSmooth };
enum PlotTrackingAlignFirstStyle { AlignFirstMin, AlignFirstMax, AlignFirstAuto, AlignFirstNone };
enum PlotTrackingIncrementStyle { IncrementMinimum };

class Plot;
class PlotChannel;
class PlotXAxis;
class PlotYAxis;

// Major and minor tick values of an axis, in data units, inside [Min, Max].
struct plot_ticks {
    std::vector<double> major;
    std::vector<double> minor;
};

class PlotAxis {
public:
    virtual ~PlotAxis() = default;
    PlotAxis(const PlotAxis&) = delete;
    PlotAxis& operator=(const PlotAxis&) = delete;

    Plot& plot() const { return *plot_; }

    const QString& Name() const { return name_; }
    void SetName(const QString& name);
    // The view runs from Min to Max = Min + Span, in data units (also on a log axis).
    // SetMin clamps into [-1e300, 1e300], SetSpan into [1e-300, 1e300]. While a view is
    // held (hold_view) Min, Span and Max are those of the held view; the setters, fits
    // and tracking go on changing the axis's own view underneath.
    double Min() const { return held_ ? held_min_ : min_; }
    void SetMin(double min);
    double Span() const { return held_ ? held_span_ : span_; }
    void SetSpan(double span);
    double Max() const { return Min() + Span(); }
    const QString& Title() const { return title_; }
    void SetTitle(const QString& title);
    bool TitleShow() const { return title_show_; }
    void SetTitleShow(bool show);
    PlotScaleType ScaleType() const { return scale_type_; }
    void SetScaleType(PlotScaleType type);
    PlotLabelsFormatStyle LabelsFormatStyle() const { return labels_format_; }
    void SetLabelsFormatStyle(PlotLabelsFormatStyle style);
    PlotLabelsPrecisionStyle LabelsPrecisionStyle() const { return labels_precision_style_; }
    void SetLabelsPrecisionStyle(PlotLabelsPrecisionStyle style);
    int LabelsPrecision() const { return labels_precision_; }
    void SetLabelsPrecision(int precision);
    bool GridLinesVisible() const { return grid_lines_visible_; }
    void SetGridLinesVisible(bool visible);
    bool TrackingEnabled() const { return tracking_enabled_; }
    void SetTrackingEnabled(bool enabled);
    PlotTrackingStyle TrackingStyle() const { return tracking_style_; }
    void SetTrackingStyle(PlotTrackingStyle style);
    PlotTrackingAlignFirstStyle TrackingAlignFirstStyle() const { return align_first_; }
    void SetTrackingAlignFirstStyle(PlotTrackingAlignFirstStyle style);
    PlotTrackingIncrementStyle TrackingIncrementStyle() const { return increment_style_; }
    void SetTrackingIncrementStyle(PlotTrackingIncrementStyle style);

    // Set by the first value this axis tracks; cleared only by Plot::ClearAllChannels.
    bool first_point_seen() const { return first_point_seen_; }

    // Sets Min and Span to the extent of the data drawn against this axis.
    void FitToData();
    // The label of value v, by the label format and precision settings (no blanks around).
    QString LabelText(double v) const;

    // Sets Min and Span together as tracking and fitting do: on a log axis a non-positive
    // min or span becomes 1; a non-finite one leaves the axis as it was; reports a change
    // only when the view moved.
    void set_view(double min, double span);

    // Shows the view min..min + span (clamped as set_view clamps) instead of the axis's
    // own, which tracking keeps following; release_view shows the own view again.
    // Each reports a change only when the view shown moved.
    void hold_view(double min, double span);
    void release_view();
    bool view_held() const { return held_; }
    // The view FitToData sets: false when there is no data to fit.
    bool fitted_view(double& min, double& span) const;
    // The view that holds every point drawn against the axis: as fitted_view, but an X
    // axis spans from the least X to the greatest, not from the first point to the last
    // (the two differ when X went back, as a clock set back makes it).
    bool whole_view(double& min, double& span) const;

    // Pixel length of the axis (width of the plot area for X, height for Y); 0 until laid out.
    int length_px() const { return length_px_; }
    // Min and Max in the axis's scale (log10 of them on a log axis, a Min that is not
    // positive counting as 1); plot_map (plot_map.h) places values between them.
    double scaled_min() const;
    double scaled_max() const;
    // Marker allowance: the value distance that markers_size pixels cover at the own
    // view's Min, moving
    // the way screen coordinates grow (right on X, down on Y). 0 while the length is 0.
    double marker_allowance(int markers_size) const;
    // Ticks for labels and grid lines: at most max_major major ticks.
    plot_ticks ticks(int max_major) const;

protected:
    PlotAxis(Plot& plot, bool horizontal, const QString& name);

private:
    friend class Plot;
    friend class PlotChannel;
    void track(double v);
    bool clamp_view(double& min, double& span) const;
    bool data_view(double& min, double& span, bool every_x) const;
    void set_length(int px) { length_px_ = px; }
    void changed();

    Plot* plot_;
    bool horizontal_;
    QString name_;
    double min_ = 0;
    double span_ = 100;
    QString title_;
    bool title_show_ = false;
    PlotScaleType scale_type_ = ScaleLinear;
    PlotLabelsFormatStyle labels_format_ = LabelsValue;
    PlotLabelsPrecisionStyle labels_precision_style_ = PrecisionSignificantDigits;
    int labels_precision_ = 3;
    bool grid_lines_visible_ = true;
    bool tracking_enabled_ = true;
    PlotTrackingStyle tracking_style_;
    PlotTrackingAlignFirstStyle align_first_;
    PlotTrackingIncrementStyle increment_style_ = IncrementMinimum;
    bool first_point_seen_ = false;
    int length_px_ = 0;
    bool held_ = false;
    double held_min_ = 0;
    double held_span_ = 1;
};

// Horizontal axis; tracks with TrackScrollSmooth and AlignFirstAuto unless set otherwise.
class PlotXAxis : public PlotAxis {
public:
    PlotXAxis(Plot& plot, const QString& name);
};

// Vertical axis; tracks with TrackScaleMinMax and AlignFirstNone unless set otherwise.
class PlotYAxis : public PlotAxis {
public:
    PlotYAxis(Plot& plot, const QString& name);
};

// The extremes of Y over a block of consecutive points, built as the points arrive, so
// that a view of millions of points reads blocks instead of points. For each form of Y
// (as stored, and in log10 form): the K + 1 lowest values, lowest first, and where the
// K lowest lie (low, at_low), and the same for the highest, highest first. So every
// point of the block but those at at_low and at_high lies between low[K] and high[K].
// NaN is passed over and fills the places of values a block does not have.
// gap is the widest step between neighbours of those other points in value order, at
// least the true one: a view in which it is less than a pixel row has a marker in every
// row from low[K] to high[K]. It is infinite until the block is complete.
template <typename T, int K> struct plot_extremes {
    T low[K + 1], high[K + 1];
    T gap;
    std::uint16_t at_low[K], at_high[K]; // offsets in the block
    void add(T v, std::uint16_t at);
    // Sets gap from the block's values, complete now, in order and without NaN.
    void close(std::span<const T> sorted);
};
template <int K> struct plot_block {
    static constexpr int marked = K;
    plot_extremes<double, K> y;
    plot_extremes<float, K> y_log;
};
// Fine blocks keep one extreme a side; the larger ones, which lie in a pixel column in
// long views, keep four, so that a few stray points (zeros on a log axis, spikes) do
// not hide that the rest of the block adds nothing to the picture.
using plot_fine_block = plot_block<1>;
using plot_coarse_block = plot_block<4>;

// The values of the blocks under way at each level, in order, for their gaps: a
// complete fine block's values are sorted and merged into its middle block's, and
// those into its coarse block's, so that no block is sorted whole.
template <typename T> struct plot_block_values {
    std::vector<T> fine, middle, coarse, spare;
    void clear();
};

class PlotChannel {
public:
    // Points per block of the three summary levels: views of a pixel column for every
    // few thousand points, or every thousand, read the level whose blocks fit a column.
    static constexpr int fine_block = 32;
    static constexpr int middle_block = 256;
    static constexpr int coarse_block = 1024;

    PlotChannel(Plot& plot, const QString& name, const QString& x_axis, const QString& y_axis);
    PlotChannel(const PlotChannel&) = delete;
    PlotChannel& operator=(const PlotChannel&) = delete;

    Plot& plot() const { return *plot_; }

    const QString& Name() const { return name_; }
    void SetName(const QString& name);
    // Text of the channel in the legend.
    const QString& TitleText() const { return title_text_; }
    void SetTitleText(const QString& text);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool VisibleInLegend() const { return visible_in_legend_; }
    void SetVisibleInLegend(bool visible);
    const QColor& Color() const { return color_; }
    void SetColor(const QColor& color);
    // Straight segments join consecutive points in the order added.
    bool TraceVisible() const { return trace_visible_; }
    void SetTraceVisible(bool visible);
    // Each point drawn as a filled circle of radius MarkersSize pixels.
    bool MarkersVisible() const { return markers_visible_; }
    void SetMarkersVisible(bool visible);
    int MarkersSize() const { return markers_size_; }
    void SetMarkersSize(int size);
    // The axes are bound by name (letter case ignored).
    const QString& XAxisName() const { return x_axis_name_; }
    void SetXAxisName(const QString& name);
    const QString& YAxisName() const { return y_axis_name_; }
    void SetYAxisName(const QString& name);
    bool XAxisTrackingEnabled() const { return x_tracking_; }
    void SetXAxisTrackingEnabled(bool enabled);
    bool YAxisTrackingEnabled() const { return y_tracking_; }
    void SetYAxisTrackingEnabled(bool enabled);

    // Appends the point, lets the axes track it and returns its index. Amortised O(1).
    int AddPoint(double x, double y);
    // Removes every point; the axes keep their view and first-point flags.
    void ClearPoints();
    int PointCount() const { return static_cast<int>(x_.size()); }
    double PointX(int index) const;
    double PointY(int index) const;

    // The bound axes. The lookup is made on first use and kept (until the axis name of
    // the channel is set again). GetXAxis/GetYAxis throw std::out_of_range when the plot
    // has no axis of that name; find_x_axis/find_y_axis return nullptr then.
    PlotXAxis& GetXAxis();
    PlotYAxis& GetYAxis();
    PlotXAxis* find_x_axis();
    PlotYAxis* find_y_axis();

    // The points as stored, for painting: raw values, and the same values in log10 form
    // (a value that is not positive stored as 0, that of 1; not finite stays not finite).
    std::span<const double> x_values() const { return x_; }
    std::span<const double> y_values() const { return y_; }
    std::span<const float> x_log10() const { return x_log_; }
    std::span<const float> y_log10() const { return y_log_; }
    // True while every X is at least the one before (so the visible range is found by
    // binary search); a channel whose X went backwards is scanned whole.
    bool x_non_decreasing() const { return x_sorted_; }
    // The least and greatest X of the points, NaN passed over; false when there is none.
    bool x_range(double& least, double& greatest) const;
    // The summaries: block b covers points b * size to b * size + size - 1 (the last one
    // the points so far).
    std::span<const plot_fine_block> fine_blocks() const { return fine_; }
    std::span<const plot_coarse_block> middle_blocks() const { return middle_; }
    std::span<const plot_coarse_block> coarse_blocks() const { return coarse_; }
    // The lowest and highest Y of points first..last, NaN passed over, folded into lo
    // and hi with std::min and std::max; read from the summaries where whole blocks lie
    // in the range.
    void y_extent(int first, int last, double& lo, double& hi) const;

private:
    void changed();

    Plot* plot_;
    QString name_;
    QString title_text_;
    bool visible_ = true;
    bool visible_in_legend_ = true;
    QColor color_ = Qt::red;
    bool trace_visible_ = true;
    bool markers_visible_ = false;
    int markers_size_ = 3;
    QString x_axis_name_;
    QString y_axis_name_;
    bool x_tracking_ = true;
    bool y_tracking_ = true;
    PlotXAxis* x_axis_ = nullptr; // kept once found
    PlotYAxis* y_axis_ = nullptr;
    std::vector<double> x_;
    std::vector<double> y_;
    std::vector<float> x_log_;
    std::vector<float> y_log_;
    std::vector<plot_fine_block> fine_;
    std::vector<plot_coarse_block> middle_;
    std::vector<plot_coarse_block> coarse_;
    plot_block_values<double> y_values_;
    plot_block_values<float> y_log_values_;
    bool x_sorted_ = true;
    double x_least_ = std::numeric_limits<double>::infinity();
    double x_greatest_ = -std::numeric_limits<double>::infinity();
};

class Plot {
public:
    // One X axis "X-Axis 1" and one Y axis "Y-Axis 1", no channels, black background.
    Plot();
    ~Plot();
    Plot(const Plot&) = delete;
    Plot& operator=(const Plot&) = delete;

    // Appends a channel named "Channel <n>" (n counting from 1) bound to the first X and
    // first Y axis.
    PlotChannel& AddChannel();
    PlotXAxis& AddXAxis();
    PlotYAxis& AddYAxis();
    PlotChannel& GetChannel(int index);
    const PlotChannel& GetChannel(int index) const;
    PlotXAxis& GetXAxis(int index);
    const PlotXAxis& GetXAxis(int index) const;
    PlotYAxis& GetYAxis(int index);
    const PlotYAxis& GetYAxis(int index) const;
    int ChannelCount() const { return static_cast<int>(channels_.size()); }
    int XAxisCount() const { return static_cast<int>(x_axes_.size()); }
    int YAxisCount() const { return static_cast<int>(y_axes_.size()); }

    // ClearPoints on every channel, then clears the first-point flag of every axis.
    void ClearAllChannels();

    // Drawn centred above the plot area.
    const QString& TitleText() const { return title_text_; }
    void SetTitleText(const QString& text);
    const QString& TitleFontName() const { return title_font_name_; }
    void SetTitleFontName(const QString& family);
    int TitleFontSize() const { return title_font_size_; }
    void SetTitleFontSize(int points);
    bool TitleFontBold() const { return title_font_bold_; }
    void SetTitleFontBold(bool bold);
    // Always reports a change, even for the same colour.
    const QColor& BackGroundColor() const { return background_; }
    void SetBackGroundColor(const QColor& color);
    // The legend lists the channels that are VisibleInLegend, by TitleText and colour.
    bool LegendVisible() const { return legend_visible_; }
    void SetLegendVisible(bool visible);

    // Pixel lengths of the X axes (width) and Y axes (height); the painter sets them from
    // its layout. Does not report a change: it follows painting, it does not cause it.
    void SetPlotArea(int width_px, int height_px);
    int PlotAreaWidth() const { return area_width_; }
    int PlotAreaHeight() const { return area_height_; }

    // Called after every change of what is drawn; PlotWidget schedules a repaint there.
    void set_change_hook(std::function<void()> hook) { change_hook_ = std::move(hook); }
    // Number of changes reported so far.
    std::uint64_t change_count() const { return change_count_; }
    void changed();

    // The axis of that name (letter case ignored), or nullptr.
    PlotXAxis* find_x_axis(const QString& name) const;
    PlotYAxis* find_y_axis(const QString& name) const;
    const std::vector<std::unique_ptr<PlotChannel>>& channels() const { return channels_; }

private:
    std::vector<std::unique_ptr<PlotChannel>> channels_;
    std::vector<std::unique_ptr<PlotXAxis>> x_axes_;
    std::vector<std::unique_ptr<PlotYAxis>> y_axes_;
    QString title_text_ = QStringLiteral("Untitled");
    QString title_font_name_ = QStringLiteral("Arial");
    int title_font_size_ = 8;
    bool title_font_bold_ = true;
    QColor background_ = Qt::black;
    bool legend_visible_ = false;
    int area_width_ = 0;
    int area_height_ = 0;
    std::function<void()> change_hook_;
    std::uint64_t change_count_ = 0;
};
