#include "hardware/sim/board.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "hardware/board_record.h"

namespace Sim {

std::int32_t Request::InWord(std::size_t i) const {
    return (i + 1) * 4 <= in.size() ? Hardware::GetBoardWord(in.data(), i) : 0;
}

std::int32_t Request::OutWord(std::size_t i) const {
    return (i + 1) * 4 <= out.size() ? Hardware::GetBoardWord(out.data(), i) : 0;
}

std::vector<std::int32_t> Request::InWords() const {
    std::vector<std::int32_t> words;
    for (std::size_t i = 0; (i + 1) * 4 <= in.size(); ++i) words.push_back(InWord(i));
    return words;
}

Board::~Board() {
    for (auto& [inode, file] : opens_) ::close(file.peer);
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
    for (auto& [inode, file] : opens_) {
        file.device->IRelease(file);
        ::close(file.peer);
    }
    opens_.clear();
    open_errors_.clear();
    faults_.clear();
    log_.clear();
    log_limit_ = kDefaultLogLimit;
    for (auto& [path, device] : devices_) device->IReset();
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

Request& Board::Log(Request::Kind kind, std::string device) {
    while (!log_.empty() && log_.size() >= log_limit_) log_.pop_front();
    Request& r = log_.emplace_back();
    r.kind = kind;
    r.device = std::move(device);
    return r;
}

int Board::Fail(Request& r, int error) {
    r.result = -1;
    r.error = error;
    errno = error;
    return -1;
}

// An open ends when the caller has closed every descriptor of its end, however
// it closed them: the device side then sees a hang-up.
void Board::ReleaseClosed() {
    for (auto it = opens_.begin(); it != opens_.end();) {
        pollfd p{it->second.peer, 0, 0};
        if (::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP)) {
            it->second.device->IRelease(it->second);
            ::close(it->second.peer);
            it = opens_.erase(it);
        } else {
            ++it;
        }
    }
}

OpenFile* Board::Lookup(int fd, int& error) {
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
    Request& r = Log(Request::Kind::open, path ? path : "");
    Device* device = path ? Find(path) : nullptr;
    auto fault = open_errors_.find(r.device);
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
    device->IOpen(file);
    r.result = ends[0];
    return ends[0];
}

int Board::close(int fd) {
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request& r = Log(Request::Kind::close, file ? file->device->path() : "");
    if (::close(fd) != 0) return Fail(r, errno);
    ReleaseClosed();
    return 0;
}

int Board::ioctl(int fd, unsigned long request, void* arg) {
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request& r = Log(Request::Kind::ioctl, file ? file->device->path() : "");
    r.number = request;
    if (file == nullptr) return Fail(r, error);

    std::size_t size = RequestSize(request);
    auto* record = static_cast<unsigned char*>(arg);
    if (size > 0) {
        if (record == nullptr) return Fail(r, EFAULT);
        r.in.assign(record, record + size);
    }
    int result = 0;
    if (int fault = TakeFault(r.device, request)) {
        result = -fault;
    } else {
        result = file->device->IIoctl(*file, request, arg, size);
    }
    if (size > 0) r.out.assign(record, record + size);
    if (result < 0) return Fail(r, -result);
    r.result = result;
    return result;
}

ssize_t Board::read(int fd, void* buffer, std::size_t length) {
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request& r = Log(Request::Kind::read, file ? file->device->path() : "");
    if (file == nullptr) return Fail(r, error);
    ssize_t n = file->device->IRead(*file, fd, buffer, length);
    if (n < 0) return Fail(r, static_cast<int>(-n));
    auto* bytes = static_cast<unsigned char*>(buffer);
    r.out.assign(bytes, bytes + n);
    r.result = static_cast<int>(n);
    return n;
}

ssize_t Board::write(int fd, const void* buffer, std::size_t length) {
    int error = 0;
    OpenFile* file = Lookup(fd, error);
    Request& r = Log(Request::Kind::write, file ? file->device->path() : "");
    if (file == nullptr) return Fail(r, error);
    auto* bytes = static_cast<const unsigned char*>(buffer);
    r.in.assign(bytes, bytes + length);
    ssize_t n = file->device->IWriteFrom(*file, fd, buffer, length);
    if (n < 0) return Fail(r, static_cast<int>(-n));
    r.result = static_cast<int>(n);
    return n;
}

}  // namespace Sim
