#include "link/csv_export.h"

#include <charconv>

namespace {

template <typename T> void number(std::string& out, T v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
    out += ',';
}

// A name with a comma, a quote or a line end is quoted, its quotes doubled.
void text_field(std::string& out, std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += s;
    } else {
        out += '"';
        for (char c : s) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    out += ',';
}

} // namespace

std::string csv_header() {
    std::string h = "time,file,line,serial_number,counter,cal_coeff,ave_bl,pump_rpm,pmt_voltage,"
                    "flow_rpm,hv_control,aux_1,aux_2";
    for (int k = 1; k <= 60; ++k)
        h += ",count_" + std::to_string(k);
    return h + '\n';
}

void append_csv_rows(std::string& out, const record_reader& r, std::string_view file_name,
                     std::size_t from, std::size_t to) {
    std::string name;
    text_field(name, file_name);
    for (std::size_t i = from; i < to; ++i) {
        if (r.has_time(i))
            out += iso_time(r.time(i));
        out += ',';
        out += name;
        const data_record rec = r.record(i);
        number(out, r.line(i));
        number(out, rec.serial_number);
        number(out, rec.counter);
        number(out, rec.cal_coeff);
        number(out, rec.ave_bl);
        number(out, rec.pump_rpm);
        number(out, rec.pmt_voltage);
        number(out, rec.flow_rpm);
        number(out, rec.hv_control);
        number(out, rec.aux_1);
        number(out, rec.aux_2);
        for (double c : rec.raw_counts)
            number(out, c);
        out.back() = '\n';
    }
}
