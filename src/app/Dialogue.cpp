#include "app/Dialogue.h"

#include "resource/QdStream.h"

#ifdef _WIN32
#include "platform/platform.h"
#else
#include <iconv.h>
#endif

namespace dialogue {
namespace {

uint32_t g_seed = 0;

struct Entry {
  std::vector<std::u16string_view> keys;
  std::vector<std::u16string_view> lines;
  bool ends = false;
};

const std::vector<Entry>& Table(int32_t partner) {
  static const std::vector<Entry> first = {
      {{u"안녕"}, {u"안녕하세요. {세나}에요. 저 아시죠?"}},
      {{u"세나"},
       {u"그건 제 이름인데요?",
        u"혹시 제게서 뭔가를 알아내려 하신다면, 저에 대해서는 더 들으실 게 없어요.",
        u"정말 뭔가를 알고싶으시다면 저의 2시 방향에 있는 아주머니께 {조작법}에 대해서 물어 "
        u"보세요."}},
      {{u"조작법"}, {u"그건 나에게 묻지 마시고 아주머니께 물어 보세요."}},
      {{u""}, {u"잘 가세요."}, true},
      {{u"단서", u"키워드"},
       {u"이제 대충 이 게임의 대화 방식을 아셨죠?",
        u"이런 식으로 사람들에게서 단서와 키워드를 찾아내면 대화가 계속 이어진답니다.",
        u"현재 중요 시나리오와 대화는 아직 쓰는 중이라, 지금은 {전투}에 대해서만 알려 드릴 수 "
        u"있어요."}},
      {{u"전투", u"전투방식"},
       {u"우선 Ctrl 키를 누르고 움직이면 방향을 바꾸지 않고 이동합니다.",
        u"그리고 'z'키를 누르면 무언가를 발사합니다. 전투는 맵 위에서 실시간으로 벌어져요.", u"",
        u"이게 답니다. 더 이상 숨겨진 말은 없으니 괜히 찾으려 하지는 마시고...."}},
  };
  static const std::vector<Entry> second = {
      {{u"안녕"}, {u"누구시죠?"}},
      {{u"조작법"},
       {u"세나 아가씨에게 들으셨나요?",
        u"저는 조작법을 잘 알지 못하고 바빠서요. 세나 아가씨에게 가서 {단서}라고 말해 보세요."}},
      {{u"단서"}, {u"그건 세나 아가씨에게 물어보세요."}},
      {{u""}, {u"다음에 봐요~"}, true},
  };
  static const std::vector<Entry> none;
  return partner == 1 ? first : partner == 2 ? second : none;
}

constexpr std::u16string_view kDeflections[2][3] = {
    {u"훔.. 무슨 말을 하시는건지...", u"이번 버전에는 숨겨진 말이 없어요.",
     u"못 알아 들었어요. 다시 한 번 말씀해 주실래요?"},
    {u"저에게 그런걸 물어 보셔도....", u"잘 모르는 말이네요.",
     u"전 바쁜데 장난치지 말아 주실래요?"},
};

// Through the Korean 8-bit code page and back, lowering ASCII letters on the way; units the code
// page cannot hold come back as '?'.
std::u16string LowerThroughCodePage(const std::u16string& text) {
#ifdef _WIN32
  // The Korean code page whatever the system's own is, so keywords match on any Windows.
  constexpr UINT kKoreanCodePage = 949;
  int n = WideCharToMultiByte(kKoreanCodePage, 0, reinterpret_cast<const wchar_t*>(text.data()),
                              static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kKoreanCodePage, 0, reinterpret_cast<const wchar_t*>(text.data()),
                      static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  bytes = AsciiToLower(bytes);
  int m = MultiByteToWideChar(kKoreanCodePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                              nullptr, 0);
  std::u16string out(static_cast<size_t>(m), u'\0');
  MultiByteToWideChar(kKoreanCodePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                      reinterpret_cast<wchar_t*>(out.data()), m);
  return out;
#else
  iconv_t to = iconv_open("CP949", "UTF-16LE");
  iconv_t from = iconv_open("UTF-16LE", "CP949");
  std::u16string out;
  if (to == reinterpret_cast<iconv_t>(-1) || from == reinterpret_cast<iconv_t>(-1)) {
    // No code page tables on this system: lowering the letters alone gives the same matches.
    out = text;
    for (char16_t& c : out)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  } else {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
      size_t units = (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) ? 2 : 1;
      char16_t in16[2] = {text[i], units == 2 ? text[i + 1] : u'\0'};
      char buf[8];
      char* ip = reinterpret_cast<char*>(in16);
      size_t il = units * 2, ol = sizeof buf;
      char* op = buf;
      iconv(to, nullptr, nullptr, nullptr, nullptr);
      if (iconv(to, &ip, &il, &op, &ol) == static_cast<size_t>(-1))
        bytes += '?';
      else
        bytes.append(buf, static_cast<size_t>(op - buf));
      i += units - 1;
    }
    bytes = AsciiToLower(bytes);
    std::string wide(bytes.size() * 4 + 4, '\0');
    char* ip = bytes.data();
    size_t il = bytes.size();
    char* op = wide.data();
    size_t ol = wide.size();
    while (il > 0) {
      if (iconv(from, &ip, &il, &op, &ol) != static_cast<size_t>(-1)) break;
      ++ip; // a byte the code page cannot read back: drop it, as a lossy conversion would
      --il;
      *reinterpret_cast<char16_t*>(op) = u'?';
      op += 2;
      ol -= 2;
    }
    out.assign(reinterpret_cast<const char16_t*>(wide.data()),
               static_cast<size_t>(op - wide.data()) / 2);
  }
  if (to != reinterpret_cast<iconv_t>(-1)) iconv_close(to);
  if (from != reinterpret_cast<iconv_t>(-1)) iconv_close(from);
  return out;
#endif
}

} // namespace

std::u16string Normalise(std::u16string_view text) {
  std::u16string s;
  for (char16_t c : text)
    if (c != u' ') s += c;
  s = LowerThroughCodePage(s);
  if (s.size() > 4) s.resize(4);
  return s;
}

uint32_t NextDeflection() {
  g_seed = g_seed * 134775813u + 1u;
  return static_cast<uint32_t>((static_cast<uint64_t>(g_seed) * 3) >> 32);
}

void ResetDeflections() {
  g_seed = 0;
}

TReply Reply(int32_t partner, const std::u16string& normalised) {
  TReply reply;
  if (partner != 1 && partner != 2) {
    reply.unknownPartner = true;
    reply.lines = {u"이 메시지가 보이면 뭔가 문제가 있다는 것이지용..."};
    return reply;
  }
  for (const Entry& e : Table(partner)) {
    for (std::u16string_view key : e.keys) {
      if (key != normalised) continue;
      reply.lines.assign(e.lines.begin(), e.lines.end());
      reply.ends = e.ends;
      return reply;
    }
  }
  reply.lines = {std::u16string(kDeflections[partner - 1][NextDeflection()])};
  return reply;
}

} // namespace dialogue
