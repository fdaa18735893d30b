#include "chart/plot.h"

#include "chart/plot_map.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace {

constexpr double huge_value = 1e300;
constexpr double min_span = 1e-300;

bool same_name(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Stores value in field; true when that changed it.
template <typename T> bool assign(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

// log10 as the channels store it: a value that is not positive counts as 1.
float stored_log10(double v) {
    if (std::isnan(v))
        return std::numeric_limits<float>::quiet_NaN();
    return v > 0 ? static_cast<float>(std::log10(v)) : 0.0f;
}

template <int K> plot_block<K> empty_block() {
    plot_block<K> b{};
    std::fill(std::begin(b.y.low), std::end(b.y.low), std::numeric_limits<double>::quiet_NaN());
    std::fill(std::begin(b.y.high), std::end(b.y.high), std::numeric_limits<double>::quiet_NaN());
    std::fill(std::begin(b.y_log.low), std::end(b.y_log.low),
              std::numeric_limits<float>::quiet_NaN());
    std::fill(std::begin(b.y_log.high), std::end(b.y_log.high),
              std::numeric_limits<float>::quiet_NaN());
    b.y.gap = std::numeric_limits<double>::infinity();
    b.y_log.gap = std::numeric_limits<float>::infinity();
    return b;
}

// Puts v among the K + 1 kept values of one side (ordered by before, NaN last), the
// offsets following the K first.
template <typename T, int K, typename Before>
void keep_extreme(T (&values)[K + 1], std::uint16_t (&at)[K], T v, std::uint16_t where,
                  Before before) {
    if (!(std::isnan(values[K]) || before(v, values[K])))
        return;
    int p = K;
    while (p > 0 && (std::isnan(values[p - 1]) || before(v, values[p - 1]))) {
        values[p] = values[p - 1];
        if (p < K)
            at[p] = at[p - 1];
        --p;
    }
    values[p] = v;
    if (p < K)
        at[p] = where;
}

// The fit's binary search: the last position probed, stopping early on an exact match.
int probe_search(std::span<const double> xs, double target) {
    int lo = 0;
    int hi = static_cast<int>(xs.size()) - 1;
    int mid = 0;
    while (lo <= hi) {
        mid = lo + (hi - lo) / 2;
        if (xs[mid] == target)
            break;
        if (xs[mid] < target)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return mid;
}

QString format_number(double v, std::chars_format format, int decimals) {
    // Locale-independent, unlike printf under a program that has called setlocale().
    char buffer[512];
    decimals = std::clamp(decimals, 0, 100);
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, format, decimals);
    if (ec != std::errc())
        return QString::number(v, 'g', 17);
    return QString::fromLatin1(buffer, static_cast<int>(end - buffer)).trimmed();
}

double nice_step(double raw) {
    double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw * (1 - 1e-9))
            return m * magnitude;
    return 10 * magnitude;
}

// Multiples of step in [lo, hi]; empty when they would be absurdly many.
void linear_ticks(double lo, double hi, double step, std::vector<double>& out) {
    if (!(step > 0) || !std::isfinite(lo) || !std::isfinite(hi))
        return;
    double first = std::ceil(lo / step - 1e-9);
    double last = std::floor(hi / step + 1e-9);
    if (!(last - first < 1000))
        return;
    for (double n = first; n <= last; ++n) {
        double v = n * step;
        out.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    }
}

} // namespace

// ---- PlotAxis ----

PlotAxis::PlotAxis(Plot& plot, bool horizontal, const QString& name)
    : plot_(&plot), horizontal_(horizontal), name_(name), title_(name),
      tracking_style_(horizontal ? TrackScrollSmooth : TrackScaleMinMax),
      align_first_(horizontal ? AlignFirstAuto : AlignFirstNone) {}

PlotXAxis::PlotXAxis(Plot& plot, const QString& name) : PlotAxis(plot, true, name) {}
PlotYAxis::PlotYAxis(Plot& plot, const QString& name) : PlotAxis(plot, false, name) {}

void PlotAxis::changed() {
    plot_->changed();
}

#define PLOT_SETTER(Class, Setter, Type, field)                                                    \
    void Class::Setter(Type value) {                                                               \
        if (assign(field, value))                                                                  \
            changed();                                                                             \
    }

