// The Linux stand-in for the multimedia file reader, local memory and the
// guarded output open.
#include "platform/mmio.h"

#include <filesystem>
#include <string>

#include "tests/wavenc/wav_files.h"

namespace {

using namespace sivo_test;

class Mmio : public TempDirTest {
 protected:
  HMMIO open(const std::string& p) {
    return mmioOpenA(const_cast<char*>(p.c_str()), nullptr,
                     MMIO_READ | MMIO_ALLOCBUF | MMIO_DENYWRITE);
  }
};

TEST_F(Mmio, DescendWalksChunksWithPadBytesInsideTheParent) {
  const std::string inner = chunk("aaaa", "x") + chunk("LIST", "INFO" + chunk("bbbb", "yyy")) +
                            chunk("cccc", "12345678");
  // After the RIFF chunk's declared end comes a chunk that must not be found.
  const std::string file = riff("TEST", inner) + chunk("dddd", "zz");
  const std::string p = write("chunks.riff", file);
  HMMIO f = open(p);
  ASSERT_NE(f, nullptr);

  MMCKINFO parent{};
  parent.fccType = mmio_fourcc('T', 'E', 'S', 'T');
  ASSERT_EQ(mmioDescend(f, &parent, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
  EXPECT_EQ(parent.ckid, mmio_fourcc('R', 'I', 'F', 'F'));
  EXPECT_EQ(parent.cksize, 4 + inner.size());
  EXPECT_EQ(parent.dwDataOffset, 8u);

  // By id, skipping an odd chunk with its pad and a LIST chunk whole.
  MMCKINFO c{};
  c.ckid = mmio_fourcc('c', 'c', 'c', 'c');
  ASSERT_EQ(mmioDescend(f, &c, &parent, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
  char body[9] = {};
  EXPECT_EQ(mmioRead(f, body, 8), 8);
  EXPECT_STREQ(body, "12345678");

  // Beyond the parent's end nothing is found, and the position stays.
  MMCKINFO d{};
  d.ckid = mmio_fourcc('d', 'd', 'd', 'd');
  EXPECT_EQ(mmioDescend(f, &d, &parent, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
  // Without a parent the search runs to the end of the file.
  EXPECT_EQ(mmioDescend(f, &d, nullptr, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
  EXPECT_EQ(mmioRead(f, body, 8), 2);
  EXPECT_EQ(mmioRead(f, body, 8), 0);
  EXPECT_EQ(mmioRead(f, body, -1), -1);
  EXPECT_EQ(mmioClose(f, 0), MMSYSERR_NOERROR);

  // No flag: the next chunk, whatever it is.
  f = open(p);
  ASSERT_EQ(mmioDescend(f, &parent, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
  MMCKINFO next{};
  ASSERT_EQ(mmioDescend(f, &next, &parent, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(next.ckid, mmio_fourcc('a', 'a', 'a', 'a'));
  EXPECT_EQ(next.cksize, 1u);
  EXPECT_EQ(next.dwDataOffset, 20u);
  mmioClose(f, 0);

  // A LIST chunk found by its form type leaves the file at its first member.
  f = open(p);
  MMCKINFO list{};
  list.fccType = mmio_fourcc('I', 'N', 'F', 'O');
  ASSERT_EQ(mmioDescend(f, &parent, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
  ASSERT_EQ(mmioDescend(f, &list, &parent, MMIO_FINDLIST), MMSYSERR_NOERROR);
  MMCKINFO member{};
  ASSERT_EQ(mmioDescend(f, &member, &list, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(member.ckid, mmio_fourcc('b', 'b', 'b', 'b'));
  mmioClose(f, 0);
}

TEST_F(Mmio, OpenRefusesWhatCannotBeReadAsAFile) {
  EXPECT_EQ(open(path("missing")), nullptr);
  EXPECT_EQ(open(dir_.string()), nullptr);
  const std::string p = write("x", "abc");
  EXPECT_EQ(mmioOpenA(const_cast<char*>(p.c_str()), nullptr, 0x1 /* write */), nullptr);
  EXPECT_EQ(mmioClose(nullptr, 0), MMSYSERR_INVALPARAM);
}

TEST_F(Mmio, LocalMemoryCountsLocks) {
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 64);
  ASSERT_NE(block, nullptr);
  auto* bytes = static_cast<unsigned char*>(LocalLock(block));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(LocalLock(block), bytes);
  EXPECT_NE(LocalUnlock(block), 0);  // one lock remains
  EXPECT_EQ(LocalUnlock(block), 0);
  EXPECT_EQ(LocalUnlock(block), 0);  // not locked: nothing to undo
  EXPECT_EQ(LocalFree(block), nullptr);
  EXPECT_EQ(LocalLock(nullptr), nullptr);
  HLOCAL empty = LocalAlloc(LMEM_MOVEABLE, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(LocalLock(empty), nullptr);
  LocalUnlock(empty);
  LocalFree(empty);
}

TEST_F(Mmio, OutputOpenNeverTruncatesTheFileBeingRead) {
  const std::string input = write("in.wav", "precious");
  std::filesystem::create_symlink(input, path("link.wav"));
  std::filesystem::create_hard_link(input, path("hard.wav"));
  HMMIO f = open(input);
  ASSERT_NE(f, nullptr);
  for (const std::string& same : {input, path("link.wav"), path("hard.wav"),
                                  path("../" + dir_.filename().string() + "/in.wav")}) {
    EXPECT_EQ(open_output_file(same.c_str(), f), nullptr) << same;
    EXPECT_EQ(read(input), "precious") << same;
  }
  // Another existing file is truncated; a new one created.
  const std::string other = write("other.siv", "old contents");
  std::FILE* out = open_output_file(other.c_str(), f);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::fwrite("ab", 1, 2, out), 2u);
  EXPECT_EQ(std::fclose(out), 0);
  EXPECT_EQ(read(other), "ab");
  out = open_output_file(path("new.siv").c_str(), nullptr);
  ASSERT_NE(out, nullptr);
  std::fclose(out);
  EXPECT_TRUE(std::filesystem::exists(path("new.siv")));
  EXPECT_EQ(open_output_file(dir_.string().c_str(), f), nullptr);
  EXPECT_EQ(open_output_file(path("no/such/dir.siv").c_str(), f), nullptr);
  mmioClose(f, 0);
}

}  // namespace
