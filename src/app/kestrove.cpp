#include "app/kestrove.h"

#include "app/DataFolder.h"
#include "app/InputScript.h"
#include "app/Recorder.h"
#include "app/Transcript.h"
#include "app/Vesk3_main.h"
#include "display/UDxDraw.h"
#include "platform/fatal.h"
#include "platform/presenter.h"
#include "text/HanFont.h"
#include "text/Johab.h"
#include "world/Vesk3_map.h"
#include "world/Vesk3_world.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

TGameBase* GameMain = nullptr;

namespace {

TRunControl* g_control = nullptr;
TSessionRecorder* g_recorder = nullptr;
TSessionRecorder* g_flushRecorder = nullptr; // from the moment the file is open
HWND g_mainWindow = nullptr;

void ShowFatalMessage(const char* text) {
  MessageBoxA(g_mainWindow, text, "Error", MB_OK | MB_ICONERROR);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  case WM_KEYDOWN:
    if (wParam == VK_HANGUL && GameMain) GameMain->KeyChar(VK_HANGUL);
    break;
  case WM_KEYUP:
    if (GameMain) GameMain->KeyUp(static_cast<uint16_t>(wParam));
    break;
  case WM_CHAR:
    if (GameMain) GameMain->KeyChar(static_cast<uint16_t>(wParam));
    break;
  case FrameMessage:
    if (!GameMain) break;
    if (!GameMain->Frame()) {
      if (g_recorder) g_recorder->FrameDone();
      MoveWindow(hwnd, 10000, 0, 0, 0, TRUE);
      ShowCursor(TRUE);
      DestroyWindow(hwnd);
    } else {
      if (g_recorder) g_recorder->FrameDone();
      if (g_control) g_control->AfterFrame();
    }
    break;
  case RunControlMessage:
    if (g_control) {
      g_control->Deliver(wParam);
      return 0;
    }
    break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Ends the process at once in the start-up steps, as an orderly halt: only module end code runs.
int Halt(int code) {
  HanFont.ReleaseFonts();
  FreeDirectDrawBinding();
  fatal::SetMessageSink(nullptr);
  return code;
}

// Lent to the platform for the captions of its on-screen keyboard.
void PaintText(uint32_t* pixels, int pitchPixels, int x, int y, int width, int height,
               std::u16string_view text, uint32_t colour) {
  const int32_t textWidth = TextCells(text) * 8, textHeight = 16;
  if (textWidth <= 0 || textWidth > width || textHeight > height) return;
  TQdBitmap glyphs(textWidth, textHeight, 32);
  if (glyphs.Width != textWidth) return;
  TQdLockGuard lock(glyphs);
  glyphs.Fill32(0, 0, 0, textWidth, textHeight);
  HanFont.DrawText(glyphs, 0, 0, text, 0xFFFFFFFF);
  const int left = x + (width - textWidth) / 2, top = y + (height - textHeight) / 2;
  for (int32_t row = 0; row < textHeight; ++row) {
    const auto* in = reinterpret_cast<const uint32_t*>(glyphs.GetScanLine(row));
    uint32_t* out = pixels + static_cast<size_t>(top + row) * pitchPixels + left;
    for (int32_t col = 0; col < textWidth; ++col)
      if (in[col] & 0xFFFFFF) out[col] = colour;
  }
}

} // namespace

int RunProgram(const GameFactory& factory, TRunControl* control, TSessionRecorder* recorder) {
  // From the first step on: a fatal error in module start-up shows its box without an owner.
  fatal::SetMessageSink(ShowFatalMessage);
  // Module start-up.
  LoadDirectDrawBinding();
  LoadHanFont();
  SetTextPainter(PaintText);

  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, kWindowClass);
  HMODULE library = LoadLibraryA("VELK.Dat");

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "pomrel");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  wc.lpszMenuName = kWindowClass;
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassA(&wc)) return Halt(0);

  HWND window = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_POPUP, 0, 0, ScreenWidth,
                                ScreenHeight, nullptr, nullptr, instance, nullptr);
  if (!window) return Halt(0);
  g_mainWindow = window;
  ShowWindow(window, SW_SHOWDEFAULT);
  UpdateWindow(window);
  ImmAssociateContext(window, nullptr);

  FrameBuffer = new TFrameBuffer(window);
  FrameBuffer->SetDisplayMode(ScreenWidth, ScreenHeight, DisplayBits);

  int exitCode;
  if (!FrameBuffer->Device) {
    // Without a display every draw would go through an empty reference: stop in order instead.
    std::fprintf(stderr, "kestrove: %s\n",
                 FrameBuffer->DirectDraw ? "the display could not be switched to 640x480x32"
                                         : "DirectDraw is not available on this system");
    MessageBoxA(window,
                FrameBuffer->DirectDraw ? "The display could not be switched to 640x480x32."
                                        : "DirectDraw is not available on this system.",
                "Error", MB_OK | MB_ICONERROR);
    FrameBuffer->Destroy();
    FrameBuffer = nullptr;
    DestroyWindow(window);
    exitCode = 1;
  } else {
    GameMain = factory(window, nullptr);
    g_control = control;
    g_recorder = recorder;
    if (control) control->Start(window);

    MSG msg;
    std::memset(&msg, 0, sizeof msg);
    for (;;) {
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) { // the queue failed: leave as if asked to quit
          msg.wParam = 1;
          break;
        }
        if (recorder) recorder->Taken(msg);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      } else {
        PostMessageA(window, FrameMessage, 0, 0);
        WaitMessage();
      }
    }
    g_control = nullptr;
    g_recorder = nullptr;
    GameMain->Shutdown();
    FrameBuffer->Destroy();
    FrameBuffer = nullptr;
    exitCode = static_cast<int>(msg.wParam);
  }

  if (library) FreeLibrary(library);
  CloseHandle(event);

  // Module end: what the modules own goes last.
  g_mainWindow = nullptr;
  delete GameMain;
  GameMain = nullptr;
  HanFont.ReleaseFonts();
  FreeDirectDrawBinding();
  fatal::SetMessageSink(nullptr);
  return exitCode;
}

