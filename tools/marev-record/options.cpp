#include "options.h"

#include "link/sample_rules.h"

namespace {

int port_number(const std::string& text) {
    bool digits = !text.empty() && text.size() <= 4;
    for (char c : text)
        digits = digits && c >= '0' && c <= '9';
    const int n = digits ? static_cast<int>(marev::read_whole_number(text)) : 0;
    if (n < 1)
        throw usage_error("--port needs a COM number from 1 to 9999, not \"" + text + "\"");
    return n;
}

} // namespace

const char* const usage_text =
    "marev-record [--port N | --device PATH] [--folder DIR] [--time-stamps]\n"
    "             [--sample-length 90s|30m|2h] [--samples N|forever] [--quiet]\n";

std::string help_text() {
    return std::string(usage_text) +
           "\nRecords the lines of a QELM instrument to files, without a display.\n"
           "\n"
           "  --port N               COM port N as the program opens it (default 2)\n"
           "  --device PATH          the serial device PATH instead of a COM port\n"
           "  --folder DIR           folder of the record files (default: the current one)\n"
           "  --time-stamps          each line preceded by the date and time it was written\n"
           "  --sample-length L      a new file every L seconds (s), minutes (m) or hours (h)\n"
           "  --samples N|forever    with --sample-length: how many files (default forever)\n"
           "  --quiet                events only, no status line each minute\n"
           "  --help                 show this text\n"
           "\n"
           "Status and events go to standard error. A lost instrument is waited for and the\n"
           "recording goes on. SIGTERM, SIGINT and SIGHUP end it with every line written.\n"
           "Exit status: 0 when stopped or after the last sample; 1 when the folder cannot be\n"
           "written or a file cannot be opened; 2 on a bad command line.\n";
}

record_options parse_record_options(const std::vector<std::string>& args) {
    record_options o;
    bool port_given = false, samples_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        std::string value;
        bool has_value = false;
        if (auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = word.substr(eq + 1);
            word.resize(eq);
            has_value = true;
        }
        const bool flag = word == "--time-stamps" || word == "--quiet" || word == "--help";
        const bool valued = word == "--port" || word == "--device" || word == "--folder" ||
                            word == "--sample-length" || word == "--samples";
        if (!flag && !valued)
            throw usage_error("unknown option \"" + word + "\"");
        if (flag && has_value)
            throw usage_error(word + " takes no value");
        if (valued && !has_value) {
            if (i + 1 >= args.size())
                throw usage_error(word + " needs a value");
            value = args[++i];
        }

        if (word == "--time-stamps") {
            o.time_stamps = true;
        } else if (word == "--quiet") {
            o.quiet = true;
        } else if (word == "--help") {
            o.help = true;
        } else if (word == "--port") {
            o.port = port_number(value);
            port_given = true;
        } else if (word == "--device") {
            if (value.empty())
                throw usage_error("--device needs a path");
            o.device = value;
        } else if (word == "--folder") {
            if (value.empty())
                throw usage_error("--folder needs a folder");
            o.folder = value;
        } else if (word == "--sample-length") {
            const auto length = marev::parse_sample_length(value);
            if (!length)
                throw usage_error("--sample-length needs a length such as 90s, 30m or 2h, not \"" +
                                  value + "\"");
            o.sample_length = *length;
        } else if (word == "--samples") {
            const auto left = marev::parse_sample_count(value);
            if (!left)
                throw usage_error("--samples needs a number from 1 or \"forever\", not \"" + value +
                                  "\"");
            o.samples_left = *left;
            samples_given = true;
        }
    }
    if (port_given && !o.device.empty())
        throw usage_error("--port and --device exclude each other");
    if (samples_given && o.sample_length == 0)
        throw usage_error("--samples goes with --sample-length");
    return o;
}
