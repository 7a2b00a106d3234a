// Ownership of one Linux file descriptor.
#pragma once

#include <unistd.h>

#include <utility>

namespace corvane::detail {

// Owns one descriptor.
class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

    // Closes now and reports the result: a failed close can mean that
    // written data never reached the file.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    void reset() {
        if (fd_ >= 0) {
            ::close(std::exchange(fd_, -1));
        }
    }
    int fd_ = -1;
};

}  // namespace corvane::detail
