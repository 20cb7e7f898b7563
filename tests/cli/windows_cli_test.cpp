// sivo.exe as a Windows user meets it: started with a UTF-16 command line,
// file names in any script, standard handles that are files, devices as
// outputs, other spellings of one file, a target another program holds
// open. Runs under Wine or on Windows, beside sivo.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

bytes read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), {});
}

void write_all(const fs::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// UTF-8, for messages.
std::string utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// The program beside this test program.
fs::path sivo_exe() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / L"sivo.exe";
}

// 8000 Hz mono speech as a canonical WAV file.
bytes speech_wav() {
  const bytes raw = read_all(fs::path(SIVO_SPEECH_DIR) / "hts1a.raw");
  bytes w;
  auto put = [&](uint32_t v, int width) {
    for (int i = 0; i < width; ++i) w.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto tag = [&](const char* t) { w.insert(w.end(), t, t + 4); };
  tag("RIFF");
  put(static_cast<uint32_t>(36 + raw.size()), 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(1, 2);
  put(1, 2);
  put(8000, 4);
  put(16000, 4);
  put(2, 2);
  put(16, 2);
  tag("data");
  put(static_cast<uint32_t>(raw.size()), 4);
  w.insert(w.end(), raw.begin(), raw.end());
  return w;
}

struct run_result {
  DWORD code = 0xFFFFFFFF;
  std::string out, err;
};

class WindowsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = fs::path(temp) / (L"sivo-win-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount64()));
    fs::create_directories(dir_);
    write_all(dir_ / L"speech.wav", speech_wav());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path path(const std::wstring& name) const { return dir_ / name; }

  // Runs sivo.exe with `args` in the test folder; standard input from the
  // file `in` (or nothing), standard output and error into files.
  run_result sivo(const std::wstring& args, const std::wstring& in = L"") {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const fs::path out_path = path(L".out"), err_path = path(L".err");
    HANDLE input = CreateFileW(in.empty() ? L"NUL" : path(in).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE output = CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE error = CreateFileW(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + sivo_exe().wstring() + L"\" " + args;
    run_result r;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       dir_.c_str(), &startup, &process)) {
      WaitForSingleObject(process.hProcess, 120000);
      GetExitCodeProcess(process.hProcess, &r.code);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
    CloseHandle(input);
    CloseHandle(output);
    CloseHandle(error);
    const bytes o = read_all(out_path), e = read_all(err_path);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
  }

  // Names in the folder other than the test's own files, sorted.
  std::vector<std::wstring> names() const {
    std::vector<std::wstring> found;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::wstring name = e.path().filename().wstring();
      if (name != L".out" && name != L".err") found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  fs::path dir_;
};

// File names in other scripts reach the file system intact, on the way in
// and out, and give the same bytes as plain names.
TEST_F(WindowsCli, UnicodeFileNames) {
  ASSERT_EQ(sivo(L"encode -q speech.wav plain.siv").code, 0u);
  ASSERT_EQ(sivo(L"decode -q plain.siv plain.wav").code, 0u);
  fs::copy_file(path(L"speech.wav"), path(L"sp\u00e9ech \u8a9e.wav"));
  const std::wstring names[] = {L"\u00e9t\u00e9 \u2713.siv", L"\u0440\u0435\u0447\u044c.siv",
                                L"\u97f3\u58f0 \U0001F3B5.siv"};
  for (const std::wstring& name : names) {
    SCOPED_TRACE(utf8(name));
    const run_result enc = sivo(L"encode -q \"sp\u00e9ech \u8a9e.wav\" \"" + name + L"\"");
    ASSERT_EQ(enc.code, 0u) << enc.err;
    EXPECT_EQ(read_all(path(name)), read_all(path(L"plain.siv")));
    const run_result dec = sivo(L"decode -q \"" + name + L"\" \"" + name + L".wav\"");
    ASSERT_EQ(dec.code, 0u) << dec.err;
    EXPECT_EQ(read_all(path(name + L".wav")), read_all(path(L"plain.wav")));
  }
  // A missing file is named in the message as the user wrote it (UTF-8).
  const run_result missing = sivo(L"info \"\u00e9t\u00e9 absent.siv\"");
  EXPECT_EQ(missing.code, 1u);
  EXPECT_NE(missing.err.find("cannot read '\xc3\xa9t\xc3\xa9 absent.siv'"), std::string::npos)
      << missing.err;
}

// Standard input and output carry bytes unchanged: no CR added before LF, no
// end at a Ctrl-Z byte.
TEST_F(WindowsCli, StandardHandlesAreBinary) {
  ASSERT_EQ(sivo(L"encode -q speech.wav a.siv").code, 0u);
  ASSERT_EQ(sivo(L"decode -q a.siv a.raw").code, 0u);
  const bytes frames = read_all(path(L"a.siv"));
  ASSERT_NE(std::count(frames.begin(), frames.end(), 0x0A), 0);
  ASSERT_NE(std::count(frames.begin(), frames.end(), 0x1A), 0);
  const run_result encoded = sivo(L"encode -q - -", L"speech.wav");
  ASSERT_EQ(encoded.code, 0u) << encoded.err;
  EXPECT_TRUE(bytes(encoded.out.begin(), encoded.out.end()) == frames);
  const run_result decoded = sivo(L"decode -q --format raw - -", L"a.siv");
  ASSERT_EQ(decoded.code, 0u) << decoded.err;
  EXPECT_TRUE(bytes(decoded.out.begin(), decoded.out.end()) == read_all(path(L"a.raw")));
}

// Other spellings of the input as output are refused before anything is
// written; standard input counts as the file it reads.
TEST_F(WindowsCli, SameFileUnderOtherNames) {
  ASSERT_EQ(sivo(L"encode -q speech.wav a.siv").code, 0u);
  const bytes wav = read_all(path(L"speech.wav")), siv = read_all(path(L"a.siv"));
  const std::wstring full = path(L"speech.wav").wstring();
  struct same_case {
    std::wstring args, in;
  };
  const same_case cases[] = {
      {L"encode speech.wav SPEECH.WAV", L""},
      {L"encode speech.wav .\\speech.wav", L""},
      {L"encode speech.wav ./sub/../speech.wav", L""},
      {L"encode speech.wav \"" + full + L"\"", L""},
      {L"encode - speech.wav", L"speech.wav"},
      {L"decode a.siv A.SIV", L""},
      {L"decode - a.siv", L"a.siv"},
  };
  fs::create_directory(path(L"sub"));
  for (const auto& c : cases) {
    SCOPED_TRACE(utf8(c.args));
    const run_result r = sivo(c.args, c.in);
    EXPECT_EQ(r.code, 2u) << r.err;
    EXPECT_NE(r.err.find("same file"), std::string::npos) << r.err;
    EXPECT_EQ(read_all(path(L"speech.wav")), wav);
    EXPECT_EQ(read_all(path(L"a.siv")), siv);
  }
}

// NUL takes the output and is never created, replaced or removed as a file.
TEST_F(WindowsCli, DevicesAreWrittenThrough) {
  ASSERT_EQ(sivo(L"encode -q speech.wav a.siv").code, 0u);
  const std::vector<std::wstring> before = names();
  for (const wchar_t* args :
       {L"encode -q speech.wav NUL", L"encode -q speech.wav nul", L"decode -q a.siv NUL",
        L"decode -q --format wav a.siv \\\\.\\NUL"}) {
    SCOPED_TRACE(utf8(args));
    const run_result r = sivo(args);
    EXPECT_EQ(r.code, 0u) << r.err;
    EXPECT_EQ(names(), before);
  }
}

// Whether this system renames by handle with POSIX semantics (Windows 10
// 1709 and later on NTFS; not Wine 8), replacing a file that is open with
// delete sharing: tried on two scratch files in `dir`.
bool renames_over_open_files(const fs::path& dir) {
  write_all(dir / L"probe.old", {1});
  write_all(dir / L"probe.new", {2});
  const HANDLE held = CreateFileW((dir / L"probe.old").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE h = CreateFileW((dir / L"probe.new").c_str(), DELETE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  struct {
    DWORD flags;
    HANDLE root;
    DWORD name_bytes;
    WCHAR name[10];
  } info{0x1 | 0x2, nullptr, 9 * sizeof(WCHAR), L"probe.old"};
  const bool renamed =
      SetFileInformationByHandle(h, static_cast<FILE_INFO_BY_HANDLE_CLASS>(22), &info, sizeof info);
  CloseHandle(h);
  CloseHandle(held);
  std::error_code ignored;
  fs::remove(dir / L"probe.old", ignored);
  fs::remove(dir / L"probe.new", ignored);
  return renamed;
}

// A target another program holds open keeps its contents when it cannot be
// replaced: the run fails after a while saying why, and no temporary file
// stays. Held open with delete sharing, it is replaced where the system
// renames with POSIX semantics, and refused the same way elsewhere. A
// read-only target is refused too.
TEST_F(WindowsCli, TargetHeldOpenElsewhere) {
  ASSERT_EQ(sivo(L"encode -q speech.wav a.siv").code, 0u);
  const bool posix_rename = renames_over_open_files(dir_);
  const bytes old = {'o', 'l', 'd'};
  struct held_case {
    DWORD share;
    bool replaced;
  };
  for (const held_case c :
       {held_case{FILE_SHARE_READ, false}, held_case{FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        held_case{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, posix_rename}}) {
    SCOPED_TRACE(c.share);
    write_all(path(L"held.wav"), old);
    const HANDLE held = CreateFileW(path(L"held.wav").c_str(), GENERIC_READ, c.share, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const run_result r = sivo(L"decode -q a.siv held.wav");
    // The holder still reads what it opened.
    char first[3] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(held, first, 3, &got, nullptr));
    EXPECT_EQ(bytes(first, first + got), old);
    CloseHandle(held);
    if (c.replaced) {
      EXPECT_EQ(r.code, 0u) << r.err;
      EXPECT_EQ(read_all(path(L"held.wav")).size(), 48044u);
    } else {
      EXPECT_EQ(r.code, 1u);
      EXPECT_NE(r.err.find("cannot write 'held.wav': the file is in use by another program"),
                std::string::npos)
          << r.err;
      EXPECT_EQ(read_all(path(L"held.wav")), old);
    }
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"a.siv", L"held.wav", L"speech.wav"}));
  }
  // A read-only target is refused the same way, without waiting.
  SetFileAttributesW(path(L"held.wav").c_str(), FILE_ATTRIBUTE_READONLY);
  const run_result r = sivo(L"decode -q a.siv held.wav");
  SetFileAttributesW(path(L"held.wav").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(r.code, 1u);
  EXPECT_NE(r.err.find("cannot write 'held.wav': Permission denied"), std::string::npos) << r.err;
  EXPECT_EQ(read_all(path(L"held.wav")), old);
  EXPECT_EQ(names(), (std::vector<std::wstring>{L"a.siv", L"held.wav", L"speech.wav"}));
}

}  // namespace