namespace {

constexpr const char* kUsage =
    "Usage: kestrove [options]\n"
    "  --windowed         play in a 640x480 window instead of full screen\n"
    "  --fullscreen       play full screen\n"
    "  --scale N          a window N times larger (1 to 8) when windowed\n"
    "  --data DIR         read the data files from DIR\n"
    "  --headless         no window; virtual time; ends after the script or --frames\n"
    "  --script FILE      replay the input script FILE\n"
    "  --frames N         stop after N frames\n"
    "  --transcript FILE  write the conversation transcript to FILE\n"
    "  --record FILE      record the keys of this session as a script for --script\n"
    "  --help, --version\n"
    "The data files are read from --data DIR, else from $KESTROVE_DATA, else from the first\n"
    "folder holding any of them: the working directory, the program's folder, a data folder\n"
    "beside the program, ../share/games/kestrove from the program's folder, the build tree.\n"
    "On Linux the game remembers full screen or windowed (Alt+Enter switches) and the scale\n"
    "in $XDG_CONFIG_HOME/kestrove/settings, else ~/.config/kestrove/settings; --windowed,\n"
    "--fullscreen and --scale count for one run, --headless and --script runs leave it alone.\n";

struct Options {
  bool windowed = false, headless = false;
  bool windowedChosen = false, scaleChosen = false;
  int scale = 1;
  uint64_t frames = 0;
  std::string data, script, transcript, record;
};

bool ParseNumber(const char* text, uint64_t max, uint64_t& out) {
  const char* end = text + std::strlen(text);
  auto [p, ec] = std::from_chars(text, end, out);
  return ec == std::errc() && p == end && out >= 1 && out <= max;
}

// 0: run; 1: done (help or version printed); 2: bad command line.
int ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char*& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    const char* v = nullptr;
    uint64_t n = 0;
    if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 1;
    } else if (a == "--version") {
      std::printf("kestrove %s\n", KESTROVE_VERSION);
      return 1;
    } else if (a == "--windowed" || a == "--fullscreen") {
      o.windowed = a == "--windowed"; // the later of the two wins
      o.windowedChosen = true;
    } else if (a == "--headless") {
      o.headless = true;
    } else if (a == "--scale" && value(v) && ParseNumber(v, 8, n)) {
      o.scale = static_cast<int>(n);
      o.scaleChosen = true;
    } else if (a == "--frames" && value(v) && ParseNumber(v, 1000000000, n)) {
      o.frames = n;
    } else if (a == "--data" && value(v)) {
      o.data = v;
    } else if (a == "--script" && value(v)) {
      o.script = v;
    } else if (a == "--transcript" && value(v)) {
      o.transcript = v;
    } else if (a == "--record" && value(v)) {
      o.record = v;
    } else {
      std::fprintf(stderr, "kestrove: bad option '%s'\n%s", argv[i], kUsage);
      return 2;
    }
  }
  return 0;
}

