#include "chacha_rng.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <unistd.h>

namespace korvane {

void ChaChaRng::refill() {
    if (bytes_since_key_ >= kReseedBytes) {
        Key fresh;
        if (reseed_(fresh)) {
            key_ = fresh;
            counter_ = 0;
        }
        bytes_since_key_ = 0;
    }
    block_ = chacha_block(chacha_input(key_, counter_++, 0), kRounds);
    bytes_since_key_ += sizeof(block_);
    index_ = 0;
}

namespace {

int read_urandom(Key& key) {
    // Wait until the kernel's pool is initialised, then read the non-blocking device.
    const int rnd = ::open("/dev/random", O_RDONLY | O_CLOEXEC);
    if (rnd < 0) return errno;
    pollfd p{rnd, POLLIN, 0};
    int rc;
    while ((rc = ::poll(&p, 1, -1)) < 0 && errno == EINTR) {
    }
    const int poll_err = rc < 0 ? errno : 0;
    ::close(rnd);
    if (poll_err) return poll_err;
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    std::size_t got = 0;
    int err = 0;
    while (got < key.size()) {
        const ssize_t n = ::read(fd, key.data() + got, key.size() - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            err = EIO;
            break;
        } else if (errno != EINTR) {
            err = errno;
            break;
        }
    }
    ::close(fd);
    return err;
}

}  // namespace

int os_random_key(Key& key) {
    std::size_t got = 0;
    while (got < key.size()) {
        const ssize_t n = ::getrandom(key.data() + got, key.size() - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == ENOSYS || errno == EPERM)) {
            return read_urandom(key);
        } else {
            return n < 0 ? errno : EIO;
        }
    }
    return 0;
}

}  // namespace korvane
