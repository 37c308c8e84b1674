#include "app/InputScript.h"

#include "display/UDxDraw.h"
#include "platform/keyboard_layout.h"
#include "platform/png.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

namespace {

struct NamedKey {
  const char* name;
  int vk;
};
// Every key a presenter can send has a name, so that a recording can say what the player did.
constexpr NamedKey kKeys[] = {{"Left", VK_LEFT},      {"Right", VK_RIGHT},      {"Up", VK_UP},
                              {"Down", VK_DOWN},      {"Ctrl", VK_CONTROL},     {"Shift", VK_SHIFT},
                              {"Esc", VK_ESCAPE},     {"Enter", VK_RETURN},     {"Space", VK_SPACE},
                              {"Backspace", VK_BACK}, {"Hangul", VK_HANGUL},    {"Alt", VK_MENU},
                              {"Tab", VK_TAB},        {"CapsLock", VK_CAPITAL}, {"F4", VK_F4}};

bool SameWord(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

int KeyByName(const std::string& name) {
  if (name.size() == 1) {
    // A character names the key that types it, with or without Shift.
    int vk;
    bool shift;
    return keyboard::KeyFromChar(name[0], vk, shift) && vk != VK_SPACE ? vk : 0;
  }
  for (const NamedKey& k : kKeys)
    if (SameWord(name, k.name)) return k.vk;
  // Keys without a name, by their virtual-key code (0x01 to 0xFE).
  if (name.size() == 4 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
    unsigned vk = 0;
    auto [end, ec] = std::from_chars(name.data() + 2, name.data() + 4, vk, 16);
    if (ec == std::errc() && end == name.data() + 4 && vk >= 1 && vk <= 0xFE)
      return static_cast<int>(vk);
  }
  return 0;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

LPARAM KeyLParam(bool down, bool alt) {
  LPARAM l = down ? 1 : static_cast<LPARAM>(1 | (1L << 30) | (1UL << 31));
  return alt ? l | (1L << 29) : l;
}

} // namespace

std::string ScriptKeyName(int vk) {
  for (const NamedKey& k : kKeys)
    if (k.vk == vk) return k.name;
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
    return std::string(1, static_cast<char>(vk >= 'A' ? vk + 32 : vk));
  int ch = keyboard::CharFromKey(vk, false, false);
  if (ch > 0x20 && ch < 0x7F) return std::string(1, static_cast<char>(ch));
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(vk & 0xFF));
  return hex;
}

namespace {

struct KeyVerb {
  const char* name;
  bool down, up;
  TScriptCommand::Form form;
};
constexpr KeyVerb kKeyVerbs[] = {
    {"down", true, false, TScriptCommand::AsKeyboard},
    {"up", false, true, TScriptCommand::AsKeyboard},
    {"press", true, true, TScriptCommand::AsKeyboard},
    {"keydown", true, false, TScriptCommand::Plain},
    {"keyup", false, true, TScriptCommand::Plain},
    {"sysdown", true, false, TScriptCommand::System},
    {"sysup", false, true, TScriptCommand::System},
};

} // namespace

bool ParseInputScript(const std::string& text, const std::string& baseDir, TInputScript& script,
                      std::string& error) {
  std::vector<TScriptCommand>& commands = script.commands;
  commands.clear();
  script.shots.clear();
  std::istringstream in(text);
  std::string raw;
  uint32_t line = 0;
  size_t keysSinceWait = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(line) + ": " + why;
    commands.clear();
    script.shots.clear();
    return false;
  };
  auto add = [&](TScriptCommand::Kind kind, uint32_t value,
                 TScriptCommand::Form form = TScriptCommand::AsKeyboard) {
    const bool key = kind != TScriptCommand::Wait && kind != TScriptCommand::Shot;
    if (kind == TScriptCommand::Wait && value > 0)
      keysSinceWait = 0;
    else if (key && ++keysSinceWait > kMaxKeysBetweenWaits)
      return fail("more than " + std::to_string(kMaxKeysBetweenWaits) + " keys without a wait");
    if (commands.size() == kMaxScriptCommands)
      return fail("more than " + std::to_string(kMaxScriptCommands) +
                  " keys and waits, the most a script may hold");
    commands.push_back({kind, form, line, value});
    return true;
  };
  while (std::getline(in, raw)) {
    ++line;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string trimmed = Trim(raw);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    size_t lead = raw.find_first_not_of(" \t");
    size_t sp = raw.find_first_of(" \t", lead);
    std::string cmd = raw.substr(lead, sp == std::string::npos ? std::string::npos : sp - lead);
    std::string rest = sp == std::string::npos ? std::string() : raw.substr(sp + 1);
    const KeyVerb* verb = nullptr;
    for (const KeyVerb& v : kKeyVerbs)
      if (cmd == v.name) verb = &v;

    if (cmd == "wait") {
      std::string n = Trim(rest);
      uint32_t frames = 0;
      auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), frames);
      if (n.empty() || ec != std::errc() || end != n.data() + n.size() || frames > 100000000)
        return fail("wait needs a number of frames, not '" + n + "'");
      if (!add(TScriptCommand::Wait, frames)) return false;
    } else if (verb) {
      std::string name = Trim(rest);
      int vk = KeyByName(name);
      if (!vk) return fail("unknown key '" + name + "'");
      if (verb->down && !add(TScriptCommand::Down, static_cast<uint32_t>(vk), verb->form))
        return false;
      if (verb->up && !add(TScriptCommand::Up, static_cast<uint32_t>(vk), verb->form)) return false;
    } else if (cmd == "capslock") {
      const std::string state = Trim(rest);
      if (state != "on" && state != "off")
        return fail("capslock is on or off, not '" + state + "'");
      if (!add(TScriptCommand::CapsLock, state == "on" ? 1 : 0)) return false;
    } else if (cmd == "type") {
      for (char c : rest) {
        int vk;
        bool shift;
        if (c < 0x20 || c > 0x7E || !keyboard::KeyFromChar(c, vk, shift))
          return fail("type takes printable ASCII only");
        if ((shift && !add(TScriptCommand::Down, VK_SHIFT)) ||
            !add(TScriptCommand::Down, static_cast<uint32_t>(vk)) ||
            !add(TScriptCommand::Up, static_cast<uint32_t>(vk)) ||
            (shift && !add(TScriptCommand::Up, VK_SHIFT)))
          return false;
      }
    } else if (cmd == "shot") {
      std::string file = Trim(rest);
      if (file.empty()) return fail("shot needs a file name");
      std::filesystem::path p(file);
      if (p.is_relative()) p = std::filesystem::path(baseDir) / p;
      if (!add(TScriptCommand::Shot, static_cast<uint32_t>(script.shots.size()))) return false;
      script.shots.push_back(p.string());
    } else {
      return fail("unknown command '" + cmd + "'");
    }
  }
  return true;
}

