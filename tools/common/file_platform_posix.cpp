#include "file_platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::FILE* CreateNewFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

bool RenameReplacing(const std::string& from, const std::string& to, std::string* reason) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool SeekTo(std::FILE* file, uint64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

long long FileSize(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) {
        return -1;
    }
    return ftello(file);
}

// Byte by byte: the host runs the tools on test data only, whose paths may be written the
// Windows way.
size_t FileNameStart(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}
