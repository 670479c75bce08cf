// Whole-file replacement through a temporary file and a rename.
#include "norvex/pc/deskhand/image_codec.hpp"

#include "norvex/common/ids.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace norvex::pc::deskhand {

void write_file_atomically(const std::filesystem::path& path, std::string_view bytes) {
    const auto temp = path.parent_path() / ("." + path.filename().string() + "." + new_task_id() + ".tmp");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno) +
                                 "; check that the folder is writable");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(err) +
                                     "; check the free space of its disk");
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw std::runtime_error("cannot replace " + path.string() + ": " + std::strerror(err));
    }
}

}  // namespace norvex::pc::deskhand
