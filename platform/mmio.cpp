// The multimedia file reader and local memory over stdio and malloc.
#include "platform/mmio.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

struct platform_mmio_file {
  std::FILE* stream = nullptr;
  int64_t size = 0;  // bytes in the file when it was opened
};

struct platform_local_block {
  std::size_t size = 0;
  unsigned locks = 0;
  void* data = nullptr;
};

namespace {

constexpr FOURCC kRiff = mmio_fourcc('R', 'I', 'F', 'F');
constexpr FOURCC kList = mmio_fourcc('L', 'I', 'S', 'T');
constexpr int64_t kHeaderBytes = 8;  // chunk id and size
constexpr int64_t kFormBytes = 4;    // form type of RIFF and LIST chunks
constexpr std::size_t kReadBuffer = 8192;

DWORD read_le32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
         (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

bool seek_to(HMMIO file, int64_t offset) {
  return fseeko(file->stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool read_exact(HMMIO file, BYTE* to, std::size_t bytes) {
  return std::fread(to, 1, bytes, file->stream) == bytes;
}

bool clear_nonblocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

HMMIO mmioOpenA(LPSTR file_name, LPMMIOINFO info, DWORD flags) {
  constexpr DWORD kAccessBits = 0x3;  // MMIO_WRITE, MMIO_READWRITE
  const bool plain_procedure =
      info == nullptr ||
      ((info->fccIOProc == 0 || info->fccIOProc == FOURCC_DOS) && info->pIOProc == nullptr);
  if (file_name == nullptr || !plain_procedure || (flags & kAccessBits) != 0) {
    return nullptr;
  }
  // Opened without waiting: a FIFO would hold the call until a writer came.
  // Only regular files are read, and for them the flag changes nothing.
  const int fd = open(file_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !clear_nonblocking(fd)) {
    close(fd);
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, "rb");
  if (stream == nullptr) {
    close(fd);
    return nullptr;
  }
  auto* file = new (std::nothrow) platform_mmio_file;
  if (file == nullptr) {
    std::fclose(stream);
    return nullptr;
  }
  if ((flags & MMIO_ALLOCBUF) != 0) {
    std::setvbuf(stream, nullptr, _IOFBF, kReadBuffer);
  }
  file->stream = stream;
  file->size = static_cast<int64_t>(st.st_size);
  return file;
}

MMRESULT mmioDescend(HMMIO file, LPMMCKINFO chunk, const MMCKINFO* parent,
                     UINT flags) {
  if (file == nullptr || chunk == nullptr) return MMSYSERR_INVALPARAM;
  const off_t here = ftello(file->stream);
  if (here < 0) return MMIOERR_CHUNKNOTFOUND;
  // Positions are 64-bit so that no declared size can wrap them.
  int64_t pos = here;
  int64_t end = file->size;
  if (parent != nullptr) {
    const int64_t parent_end =
        static_cast<int64_t>(parent->dwDataOffset) + parent->cksize;
    if (parent_end < end) end = parent_end;
  }
  const FOURCC wanted_id = (flags & MMIO_FINDRIFF) != 0   ? kRiff
                           : (flags & MMIO_FINDLIST) != 0 ? kList
                                                          : chunk->ckid;
  const bool by_form = (flags & (MMIO_FINDRIFF | MMIO_FINDLIST)) != 0;
  const bool by_id = by_form || (flags & MMIO_FINDCHUNK) != 0;

  while (pos + kHeaderBytes <= end) {
    BYTE header[kHeaderBytes + kFormBytes];
    if (!seek_to(file, pos) || !read_exact(file, header, kHeaderBytes)) break;
    const FOURCC id = read_le32(header);
    const DWORD size = read_le32(header + 4);
    const bool has_form = id == kRiff || id == kList;
    FOURCC form = 0;
    if (has_form) {
      if (pos + kHeaderBytes + kFormBytes > end ||
          !read_exact(file, header + kHeaderBytes, kFormBytes)) {
        break;
      }
      form = read_le32(header + kHeaderBytes);
    }
    const bool match = !by_id || (id == wanted_id &&
                                  (!by_form || form == chunk->fccType));
    if (match) {
      chunk->ckid = id;
      chunk->cksize = size;
      chunk->fccType = has_form ? form : 0;
      chunk->dwDataOffset = static_cast<DWORD>(pos + kHeaderBytes);
      chunk->dwFlags = 0;
      // The body of a RIFF or LIST chunk starts after its form type.
      const int64_t body = pos + kHeaderBytes + (has_form ? kFormBytes : 0);
      if (!seek_to(file, body)) break;
      return MMSYSERR_NOERROR;
    }
    // Skip the whole chunk; an odd size is followed by one pad byte.
    pos += kHeaderBytes + static_cast<int64_t>(size) + (size & 1u);
  }
  seek_to(file, here);
  return MMIOERR_CHUNKNOTFOUND;
}

LONG mmioRead(HMMIO file, HPSTR buffer, LONG count) {
  if (file == nullptr || count < 0 || (buffer == nullptr && count > 0)) return -1;
  if (count == 0) return 0;
  const std::size_t got =
      std::fread(buffer, 1, static_cast<std::size_t>(count), file->stream);
  if (std::ferror(file->stream) != 0) {
    std::clearerr(file->stream);
    return -1;
  }
  return static_cast<LONG>(got);
}

LONG mmioSeek(HMMIO file, LONG offset, int origin) {
  if (file == nullptr) return -1;
  if (fseeko(file->stream, static_cast<off_t>(offset), origin) != 0) return -1;
  const off_t pos = ftello(file->stream);
  if (pos < 0 || pos > static_cast<off_t>(INT32_MAX)) return -1;
  return static_cast<LONG>(pos);
}

MMRESULT mmioClose(HMMIO file, UINT /*flags*/) {
  if (file == nullptr) return MMSYSERR_INVALPARAM;
  std::fclose(file->stream);
  delete file;
  return MMSYSERR_NOERROR;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  auto* block = new (std::nothrow) platform_local_block;
  if (block == nullptr) return nullptr;
  // malloc(0) may return null; one byte keeps a zero-sized block lockable.
  block->data = std::malloc(bytes == 0 ? 1 : bytes);
  if (block->data == nullptr) {
    delete block;
    return nullptr;
  }
  if ((flags & LMEM_ZEROINIT) != 0) std::memset(block->data, 0, bytes);
  block->size = bytes;
  return block;
}

LPVOID LocalLock(HLOCAL block) {
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->data;
}

BOOL LocalUnlock(HLOCAL block) {
  if (block == nullptr || block->locks == 0) return 0;
  --block->locks;
  return block->locks != 0 ? 1 : 0;
}

HLOCAL LocalFree(HLOCAL block) {
  if (block == nullptr) return nullptr;
  std::free(block->data);
  delete block;
  return nullptr;
}

std::FILE* open_output_file(const char* path, HMMIO keep_intact) {
  if (path == nullptr) return nullptr;
  // Open without truncating, compare identities, and only then truncate.
  // Opened without waiting: a FIFO that no one reads fails here (ENXIO)
  // instead of holding the call until a reader comes, which may be never.
  const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  struct stat out {};
  bool refuse = fstat(fd, &out) != 0 || !clear_nonblocking(fd);
  if (!refuse && keep_intact != nullptr) {
    struct stat in {};
    refuse = fstat(fileno(keep_intact->stream), &in) != 0 ||
             (in.st_dev == out.st_dev && in.st_ino == out.st_ino);
  }
  // Only a regular file has a length to cut; devices are written as they are.
  if (refuse || (S_ISREG(out.st_mode) && ftruncate(fd, 0) != 0)) {
    close(fd);
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) close(fd);
  return stream;
}

pipe_signal_guard::pipe_signal_guard() noexcept {
  sigset_t pipe, before;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  if (pthread_sigmask(SIG_BLOCK, &pipe, &before) != 0 || sigismember(&before, SIGPIPE)) return;
  blocked_ = true;
  sigset_t pending;
  was_pending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
}

pipe_signal_guard::~pipe_signal_guard() {
  if (!blocked_) return;
  sigset_t pipe, pending;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  if (!was_pending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
    const timespec now{0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
}
