#pragma once

#include <stdexcept>
#include <string>

// An error of the instrument link. what() is exactly the text the user is shown
// ("Could Not Open COM5.", "Bad command for QELM" ...); detail() may add what the
// operating system said (the device path, "Permission denied" ...), for a message
// box's detail area.
struct link_error : std::runtime_error {
    explicit link_error(const std::string& text, std::string detail = {})
        : std::runtime_error(text), detail_(std::move(detail)) {}

    const std::string& detail() const noexcept { return detail_; }

private:
    std::string detail_;
};
