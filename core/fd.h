// The owning descriptor handle. A copy is an independent dup(); every descriptor
// an Fd takes or makes is marked close-on-exec, so child programs inherit only what
// is handed to them explicitly.
#pragma once

namespace Fd_detail {
struct BoolResult {};
}  // namespace Fd_detail

class Fd {
public:
    using BoolResult = Fd_detail::BoolResult;

    Fd() = default;
    explicit Fd(int fd);
    Fd(const Fd& other);
    Fd(Fd&& other) noexcept : mFd(other.mFd) { other.mFd = -1; }
    Fd& operator=(const Fd& other);
    Fd& operator=(Fd&& other) noexcept;
    ~Fd() { close(); }

    // Closes the descriptor; on an empty handle sets errno to EBADF and returns -1.
    // The handle is empty afterwards whatever close() returned.
    int close();
    // Replaces what is held by a new descriptor of the path; true when one was obtained.
    bool open(const char* path, int flags);
    // A close-on-exec duplicate of the descriptor, or -1.
    int dup() const;
    bool NonBlock();

    bool is_valid() const { return mFd >= 0; }
    operator BoolResult*() const {
        static BoolResult yes;
        return mFd >= 0 ? &yes : nullptr;
    }
    int lowlevel_fd() const { return mFd; }

private:
    int mFd = -1;
};

int close(Fd& fd);
long read(Fd& fd, void* buffer, unsigned length);
long write(Fd& fd, const void* buffer, unsigned length);

bool NonBlockMode(int fd);
bool BlockMode(int fd);
bool SetCloexec(int fd, bool on);