bool WriteScreenShot(const std::string& path) {
  if (!FrameBuffer || !FrameBuffer->PrimarySurface) return false;
  IDirectDrawSurface7* front = FrameBuffer->PrimarySurface.Get();
  DDSURFACEDESC2 desc;
  std::memset(&desc, 0, sizeof desc);
  desc.dwSize = sizeof desc;
  if (front->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  const int w = static_cast<int>(desc.dwWidth), h = static_cast<int>(desc.dwHeight);
  std::vector<uint32_t> rgb(static_cast<size_t>(w) * h);
  const auto* base = static_cast<const uint8_t*>(desc.lpSurface);
  const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = base + static_cast<ptrdiff_t>(y) * desc.lPitch;
    for (int x = 0; x < w; ++x) {
      uint32_t px;
      if (f.dwRGBBitCount == 32) {
        std::memcpy(&px, row + x * 4, 4);
      } else { // a 16-bit display: widen each channel
        uint16_t v;
        std::memcpy(&v, row + x * 2, 2);
        bool r565 = f.dwRBitMask == 0xF800;
        uint32_t r = r565 ? (v >> 11) & 31 : (v >> 10) & 31;
        uint32_t g = r565 ? ((v >> 5) & 63) << 2 : ((v >> 5) & 31) << 3;
        px = (r << 19) | (g << 8) | ((v & 31u) << 3);
      }
      rgb[static_cast<size_t>(y) * w + x] = px;
    }
  }
  front->Unlock(nullptr);
  return WritePng(path, rgb.data(), w, h, w);
}

TScriptRunner::TScriptRunner(TInputScript script, uint64_t frameLimit, bool closeAtEnd)
    : script_(std::move(script)), frameLimit_(frameLimit), closeAtEnd_(closeAtEnd) {}

void TScriptRunner::Start(HWND window) {
  window_ = window;
  PostBatch();
}

void TScriptRunner::PostBatch() {
  const std::vector<TScriptCommand>& commands = script_.commands;
  while (next_ < commands.size()) {
    const TScriptCommand& c = commands[next_];
    size_t index = next_++;
    switch (c.kind) {
    case TScriptCommand::Wait:
      waiting_ = c.value;
      if (waiting_ > 0) return;
      break;
    case TScriptCommand::Down:
    case TScriptCommand::Up: {
      // As a keyboard does: with Alt held, and for Alt itself, keys come as system keys.
      const bool down = c.kind == TScriptCommand::Down;
      const bool sys = c.form == TScriptCommand::AsKeyboard ? altHeld_ || c.value == VK_MENU
                                                            : c.form == TScriptCommand::System;
      if (c.value == VK_MENU) altHeld_ = down;
      const UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
      PostMessageA(window_, msg, c.value, KeyLParam(down, sys));
      break;
    }
    case TScriptCommand::CapsLock:
      PostMessageA(window_, CapsLockMessage, c.value, 0);
      break;
    case TScriptCommand::Shot:
      PostMessageA(window_, RunControlMessage, index, 0);
      break;
    }
  }
  if (closeAtEnd_) Finish();
}

void TScriptRunner::Finish() {
  if (finished_) return;
  finished_ = true;
  PostMessageA(window_, WM_CLOSE, 0, 0);
}

void TScriptRunner::AfterFrame() {
  ++frames_;
  if (finished_) return;
  if (frameLimit_ && frames_ >= frameLimit_) {
    Finish();
    return;
  }
  if (waiting_ > 0 && --waiting_ == 0) {
    if (waitEnded_) waitEnded_();
    PostBatch();
  }
}

void TScriptRunner::Deliver(WPARAM item) {
  const std::vector<TScriptCommand>& commands = script_.commands;
  if (item >= commands.size() || commands[item].kind != TScriptCommand::Shot) return;
  const TScriptCommand& c = commands[item];
  const std::string& path = script_.shots.at(c.value);
  if (!WriteScreenShot(path))
    std::fprintf(stderr, "kestrove: script line %u: could not write %s\n", c.line, path.c_str());
}