PLOT_SETTER(PlotAxis, SetName, const QString&, name_)
PLOT_SETTER(PlotAxis, SetTitle, const QString&, title_)
PLOT_SETTER(PlotAxis, SetTitleShow, bool, title_show_)
PLOT_SETTER(PlotAxis, SetScaleType, PlotScaleType, scale_type_)
PLOT_SETTER(PlotAxis, SetLabelsFormatStyle, PlotLabelsFormatStyle, labels_format_)
PLOT_SETTER(PlotAxis, SetLabelsPrecisionStyle, PlotLabelsPrecisionStyle, labels_precision_style_)
PLOT_SETTER(PlotAxis, SetLabelsPrecision, int, labels_precision_)
PLOT_SETTER(PlotAxis, SetGridLinesVisible, bool, grid_lines_visible_)
PLOT_SETTER(PlotAxis, SetTrackingEnabled, bool, tracking_enabled_)
PLOT_SETTER(PlotAxis, SetTrackingStyle, PlotTrackingStyle, tracking_style_)
PLOT_SETTER(PlotAxis, SetTrackingAlignFirstStyle, PlotTrackingAlignFirstStyle, align_first_)
PLOT_SETTER(PlotAxis, SetTrackingIncrementStyle, PlotTrackingIncrementStyle, increment_style_)

void PlotAxis::SetMin(double min) {
    if (std::isnan(min))
        return;
    if (assign(min_, std::clamp(min, -huge_value, huge_value)))
        changed();
}

void PlotAxis::SetSpan(double span) {
    if (std::isnan(span))
        return;
    if (assign(span_, std::clamp(span, min_span, huge_value)))
        changed();
}

bool PlotAxis::clamp_view(double& min, double& span) const {
    // A NaN would leave the view unusable for good; such a proposal is dropped.
    if (std::isnan(min) || std::isnan(span))
        return false;
    if (scale_type_ == ScaleLog10) {
        if (min <= 0)
            min = 1;
        if (span <= 0)
            span = 1;
    }
    min = std::clamp(min, -huge_value, huge_value);
    span = std::clamp(span, min_span, huge_value);
    return true;
}

void PlotAxis::set_view(double min, double span) {
    if (!clamp_view(min, span) || (min == min_ && span == span_))
        return;
    min_ = min;
    span_ = span;
    changed();
}

void PlotAxis::hold_view(double min, double span) {
    if (!clamp_view(min, span) || (held_ && min == held_min_ && span == held_span_))
        return;
    const bool moved = min != Min() || span != Span();
    held_ = true;
    held_min_ = min;
    held_span_ = span;
    if (moved)
        changed();
}

void PlotAxis::release_view() {
    if (!held_)
        return;
    const bool moved = held_min_ != min_ || held_span_ != span_;
    held_ = false;
    if (moved)
        changed();
}

void PlotAxis::track(double v) {
    // An infinite or NaN value has no place to scroll to; the view stays.
    if (!tracking_enabled_ || !std::isfinite(v))
        return;
    const double max = min_ + span_; // the view tracking keeps, held or not
    if (!first_point_seen_) {
        first_point_seen_ = true;
        switch (align_first_) {
        case AlignFirstMin:
            set_view(v, span_);
            break;
        case AlignFirstMax:
            set_view(v - span_, span_);
            break;
        case AlignFirstAuto:
            if (v < min_ || v > max)
                set_view(v, span_);
            break;
        case AlignFirstNone:
            break;
        }
        return;
    }
    switch (tracking_style_) {
    case TrackScrollSmooth:
        if (v > max)
            set_view(v - span_, span_);
        else if (v < min_)
            set_view(v, span_);
        break;
    case TrackScaleMinMax:
        set_view(v < min_ ? v : min_, v > max ? v - min_ : span_);
        break;
    }
}

double PlotAxis::scaled_min() const {
    return plot_map(*this, 0).scaled_min();
}

double PlotAxis::scaled_max() const {
    return plot_map(*this, 0).scaled_max();
}

double PlotAxis::marker_allowance(int markers_size) const {
    if (length_px_ <= 0)
        return 0;
    // Growing screen coordinates run towards Max on X and away from it on Y.
    double f = static_cast<double>(markers_size) / length_px_;
    // On the view tracking keeps, so that a held view does not change where tracking goes.
    const plot_map map(scale_type_ == ScaleLog10, min_, span_, length_px_);
    double moved = map.value_at(horizontal_ ? f : -f);
    double at_min = scale_type_ == ScaleLog10 && min_ <= 0 ? 1.0 : min_;
    return std::abs(moved - at_min);
}

