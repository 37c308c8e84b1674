#include "text/QdIme.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "committed|composing" after every key; '\b' stands for Backspace, '^' toggles the mode.
std::vector<std::u16string> Trace(TQdIme& ime, std::string_view keys) {
  std::vector<std::u16string> states;
  for (char k : keys) {
    if (k == '^') {
      ime.HangulMode ^= 1;
      continue;
    }
    bool shift = k >= 'A' && k <= 'Z';
    ime.KeyIn(k == '\b' ? char16_t{8} : static_cast<char16_t>(k), shift);
    states.push_back(ime.Committed + u"|" + ime.Composing);
  }
  return states;
}

struct TSequence {
  const char* Keys;
  std::vector<std::u16string> States;
};

void RunSequences(const std::vector<TSequence>& sequences) {
  for (const auto& s : sequences) {
    TQdIme ime;
    EXPECT_EQ(Trace(ime, s.Keys), s.States) << "keys: " << s.Keys;
    // Between keys the buffer holds exactly the keys of the composition.
    EXPECT_EQ(TQdIme::ComposeKeys(ime.KeyBuffer), ime.Composing) << "keys: " << s.Keys;
  }
}

} // namespace

TEST(QdIme, ListedKeySequences) {
  RunSequences({
      {"dkssudgktpdy",
       {u"|ㅇ", u"|아", u"|안", u"안|ㄴ", u"안|녀", u"안|녕", u"안녕|ㅎ", u"안녕|하", u"안녕|핫",
        u"안녕하|세", u"안녕하|셍", u"안녕하세|요"}},
      {"rhkd", {u"|ㄱ", u"|고", u"|과", u"|광"}},
      {"dnjs", {u"|ㅇ", u"|우", u"|워", u"|원"}},
      {"dmll", {u"|ㅇ", u"|으", u"|의", u"의|ㅣ"}},
      {"rhkl", {u"|ㄱ", u"|고", u"|과", u"과|ㅣ"}},
      {"ekfrk", {u"|ㄷ", u"|다", u"|달", u"|닭", u"달|가"}},
      {"qkfqrk", {u"|ㅂ", u"|바", u"|발", u"|밟", u"밟|ㄱ", u"밟|가"}},
      {"ekE", {u"|ㄷ", u"|다", u"|닫"}},
      {"Rk", {u"|ㄲ", u"|까"}},
      {"QkT", {u"|ㅃ", u"|빠", u"|빴"}},
      {"rt", {u"|ㄱ", u"ㄱ|ㅅ"}},
      {"hk", {u"|ㅗ", u"ㅗ|ㅏ"}},
      {"gks\b\b\bk", {u"|ㅎ", u"|하", u"|한", u"|하", u"|ㅎ", u"|", u"|ㅏ"}},
      {"ekfr\b", {u"|ㄷ", u"|다", u"|달", u"|닭", u"|달"}},
      {"rk1", {u"|ㄱ", u"|가", u"가1|"}},
      {"rksk \b\b\b\b",
       {u"|ㄱ", u"|가", u"|간", u"가|나", u"가나 |", u"가나|", u"가|", u"|", u"|"}},
  });
}

TEST(QdIme, LongRunsCompoundVowelsAndShiftedFinals) {
  RunSequences({
      // Consonants that cannot cluster each stand alone; a consonant run never merges.
      {"rrrr", {u"|ㄱ", u"ㄱ|ㄱ", u"ㄱㄱ|ㄱ", u"ㄱㄱㄱ|ㄱ"}},
      {"dkfrtx", {u"|ㅇ", u"|아", u"|알", u"|앍", u"앍|ㅅ", u"앍ㅅ|ㅌ"}},
      {"rkfRk", {u"|ㄱ", u"|가", u"|갈", u"갈|ㄲ", u"갈|까"}},
      // Vowels after a compound vowel or a lone vowel.
      {"rhkk", {u"|ㄱ", u"|고", u"|과", u"과|ㅏ"}},
      {"dnpl", {u"|ㅇ", u"|우", u"|웨", u"웨|ㅣ"}},
      {"hkl", {u"|ㅗ", u"ㅗ|ㅏ", u"ㅗㅏ|ㅣ"}},
      {"rhkfk", {u"|ㄱ", u"|고", u"|과", u"|괄", u"과|라"}},
      {"rhksj", {u"|ㄱ", u"|고", u"|과", u"|관", u"과|너"}},
      // Doubled consonants as finals, and moving on as the next initial.
      {"rkTk", {u"|ㄱ", u"|가", u"|갔", u"가|싸"}},
      {"rkW", {u"|ㄱ", u"|가", u"|갖"}},
      {"rkO", {u"|ㄱ", u"|가", u"가|ㅒ"}},
      {"qtk", {u"|ㅂ", u"ㅂ|ㅅ", u"ㅂ|사"}},
      // Backspace through a cluster and a compound vowel, keystroke by keystroke.
      {"rhkfr\b\b\b\b\b\b",
       {u"|ㄱ", u"|고", u"|과", u"|괄", u"|괅", u"|괄", u"|과", u"|고", u"|ㄱ", u"|", u"|"}},
  });
}

