#include "hardware/sim/board.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>

namespace Sim {
namespace {

// How often each descriptor number was closed. Programs that link the
// simulated board are linked with every close() going through __wrap_close
// below, so a number the board knows and that was closed since (by an owning
// handle, behind the board's back) is looked up afresh: it may now be another
// open or no board device at all. Numbers beyond the table are always looked up.
constexpr int kCountedDescriptors = 4096;
std::atomic<std::uint32_t> closes[kCountedDescriptors];

std::uint32_t CloseCount(int fd) {
    return closes[fd].load(std::memory_order_relaxed);
}

// The board that hears of closes. A driver releases an open when its last
// descriptor is closed, however that happened; the board does the same at once,
// not at its next call.
std::atomic<Board*> listening{nullptr};

}  // namespace

void NoticeClose() {
    Board* board = listening.load(std::memory_order_acquire);
    if (board != nullptr) board->OnClosed();
}

}  // namespace Sim

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd) {
    if (fd >= 0 && fd < Sim::kCountedDescriptors) Sim::closes[fd].fetch_add(1, std::memory_order_relaxed);
    int result = __real_close(fd);
    int error = errno;
    Sim::NoticeClose();
    errno = error;
    return result;
}

namespace Sim {

Board::Board() {
    listening.store(this, std::memory_order_release);
}

Board::~Board() {
    Board* self = this;
    listening.compare_exchange_strong(self, nullptr);
    releasing_ = true;
    for (auto& [inode, file] : opens_) ::close(file.peer);
}

// Only the thread that uses the board touches its opens; other threads' closes
// (test peers) are seen at the board's next call.
void Board::OnClosed() {
    if (std::this_thread::get_id() != owner_ || releasing_ || opens_.empty()) return;
    ReleaseClosed();
}

void Board::Add(std::unique_ptr<Device> device) {
    std::string path = device->path();
    devices_[path] = std::move(device);
}

Device* Board::Find(const std::string& path) const {
    auto it = devices_.find(path);
    return it == devices_.end() ? nullptr : it->second.get();
}

void Board::SetOpenError(const std::string& path, int error) {
    open_errors_[path] = error;
}

void Board::FailRequest(const std::string& path, unsigned long number, int error, int count) {
    faults_.push_back({path, number, error, count});
}

void Board::Reset() {
    releasing_ = true;
    for (auto& [inode, file] : opens_) {
        file.device->IRelease(file);
        ::close(file.peer);
    }
    opens_.clear();
    releasing_ = false;
    known_.clear();
    open_errors_.clear();
    faults_.clear();
    log_.SetLimit(kDefaultLogLimit);
    log_.clear();
    for (auto& [path, device] : devices_) device->IReset();
}

void Board::HangUp(const std::string& path) {
    for (auto& [inode, file] : opens_)
        if (file.device->path() == path) ::shutdown(file.peer, SHUT_WR);
}

std::vector<Request> Board::Requests(Request::Kind kind) const {
    std::vector<Request> out;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(out),
                 [kind](const Request& r) { return r.kind == kind; });
    return out;
}

std::size_t Board::OpenCount(const std::string& path) {
    ReleaseClosed();
    return std::count_if(opens_.begin(), opens_.end(),
                         [&path](const auto& entry) { return entry.second.device->path() == path; });
}

const Device* Board::DeviceOf(int fd) {
    int error = 0;
    const OpenFile* file = Lookup(fd, error);
    return file != nullptr ? file->device : nullptr;
}

Request* Board::Log(Request::Kind kind, const OpenFile* file) {
    return log_.Add(kind, file != nullptr ? std::string_view(file->device->path()) : std::string_view());
}

int Board::Fail(Request* r, int error) {
    if (r != nullptr) {
        r->result = -1;
        r->error = error;
    }
    errno = error;
    return -1;
}

// An open ends when the caller has closed every descriptor of its end, however
// it closed them: the device side then sees a hang-up.
void Board::ReleaseClosed() {
    if (releasing_) return;
    releasing_ = true;
    for (auto it = opens_.begin(); it != opens_.end();) {
        pollfd p{it->second.peer, 0, 0};
        if (::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP)) {
            OpenFile* file = &it->second;
            for (KnownFd& k : known_)
                if (k.file == file) k.file = nullptr;
            file->device->IRelease(*file);
            ::close(file->peer);
            it = opens_.erase(it);
        } else {
            ++it;
        }
    }
    releasing_ = false;
}

void Board::Learn(int fd, OpenFile* file) {
    if (fd < 0 || fd >= kCountedDescriptors) return;
    if (static_cast<std::size_t>(fd) >= known_.size()) known_.resize(fd + 1);
    known_[fd] = KnownFd{file, CloseCount(fd)};
}

OpenFile* Board::Known(int fd) const {
    if (fd < 0 || static_cast<std::size_t>(fd) >= known_.size()) return nullptr;
    const KnownFd& k = known_[fd];
    return k.file != nullptr && k.closes == CloseCount(fd) ? k.file : nullptr;
}