QString PlotAxis::LabelText(double v) const {
    const int precision = labels_precision_;
    if (labels_format_ == LabelsExponent) {
        int decimals =
            labels_precision_style_ == PrecisionSignificantDigits ? precision - 1 : precision;
        return format_number(v, std::chars_format::scientific, std::max(decimals, 0));
    }
    int k = precision;
    if (labels_precision_style_ == PrecisionSignificantDigits) {
        double span = std::abs(Span());
        if (span == 0 || precision <= 0) {
            k = 0;
        } else {
            int t = static_cast<int>(std::trunc(std::log10(span)));
            k = precision - (t + 1);
            if (span < 1)
                k += 1;
        }
    }
    return format_number(v, std::chars_format::fixed, std::max(k, 0));
}

plot_ticks PlotAxis::ticks(int max_major) const {
    plot_ticks out;
    const double view_min = Min(), view_span = Span(), view_max = Max(); // the view shown
    max_major = std::max(max_major, 2);
    if (scale_type_ != ScaleLog10) {
        double step = nice_step(view_span / max_major);
        linear_ticks(view_min, view_max, step, out.major);
        double mantissa = step / std::pow(10.0, std::floor(std::log10(step)) + 1e-12);
        double minor = step / (std::round(mantissa) == 2 ? 4 : 5);
        std::vector<double> all;
        linear_ticks(view_min, view_max, minor, all);
        for (double v : all)
            if (std::abs(std::remainder(v, step)) > minor * 1e-6)
                out.minor.push_back(v);
        return out;
    }
    const double lo = scaled_min();
    const double hi = scaled_max();
    const double low_value = view_min > 0 ? view_min : 1.0;
    const double high_value = low_value + view_span;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        return out;
    int first = static_cast<int>(std::ceil(lo - 1e-9));
    int last = static_cast<int>(std::floor(hi + 1e-9));
    int decades = last - first + 1;
    if (decades >= 2) {
        int every = (decades + max_major - 1) / max_major;
        for (int e = first; e <= last; ++e) {
            double v = std::pow(10.0, e);
            if ((e % every) == 0)
                out.major.push_back(v);
            else
                out.minor.push_back(v);
            if (every == 1)
                for (int m = 2; m <= 9; ++m)
                    if (m * v >= low_value && m * v <= high_value)
                        out.minor.push_back(m * v);
        }
        if (every == 1 && first - 1 >= -400)
            for (int m = 2; m <= 9; ++m) {
                double v = m * std::pow(10.0, first - 1);
                if (v >= low_value && v <= high_value)
                    out.minor.push_back(v);
            }
        return out;
    }
    // Less than two decades in view: 1-2-5 steps, or plain linear steps when even those
    // give fewer than two ticks.
    for (int e = first - 1; e <= last; ++e)
        for (double m : {1.0, 2.0, 5.0}) {
            double v = m * std::pow(10.0, e);
            if (v >= low_value * (1 - 1e-12) && v <= high_value * (1 + 1e-12))
                out.major.push_back(v);
        }
    if (out.major.size() >= 2 && static_cast<int>(out.major.size()) <= max_major)
        return out;
    out.major.clear();
    linear_ticks(low_value, high_value, nice_step(view_span / max_major), out.major);
    return out;
}

void PlotAxis::FitToData() {
    double min = 0, span = 0;
    if (fitted_view(min, span))
        set_view(min, span);
}

bool PlotAxis::fitted_view(double& min, double& span) const {
    return data_view(min, span, false);
}

bool PlotAxis::whole_view(double& min, double& span) const {
    return data_view(min, span, true);
}