TEST(QdIme, EnglishModeMidSyllableCommitsTheComposition) {
  RunSequences({
      {"rk^a^k", {u"|ㄱ", u"|가", u"가a|", u"가a|ㅏ"}},
      {"rk^AB^r", {u"|ㄱ", u"|가", u"가A|", u"가AB|", u"가AB|ㄱ"}},
      {"dk s", {u"|ㅇ", u"|아", u"아 |", u"아 |ㄴ"}},
  });
  TQdIme ime;
  Trace(ime, "rk^x");
  ime.Reset();
  EXPECT_EQ(ime.HangulMode, 1);
  EXPECT_TRUE(ime.Committed.empty() && ime.Composing.empty() && ime.KeyBuffer.empty());
  // Keys outside Backspace and printable ASCII are not the game's and change nothing.
  ime.KeyIn(0, false);
  ime.KeyIn(13, false);
  ime.KeyIn(0x141, false);
  EXPECT_TRUE(ime.Committed.empty() && ime.Composing.empty());
}

// The two-set layout and Unicode's jamo orders, written out independently of the input method's
// index tables; each syllable is composed here by Unicode's arithmetic.
TEST(QdIme, EveryKeyCompoundVowelAndClusterComposesAsUnicodeDoes) {
  const std::u16string plain = u"ㅁㅠㅊㅇㄷㄹㅎㅗㅑㅓㅏㅣㅡㅜㅐㅔㅂㄱㄴㅅㅕㅍㅈㅌㅛㅋ"; // a..z
  const std::u16string shiftKeys = u"EOPQRTW", shifted = u"ㄸㅒㅖㅃㄲㅆㅉ";
  const std::u16string initials = u"ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ";
  const std::u16string vowels = u"ㅏㅐㅑㅒㅓㅔㅕㅖㅗㅘㅙㅚㅛㅜㅝㅞㅟㅠㅡㅢㅣ";
  const std::u16string finals = u" ㄱㄲㄳㄴㄵㄶㄷㄹㄺㄻㄼㄽㄾㄿㅀㅁㅂㅄㅅㅆㅇㅈㅊㅋㅌㅍㅎ";
  auto syllable = [&](char16_t l, char16_t v, char16_t t) {
    return std::u16string(1, static_cast<char16_t>(0xAC00 + initials.find(l) * 588 +
                                                   vowels.find(v) * 28 + finals.find(t)));
  };
  auto key = [&](char16_t jamo) -> char {
    size_t s = shifted.find(jamo);
    return s != std::u16string::npos ? static_cast<char>(shiftKeys[s])
                                     : static_cast<char>('a' + plain.find(jamo));
  };
  auto typed = [](std::string keys) {
    TQdIme ime;
    Trace(ime, keys);
    return ime.Committed + ime.Composing;
  };
  for (char16_t jamo : plain + shifted) {
    const std::string k(1, key(jamo));
    EXPECT_EQ(typed(k), std::u16string(1, jamo)) << k;
    if (vowels.find(jamo) != std::u16string::npos) {
      EXPECT_EQ(typed("d" + k), syllable(u'ㅇ', jamo, u' ')) << k;
    } else {
      EXPECT_EQ(typed(k + "k"), syllable(jamo, u'ㅏ', u' ')) << k;
      if (finals.find(jamo) != std::u16string::npos) {
        EXPECT_EQ(typed("dk" + k), syllable(u'ㅇ', u'ㅏ', jamo)) << k;
      }
    }
  }
  for (std::u16string c :
       {u"ㅗㅏㅘ", u"ㅗㅐㅙ", u"ㅗㅣㅚ", u"ㅜㅓㅝ", u"ㅜㅔㅞ", u"ㅜㅣㅟ", u"ㅡㅣㅢ"})
    EXPECT_EQ(typed({'d', key(c[0]), key(c[1])}), syllable(u'ㅇ', c[2], u' ')) << key(c[1]);
  for (std::u16string c : {u"ㄱㅅㄳ", u"ㄴㅈㄵ", u"ㄴㅎㄶ", u"ㄹㄱㄺ", u"ㄹㅁㄻ", u"ㄹㅂㄼ",
                           u"ㄹㅅㄽ", u"ㄹㅌㄾ", u"ㄹㅍㄿ", u"ㄹㅎㅀ", u"ㅂㅅㅄ"})
    EXPECT_EQ(typed({'d', 'k', key(c[0]), key(c[1])}), syllable(u'ㅇ', u'ㅏ', c[2])) << key(c[1]);
}