// A whole script, within the size a script may have. False with the reason otherwise.
bool ReadScript(const std::string& path, std::string& text, std::string& why) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    why = "it is a folder";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = std::strerror(errno);
    return false;
  }
  text.clear();
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxScriptBytes) {
      why =
          "larger than " + std::to_string(kMaxScriptBytes >> 20) + " MiB, the most a script may be";
      return false;
    }
  }
  if (in.bad()) {
    why = "a read failed";
    return false;
  }
  return true;
}

// The game carries on without any of its data files; say which ones it had to do without.
void ReportMissingData() {
  auto missing = [](const char* file, const char* effect) {
    std::fprintf(stderr, "kestrove: %s is missing or unusable: %s\n", file, effect);
  };
  if (!Background) missing("bg_image.jpg", "the background stays black");
  if (!WorldMap || WorldMap->Width == 0) missing("H3.MAF", "the world has no ground");
  if (!WorldView || !WorldView->TileSheet || WorldView->TileSheet->Width == 0)
    missing("deja1.kv0", "no tiles are drawn");
  if (!WorldView || !WorldView->SpriteSheet || WorldView->SpriteSheet->Width == 0)
    missing("deja2.kv0", "no figures are drawn");
  if (!HanFont.AsciiFont || !HanFont.AsciiFont->IsLoaded())
    missing("ascii.fnt", "Latin letters and digits are not drawn");
  if (!HanFont.HangulFont || !HanFont.HangulFont->IsLoaded())
    missing("H01.fnt", "Hangul is not drawn");
}

} // namespace