bool PlotAxis::data_view(double& min, double& span, bool every_x) const {
    double hi = -huge_value;
    double lo = huge_value;
    for (const auto& owned : plot_->channels()) {
        PlotChannel& channel = *owned;
        if (!same_name(horizontal_ ? channel.XAxisName() : channel.YAxisName(), name_))
            continue;
        double upper = -huge_value;
        double lower = huge_value;
        PlotXAxis* x_axis = channel.find_x_axis();
        PlotYAxis* y_axis = channel.find_y_axis();
        const int count = channel.PointCount();
        if (channel.Visible() && x_axis && y_axis && count > 0) {
            const double p =
                channel.MarkersVisible() ? marker_allowance(channel.MarkersSize()) : 0.0;
            std::span<const double> xs = channel.x_values();
            double least = xs.front(), greatest = xs.back();
            if (horizontal_) {
                if (every_x && !channel.x_range(least, greatest))
                    continue;
                upper = greatest + p;
                lower = least - p;
            } else {
                const double view_min = x_axis->Min();
                const double view_max = x_axis->Max();
                int i1 = probe_search(xs, view_min);
                if (view_min < xs[i1])
                    --i1;
                int i2 = probe_search(xs, view_max);
                if (view_max > xs[i2])
                    ++i2;
                i1 = std::clamp(i1, 0, count - 1);
                i2 = std::clamp(i2, 0, count - 1);
                double largest = -huge_value;
                double smallest = huge_value;
                channel.y_extent(i1, i2, smallest, largest);
                if (i1 <= i2 && largest >= smallest) {
                    upper = largest + p;
                    lower = smallest - p;
                }
            }
        }
        hi = std::max(hi, upper);
        lo = std::min(lo, lower);
    }
    if (!(hi > -1e299 && lo < 1e299 && hi != lo))
        return false;
    min = lo;
    span = hi - lo;
    return true;
}

// ---- PlotChannel ----

PlotChannel::PlotChannel(Plot& plot, const QString& name, const QString& x_axis,
                         const QString& y_axis)
    : plot_(&plot), name_(name), title_text_(name), x_axis_name_(x_axis), y_axis_name_(y_axis) {}

void PlotChannel::changed() {
    plot_->changed();
}

PLOT_SETTER(PlotChannel, SetName, const QString&, name_)
PLOT_SETTER(PlotChannel, SetTitleText, const QString&, title_text_)
PLOT_SETTER(PlotChannel, SetVisible, bool, visible_)
PLOT_SETTER(PlotChannel, SetVisibleInLegend, bool, visible_in_legend_)
PLOT_SETTER(PlotChannel, SetColor, const QColor&, color_)
PLOT_SETTER(PlotChannel, SetTraceVisible, bool, trace_visible_)
PLOT_SETTER(PlotChannel, SetMarkersVisible, bool, markers_visible_)
PLOT_SETTER(PlotChannel, SetXAxisTrackingEnabled, bool, x_tracking_)
PLOT_SETTER(PlotChannel, SetYAxisTrackingEnabled, bool, y_tracking_)

void PlotChannel::SetMarkersSize(int size) {
    if (assign(markers_size_, std::max(size, 0)))
        changed();
}

void PlotChannel::SetXAxisName(const QString& name) {
    x_axis_ = nullptr;
    if (assign(x_axis_name_, name))
        changed();
}

void PlotChannel::SetYAxisName(const QString& name) {
    y_axis_ = nullptr;
    if (assign(y_axis_name_, name))
        changed();
}

PlotXAxis* PlotChannel::find_x_axis() {
    if (!x_axis_)
        x_axis_ = plot_->find_x_axis(x_axis_name_);
    return x_axis_;
}

PlotYAxis* PlotChannel::find_y_axis() {
    if (!y_axis_)
        y_axis_ = plot_->find_y_axis(y_axis_name_);
    return y_axis_;
}

PlotXAxis& PlotChannel::GetXAxis() {
    if (PlotXAxis* axis = find_x_axis())
        return *axis;
    throw std::out_of_range("chart channel has no X axis named " + x_axis_name_.toStdString());
}

PlotYAxis& PlotChannel::GetYAxis() {
    if (PlotYAxis* axis = find_y_axis())
        return *axis;
    throw std::out_of_range("chart channel has no Y axis named " + y_axis_name_.toStdString());
}

