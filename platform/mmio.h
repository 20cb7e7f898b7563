// The small part of the Windows multimedia file I/O and local-memory calls
// that the WAV reader uses. On Windows these are the system's own calls (from
// winmm and kernel32); elsewhere a stand-in whose names, argument shapes and
// return conventions follow the Windows calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

#else

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = unsigned int;
using BOOL = int;
using SIZE_T = std::size_t;
using FOURCC = DWORD;
using MMRESULT = UINT;
using LPSTR = char*;
using HPSTR = char*;
using LPVOID = void*;

struct platform_mmio_file;
using HMMIO = platform_mmio_file*;
struct platform_local_block;
using HLOCAL = platform_local_block*;

// Chunk description filled by mmioDescend. dwDataOffset is the file offset of
// the chunk's body (for RIFF and LIST chunks the body starts with fccType).
struct MMCKINFO {
  FOURCC ckid = 0;
  DWORD cksize = 0;
  FOURCC fccType = 0;
  DWORD dwDataOffset = 0;
  DWORD dwFlags = 0;
};
using LPMMCKINFO = MMCKINFO*;

// mmioOpenA's info record: the stand-in reads only the I/O procedure fields,
// which must name the plain file procedure (or nothing). Windows has more
// fields; a caller zero-initialises the record and sets what it needs.
struct MMIOINFO {
  DWORD dwFlags = 0;
  FOURCC fccIOProc = 0;
  void* pIOProc = nullptr;
  UINT wErrorRet = 0;
};
using LPMMIOINFO = MMIOINFO*;

constexpr DWORD MMIO_READ = 0x00000000;
constexpr DWORD MMIO_DENYWRITE = 0x00000020;
constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
constexpr UINT MMIO_FINDCHUNK = 0x0010;
constexpr UINT MMIO_FINDRIFF = 0x0020;
constexpr UINT MMIO_FINDLIST = 0x0040;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;

#endif  // _WIN32

constexpr FOURCC mmio_fourcc(char a, char b, char c, char d) {
  return static_cast<FOURCC>(static_cast<BYTE>(a)) |
         (static_cast<FOURCC>(static_cast<BYTE>(b)) << 8) |
         (static_cast<FOURCC>(static_cast<BYTE>(c)) << 16) |
         (static_cast<FOURCC>(static_cast<BYTE>(d)) << 24);
}

#if !defined(_WIN32)

// The plain file procedure: a name given with it is taken literally, with no
// compound-file element after a '+'.
constexpr FOURCC FOURCC_DOS = mmio_fourcc('D', 'O', 'S', ' ');

// Opens file_name for buffered reading (only MMIO_READ access is provided;
// MMIO_ALLOCBUF and MMIO_DENYWRITE are accepted). info is null, or names the
// plain file procedure and no procedure of its own. Returns null when the
// file cannot be opened, is not a regular file (a FIFO or device is refused
// at once, never waited on) or the flags ask for writing.
HMMIO mmioOpenA(LPSTR file_name, LPMMIOINFO info, DWORD flags);

// Searches from the current position for a chunk: MMIO_FINDRIFF a "RIFF"
// chunk whose form type is chunk->fccType, MMIO_FINDLIST likewise a "LIST",
// MMIO_FINDCHUNK a chunk whose id is chunk->ckid, no flag the next chunk.
// Skipped chunks are passed over with their pad byte when the size is odd.
// The search stays inside parent's body when parent is given. On success
// fills *chunk and leaves the file at the first byte of the chunk's body
// (after the form type of RIFF/LIST); otherwise MMIOERR_CHUNKNOTFOUND.
MMRESULT mmioDescend(HMMIO file, LPMMCKINFO chunk, const MMCKINFO* parent,
                     UINT flags);

// Reads up to count bytes at the current position. Returns the number read
// (0 at the end of the file) or -1 on a read error or a negative count.
LONG mmioRead(HMMIO file, HPSTR buffer, LONG count);

// Moves the read position to offset from origin (SEEK_SET, SEEK_CUR or
// SEEK_END). Returns the new position from the start of the file, or -1 when
// the move fails or the position does not fit a LONG.
LONG mmioSeek(HMMIO file, LONG offset, int origin);

// Closes the file; returns 0, or MMSYSERR_INVALPARAM for a null handle.
MMRESULT mmioClose(HMMIO file, UINT flags);

// Local memory: a handle to a block of bytes; LocalLock gives its address.
// LocalAlloc returns null on failure; LocalLock returns null for a null
// handle; LocalUnlock returns nonzero while locks remain; LocalFree releases
// the block and returns null.
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
LPVOID LocalLock(HLOCAL block);
BOOL LocalUnlock(HLOCAL block);
HLOCAL LocalFree(HLOCAL block);

#endif  // !_WIN32

// Opens path for writing in binary mode, created or truncated, like
// fopen(path, "wb"), but refuses (null, nothing truncated) a path that names
// the same file as keep_intact, also through a link. On Windows this is
// fopen(path, "wb"): the share mode of a file opened with MMIO_DENYWRITE
// already refuses to open it for writing. Elsewhere the stand-in compares the
// files' identities, and refuses at once a FIFO that no one reads (opening it
// would wait for a reader).
std::FILE* open_output_file(const char* path, HMMIO keep_intact);

// From construction to destruction, a write of the calling thread to a pipe
// or socket that no one reads any more fails (EPIPE, a failed write) instead
// of raising SIGPIPE, whose default action would end the host process. A
// SIGPIPE the writes raise is taken back before the signal is unblocked; one
// pending before, or a signal the caller blocks already, is left alone. Where
// there is no such signal (Windows) it does nothing.
class pipe_signal_guard {
 public:
  pipe_signal_guard() noexcept;
  ~pipe_signal_guard();
  pipe_signal_guard(const pipe_signal_guard&) = delete;
  pipe_signal_guard& operator=(const pipe_signal_guard&) = delete;

 private:
  bool blocked_ = false;      // SIGPIPE was blocked here and is unblocked after
  bool was_pending_ = false;  // a SIGPIPE was already pending before
};