OpenFile* Board::Lookup(int fd, int& error) {
    if (OpenFile* file = Known(fd)) return file;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = EBADF;
        return nullptr;
    }
    auto it = opens_.find(st.st_ino);
    if (it == opens_.end() || !S_ISSOCK(st.st_mode)) {
        error = ENOTTY;  // a descriptor, but not of a board device
        return nullptr;
    }
    Learn(fd, &it->second);
    return &it->second;
}

int Board::TakeFault(const std::string& path, unsigned long number) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->path == path && it->number == number) {
            int error = it->error;
            if (--it->count <= 0) faults_.erase(it);
            return error;
        }
    }
    return 0;
}

int Board::open(const char* path, int flags) {
    ReleaseClosed();
    const std::string name = path ? path : "";
    Request* r = log_.Add(Request::Kind::open, name);
    Device* device = Find(name);
    auto fault = open_errors_.find(name);
    if (fault != open_errors_.end() && fault->second != 0) return Fail(r, fault->second);
    if (device == nullptr) return Fail(r, ENOENT);

    int type = SOCK_SEQPACKET | ((flags & O_CLOEXEC) ? SOCK_CLOEXEC : 0);
    int ends[2];
    if (::socketpair(AF_UNIX, type, 0, ends) != 0) return Fail(r, errno);
    if (flags & O_NONBLOCK) ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    struct stat st;
    ::fstat(ends[0], &st);
    OpenFile& file = opens_[st.st_ino];
    file = OpenFile{device, ends[1], st.st_ino, flags};
    Learn(ends[0], &file);
    device->IOpen(file);
    if (r != nullptr) r->result = ends[0];
    return ends[0];
}

int Board::close(int fd) {
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request* r = Log(Request::Kind::close, file);
    if (::close(fd) != 0) return Fail(r, errno);
    ReleaseClosed();
    return 0;
}

int Board::ioctl(int fd, unsigned long request, void* arg) {
    const std::size_t size = RequestSize(request);
    // The way of nearly every request of a daemon: the switch's refresh alone
    // makes 256 a pass of the loop.
    OpenFile* known = Known(fd);
    if (known != nullptr && !log_.on() && faults_.empty() && (size == 0 || arg != nullptr)) {
        int result = known->device->IIoctl(*known, request, arg, size);
        if (result >= 0) return result;
        errno = -result;
        return -1;
    }
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request* r = Log(Request::Kind::ioctl, file);
    if (r != nullptr) r->number = request;
    if (file == nullptr) return Fail(r, error);

    auto* record = static_cast<unsigned char*>(arg);
    if (size > 0) {
        if (record == nullptr) return Fail(r, EFAULT);
        if (r != nullptr) r->in.assign(record, record + size);
    }
    int result = 0;
    int fault = faults_.empty() ? 0 : TakeFault(file->device->path(), request);
    if (fault != 0) {
        result = -fault;
    } else {
        result = file->device->IIoctl(*file, request, arg, size);
    }
    if (size > 0 && r != nullptr) r->out.assign(record, record + size);
    if (result < 0) return Fail(r, -result);
    if (r != nullptr) r->result = result;
    return result;
}

int Board::ioctl_value(int fd, unsigned long request, unsigned long value) {
    std::size_t size = RequestSize(request);
    if (size == 0) return ioctl(fd, request, reinterpret_cast<void*>(value));
    // The value becomes the first word of the record the request's number sizes.
    unsigned char record[64] = {};
    if (size > sizeof record) {
        errno = EINVAL;
        return -1;
    }
    Hardware::PutBoardWord(record, 0, static_cast<std::int32_t>(value));
    return ioctl(fd, request, record);
}

ssize_t Board::read(int fd, void* buffer, std::size_t length) {
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request* r = Log(Request::Kind::read, file);
    if (file == nullptr) return Fail(r, error);
    ssize_t n = file->device->IRead(*file, fd, buffer, length);
    if (n < 0) return Fail(r, static_cast<int>(-n));
    if (r != nullptr) {
        auto* bytes = static_cast<unsigned char*>(buffer);
        r->out.assign(bytes, bytes + n);
        r->result = static_cast<int>(n);
    }
    return n;
}

ssize_t Board::write(int fd, const void* buffer, std::size_t length) {
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request* r = Log(Request::Kind::write, file);
    if (file == nullptr) return Fail(r, error);
    if (r != nullptr) {
        auto* bytes = static_cast<const unsigned char*>(buffer);
        r->in.assign(bytes, bytes + length);
    }
    ssize_t n = file->device->IWriteFrom(*file, fd, buffer, length);
    if (n < 0) return Fail(r, static_cast<int>(-n));
    if (r != nullptr) r->result = static_cast<int>(n);
    return n;
}

}  // namespace Sim