int PlotChannel::AddPoint(double x, double y) {
    if (!x_.empty() && !(x >= x_.back()))
        x_sorted_ = false;
    if (std::isnan(x))
        x_sorted_ = false;
    if (!std::isnan(x)) {
        x_least_ = std::min(x_least_, x);
        x_greatest_ = std::max(x_greatest_, x);
    }
    x_.push_back(x);
    y_.push_back(y);
    x_log_.push_back(stored_log10(x));
    y_log_.push_back(stored_log10(y));
    const int index = static_cast<int>(x_.size()) - 1;
    auto summarise = [&](auto& blocks, int size) {
        if (index % size == 0)
            blocks.push_back(
                empty_block<std::remove_reference_t<decltype(blocks)>::value_type::marked>());
        const auto at = static_cast<std::uint16_t>(index % size);
        blocks.back().y.add(y, at);
        blocks.back().y_log.add(y_log_.back(), at);
    };
    summarise(fine_, fine_block);
    summarise(middle_, middle_block);
    summarise(coarse_, coarse_block);
    if (index % fine_block == fine_block - 1) {
        // Blocks complete here: their gaps, from their values in order.
        auto close = [&](auto& values, auto&& pick, const auto& points) {
            using T = typename std::remove_reference_t<decltype(points)>::value_type;
            auto merge = [&values](std::vector<T>& into, const std::vector<T>& run) {
                values.spare.resize(into.size() + run.size());
                std::merge(into.begin(), into.end(), run.begin(), run.end(), values.spare.begin());
                into.swap(values.spare);
            };
            values.fine.clear();
            for (std::size_t i = std::size_t(index + 1 - fine_block); i <= std::size_t(index); ++i)
                if (!std::isnan(points[i]))
                    values.fine.push_back(points[i]);
            std::sort(values.fine.begin(), values.fine.end());
            pick(fine_.back()).close(values.fine);
            merge(values.middle, values.fine);
            if (index % middle_block != middle_block - 1)
                return;
            pick(middle_.back()).close(values.middle);
            merge(values.coarse, values.middle);
            values.middle.clear();
            if (index % coarse_block != coarse_block - 1)
                return;
            pick(coarse_.back()).close(values.coarse);
            values.coarse.clear();
        };
        close(
            y_values_, [](auto& b) -> auto& { return b.y; }, y_);
        close(
            y_log_values_, [](auto& b) -> auto& { return b.y_log; }, y_log_);
    }

    // The allowance is taken again before the second call: the first may have moved the view.
    auto track = [this](PlotAxis& axis, double v) {
        if (!markers_visible_) {
            axis.track(v);
            return;
        }
        axis.track(v + axis.marker_allowance(markers_size_));
        axis.track(v - axis.marker_allowance(markers_size_));
    };
    if (x_tracking_)
        if (PlotXAxis* axis = find_x_axis())
            track(*axis, x);
    if (y_tracking_)
        if (PlotYAxis* axis = find_y_axis())
            track(*axis, y);
    changed();
    return PointCount() - 1;
}

void PlotChannel::ClearPoints() {
    // Capacity is kept: the 60-point chart is refilled every second.
    x_.clear();
    y_.clear();
    x_log_.clear();
    y_log_.clear();
    fine_.clear();
    middle_.clear();
    coarse_.clear();
    y_values_.clear();
    y_log_values_.clear();
    x_sorted_ = true;
    x_least_ = std::numeric_limits<double>::infinity();
    x_greatest_ = -std::numeric_limits<double>::infinity();
    changed();
}

bool PlotChannel::x_range(double& least, double& greatest) const {
    if (!(x_least_ <= x_greatest_))
        return false;
    least = x_least_;
    greatest = x_greatest_;
    return true;
}

template <typename T, int K> void plot_extremes<T, K>::add(T v, std::uint16_t at) {
    if (std::isnan(v))
        return;
    keep_extreme<T, K>(low, at_low, v, at, std::less<T>());
    keep_extreme<T, K>(high, at_high, v, at, std::greater<T>());
}

template <typename T, int K> void plot_extremes<T, K>::close(std::span<const T> sorted) {
    double widest = 0;
    for (std::size_t i = K + 1; i + K < sorted.size(); ++i)
        widest = std::max(widest, double(sorted[i]) - double(sorted[i - 1]));
    // Rounded up, so that the stored gap is never narrower than the true one.
    gap = static_cast<T>(widest);
    if (double(gap) < widest)
        gap = std::nextafter(gap, std::numeric_limits<T>::infinity());
}

template <typename T> void plot_block_values<T>::clear() {
    fine.clear();
    middle.clear();
    coarse.clear();
}

template struct plot_block_values<double>;
template struct plot_block_values<float>;
template struct plot_extremes<double, 1>;
template struct plot_extremes<float, 1>;
template struct plot_extremes<double, 4>;
template struct plot_extremes<float, 4>;

