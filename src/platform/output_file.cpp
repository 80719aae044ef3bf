#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vantrel {
namespace {

std::string Reason(int err) {
    return std::generic_category().message(err);
}

#ifndef _WIN32
// The file a chain of symbolic links ends at, even when it does not exist
// yet; `path` itself when it is no link. Gives up after as many links as the
// system follows.
std::string FinalTarget(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string link(static_cast<size_t>(PATH_MAX), '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n <= 0) return current;
        link.resize(static_cast<size_t>(n));
        const std::filesystem::path next(link);
        current = next.is_absolute()
                      ? link
                      : (std::filesystem::path(current).parent_path() / next).string();
    }
    return current;
}
#endif

}  // namespace

bool COutputFile::Claim(const std::string& path, std::string& error,
                        const std::vector<std::string>& inputs) {
    Discard();
    m_path = path;
    m_keepMode = false;
    if (path.empty()) {
        error = "no output file named";
        return false;
    }
#ifdef _WIN32
    (void)inputs;
    // Refused before anything is written, as on POSIX.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": is a directory";
        return false;
    }
    return OpenTemporary(path, error);
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // Nothing there yet (or a path that cannot be: creating the
        // temporary file says why).
        return OpenTemporary(FinalTarget(path), error);
    }
    for (const std::string& input : inputs) {
        struct stat in {};
        if (::stat(input.c_str(), &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino) {
            error = path;
            error.append(": is the same file as the input ").append(input);
            return false;
        }
    }
    if (S_ISDIR(st.st_mode)) {
        error = path + ": is a directory";
        return false;
    }
    if (S_ISSOCK(st.st_mode)) {
        error = path + ": is a socket";
        return false;
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode))
        return OpenInPlace(path, S_ISFIFO(st.st_mode), error);
    if (::access(path.c_str(), W_OK) != 0) {
        error = path + ": cannot write the file: " + Reason(errno);
        return false;
    }
    char resolved[PATH_MAX];
    const std::string target = ::realpath(path.c_str(), resolved) ? resolved : path;
    if (!OpenTemporary(target, error)) return false;
    m_keepMode = true;
    m_mode = st.st_mode & 07777;
    m_owner = st.st_uid;
    m_group = st.st_gid;
    return true;
#endif
}

bool COutputFile::OpenInPlace(const std::string& path, bool fifo, std::string& error) {
#ifdef _WIN32
    (void)fifo;
    return OpenTemporary(path, error);
#else
    // A FIFO without a reader would block the open for ever.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | (fifo ? O_NONBLOCK : 0));
    if (fd < 0) {
        error = path + (fifo && errno == ENXIO ? std::string(": no process reads this FIFO")
                                               : ": cannot write the file: " + Reason(errno));
        return false;
    }
    if (fifo) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_file = ::fdopen(fd, "wb");
    if (!m_file) {
        error = path + ": cannot write the file: " + Reason(errno);
        ::close(fd);
        return false;
    }
    m_target = path;
    return true;
#endif
}

bool COutputFile::OpenTemporary(const std::string& target, std::string& error) {
    std::random_device seed;
    std::mt19937 random(seed());
    int err = EEXIST;
    for (int attempt = 0; attempt < 16 && err == EEXIST; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
        const std::string temp = target + suffix;
        // "x": fail rather than take over a file that is already there.
        if (std::FILE* file = std::fopen(temp.c_str(), "wbx")) {
            m_target = target;
            m_tempPath = temp;
            m_file = file;
            return true;
        }
        err = errno;
    }
    error = m_path + ": cannot create the file: " + Reason(err);
    return false;
}

bool COutputFile::CloseStream() {
    if (!m_file) return true;
    const bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok;
}

bool COutputFile::Commit(std::string& error) {
#ifndef _WIN32
    if (m_file && m_keepMode) {
        const int fd = ::fileno(m_file);
        // Root may hand the file back to its owner; anyone else keeps it.
        if (::fchown(fd, static_cast<uid_t>(m_owner), static_cast<gid_t>(m_group)) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(m_group));
        (void)::fchmod(fd, static_cast<mode_t>(m_mode));
    }
#endif
    if (!CloseStream()) {
        error = m_path + ": cannot write the file: " + Reason(errno);
        Discard();
        return false;
    }
    if (m_tempPath.empty()) return true;  // written in place
    std::error_code ec;
    std::filesystem::rename(m_tempPath, m_target, ec);
    if (ec) {
        error = m_path + ": cannot put the finished file in place: " + ec.message();
        Discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void COutputFile::Discard() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    if (m_tempPath.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(m_tempPath, ignored);
    m_tempPath.clear();
}

bool ReadInputFile(const std::string& path, size_t limit, std::string& bytes, std::string& error) {
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    bytes.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::is_directory(status)) {
        error = path + ": is a directory";
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = path + ": cannot open the file: " + Reason(errno);
        return false;
    }
    // Only a regular file's size is worth believing; anything else is read
    // as a stream that may never end.
    const bool regular = !ec && std::filesystem::is_regular_file(status);
    if (regular) {
        const auto size = std::filesystem::file_size(path, ec);
        if (!ec && size < bytes.max_size()) bytes.reserve(static_cast<size_t>(size));
        limit = bytes.max_size();
    }
    char chunk[1 << 16];
    for (;;) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        if (n > limit - bytes.size()) {
            error = path + ": is larger than " + std::to_string(limit) + " bytes";
            bytes.clear();
            bytes.shrink_to_fit();
            return false;
        }
        bytes.append(chunk, n);
        if (n < sizeof chunk) break;
    }
    if (std::ferror(file.get())) {
        error = path + ": cannot read the file: " + Reason(errno);
        return false;
    }
    return true;
}

}  // namespace vantrel
