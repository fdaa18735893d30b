#pragma once

// The disk full, as far as this process is concerned: while one of these
// lives, no file may grow beyond the given size (writes fail with EFBIG).
#ifdef __unix__
#include <csignal>
#include <sys/resource.h>

class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~file_size_limit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};
#endif