int KestroveMain(int argc, char** argv) {
  Options o;
  if (int r = ParseOptions(argc, argv, o)) return r == 1 ? 0 : 2;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path startDir = fs::current_path(ec);
  auto absolute = [&](const std::string& p) { return (startDir / p).lexically_normal().string(); };

  TInputScript commands;
  std::string scriptText;
  if (!o.script.empty()) {
    std::string why;
    if (!ReadScript(absolute(o.script), scriptText, why)) {
      std::fprintf(stderr, "kestrove: cannot read script %s: %s\n", o.script.c_str(), why.c_str());
      return 2;
    }
    if (DropCutLine(scriptText))
      std::fprintf(stderr, "kestrove: warning: %s was cut short; replaying up to its last line\n",
                   o.script.c_str());
    std::string error;
    if (!ParseInputScript(scriptText, startDir.string(), commands, error)) {
      std::fprintf(stderr, "kestrove: %s: %s\n", o.script.c_str(), error.c_str());
      return 2;
    }
  }
  if (o.headless && o.script.empty() && o.frames == 0) {
    std::fprintf(stderr, "kestrove: --headless needs --script or --frames to know when to end\n");
    return 2;
  }
  if (!o.transcript.empty() && !transcript::Open(absolute(o.transcript), o.transcript)) {
    std::fprintf(stderr, "kestrove: cannot write transcript %s\n", o.transcript.c_str());
    return 1;
  }
  // Opened before the data folder is entered: the path is the player's.
  std::unique_ptr<TSessionRecorder> recorder;
  if (!o.record.empty()) {
    recorder = std::make_unique<TSessionRecorder>(o.script.empty());
    if (!recorder->Open(absolute(o.record), o.record)) {
      std::fprintf(stderr, "kestrove: cannot write recording %s\n", o.record.c_str());
      transcript::Close();
      return 1;
    }
    g_flushRecorder = recorder.get();
    fatal::SetFlushHook([] { g_flushRecorder->FlushNow(); });
  }
  // Whatever way the run ends from here, the recorder is let go with it.
  struct Release {
    ~Release() {
      fatal::SetFlushHook(nullptr);
      g_flushRecorder = nullptr;
    }
  } release;
  DataSearch search;
  search.option = o.data;
  if (const char* env = std::getenv("KESTROVE_DATA")) search.environment = env;
  search.workingDir = startDir;
  search.executableDir = ExecutableDir();
#ifdef KESTROVE_BUILD_DATA_DIR
  search.buildTreeData = KESTROVE_BUILD_DATA_DIR;
#endif
  const DataChoice data = FindDataFolder(search);
  if (data.named) {
    fs::current_path(data.folder, ec);
    if (ec) {
      std::fprintf(stderr, "kestrove: cannot use data folder %s: %s\n",
                   reinterpret_cast<const char*>(data.folder.u8string().c_str()),
                   ec.message().c_str());
      return 1;
    }
  } else if (data.folder.empty()) {
    std::fprintf(stderr, "kestrove: no data folder found; looked in:\n");
    for (const fs::path& p : data.looked)
      std::fprintf(stderr, "  %s\n", reinterpret_cast<const char*>(p.u8string().c_str()));
  } else {
    fs::current_path(data.folder, ec);
  }
  for (const std::string& w : RecordingDifferences(scriptText))
    std::fprintf(stderr, "kestrove: warning: %s: %s; the replay may go differently\n",
                 o.script.c_str(), w.c_str());
  if (recorder && !recorder->Comment(RecordingHeader())) {
    transcript::Close();
    return 1; // said why; a session that cannot be recorded is not started
  }

  PresenterOptions po;
  po.headless = o.headless;
  po.windowed = o.windowed;
  po.scale = o.scale;
  po.windowedChosen = o.windowedChosen;
  po.scaleChosen = o.scaleChosen;
  po.scripted = !o.script.empty();
  po.screenshotDir = startDir.string();
  std::string error;
  if (!StartPresenter(po, error)) {
    std::fprintf(stderr,
                 po.headless ? "kestrove: %s\n"
                             : "kestrove: %s (--headless runs without a window)\n",
                 error.c_str());
    transcript::Close();
    return 1;
  }

  std::unique_ptr<TScriptRunner> runner;
  if (!o.script.empty() || o.frames)
    runner = std::make_unique<TScriptRunner>(std::move(commands), o.frames,
                                             o.headless && !o.script.empty());
  if (runner && recorder && !o.script.empty())
    runner->OnWaitEnded([&recorder] { recorder->WaitEnded(); });
  int code = RunProgram(
      [](HWND window, HDC dc) -> TGameBase* {
        auto* game = new TGameMain(window, dc);
        ReportMissingData();
        return game;
      },
      runner.get(), recorder.get());
  if (recorder) {
    recorder->Finish();
    if (recorder->Failed() && code == 0) code = 1;
  }
  StopPresenter();
  transcript::Close();
  return transcript::Failed() && code == 0 ? 1 : code;
}