void PlotChannel::y_extent(int first, int last, double& lo, double& hi) const {
    const int count = PointCount();
    first = std::max(first, 0);
    last = std::min(last, count - 1);
    // A block is used when it lies wholly in the range (the last one up to the last point).
    auto whole = [&](int i, int size) {
        return i % size == 0 && std::min(i + size, count) - 1 <= last;
    };
    auto fold = [&](const auto& b) {
        lo = std::min(lo, b.y.low[0]); // NaN passed over
        hi = std::max(hi, b.y.high[0]);
    };
    int i = first;
    while (i <= last) {
        if (whole(i, coarse_block)) {
            fold(coarse_[static_cast<std::size_t>(i / coarse_block)]);
            i += coarse_block;
        } else if (whole(i, fine_block)) {
            fold(fine_[static_cast<std::size_t>(i / fine_block)]);
            i += fine_block;
        } else {
            lo = std::min(lo, y_[static_cast<std::size_t>(i)]);
            hi = std::max(hi, y_[static_cast<std::size_t>(i)]);
            ++i;
        }
    }
}

double PlotChannel::PointX(int index) const {
    return x_.at(static_cast<std::size_t>(index));
}
double PlotChannel::PointY(int index) const {
    return y_.at(static_cast<std::size_t>(index));
}

// ---- Plot ----

Plot::Plot() {
    AddXAxis();
    AddYAxis();
}

Plot::~Plot() = default;

PlotChannel& Plot::AddChannel() {
    QString name = QStringLiteral("Channel %1").arg(channels_.size() + 1);
    channels_.push_back(std::make_unique<PlotChannel>(*this, name, x_axes_.front()->Name(),
                                                      y_axes_.front()->Name()));
    changed();
    return *channels_.back();
}

PlotXAxis& Plot::AddXAxis() {
    x_axes_.push_back(
        std::make_unique<PlotXAxis>(*this, QStringLiteral("X-Axis %1").arg(x_axes_.size() + 1)));
    x_axes_.back()->set_length(area_width_);
    changed();
    return *x_axes_.back();
}

PlotYAxis& Plot::AddYAxis() {
    y_axes_.push_back(
        std::make_unique<PlotYAxis>(*this, QStringLiteral("Y-Axis %1").arg(y_axes_.size() + 1)));
    y_axes_.back()->set_length(area_height_);
    changed();
    return *y_axes_.back();
}

PlotChannel& Plot::GetChannel(int index) {
    return *channels_.at(static_cast<std::size_t>(index));
}
const PlotChannel& Plot::GetChannel(int index) const {
    return *channels_.at(static_cast<std::size_t>(index));
}
PlotXAxis& Plot::GetXAxis(int index) {
    return *x_axes_.at(static_cast<std::size_t>(index));
}
const PlotXAxis& Plot::GetXAxis(int index) const {
    return *x_axes_.at(static_cast<std::size_t>(index));
}
PlotYAxis& Plot::GetYAxis(int index) {
    return *y_axes_.at(static_cast<std::size_t>(index));
}
const PlotYAxis& Plot::GetYAxis(int index) const {
    return *y_axes_.at(static_cast<std::size_t>(index));
}

PlotXAxis* Plot::find_x_axis(const QString& name) const {
    for (const auto& axis : x_axes_)
        if (same_name(axis->Name(), name))
            return axis.get();
    return nullptr;
}

PlotYAxis* Plot::find_y_axis(const QString& name) const {
    for (const auto& axis : y_axes_)
        if (same_name(axis->Name(), name))
            return axis.get();
    return nullptr;
}

void Plot::ClearAllChannels() {
    for (auto& channel : channels_)
        channel->ClearPoints();
    for (auto& axis : x_axes_)
        axis->first_point_seen_ = false;
    for (auto& axis : y_axes_)
        axis->first_point_seen_ = false;
    changed();
}

PLOT_SETTER(Plot, SetTitleText, const QString&, title_text_)
PLOT_SETTER(Plot, SetTitleFontName, const QString&, title_font_name_)
PLOT_SETTER(Plot, SetTitleFontSize, int, title_font_size_)
PLOT_SETTER(Plot, SetTitleFontBold, bool, title_font_bold_)
PLOT_SETTER(Plot, SetLegendVisible, bool, legend_visible_)

void Plot::SetBackGroundColor(const QColor& color) {
    background_ = color;
    changed();
}

void Plot::SetPlotArea(int width_px, int height_px) {
    area_width_ = std::max(width_px, 0);
    area_height_ = std::max(height_px, 0);
    for (auto& axis : x_axes_)
        axis->set_length(area_width_);
    for (auto& axis : y_axes_)
        axis->set_length(area_height_);
}

void Plot::changed() {
    ++change_count_;
    if (change_hook_)
        change_hook_();
}
